#include "frame_answers.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "decoder-service/time_text.h"
#include "decoder-service/utf8.h"

namespace bridge {

namespace {

using decoder::Answer;

// The station turns item 4 by 180 degrees (and takes away 360 above 360), so the decoder's
// direction of travel is answered turned back by 180. Without a heading the answer is -180:
// the station then sends course 0, which APRS reads as "course unknown".
double Item4Of(const std::optional<double>& heading) {
  if (!heading) return -180;
  double item = std::fmod(*heading + 180, 360);
  if (item < 0) item += 360;
  return item;
}

// Outside the station's -99..99, so it shows its own substitute -99 for "no reading".
constexpr double kNoTemperature = -999;
// Below 0, so the station shows its substitute 0.
constexpr double kNoHumidity = -1;

// A reading the decoder printed, or EMPTY: a missing reading must not reach the station (and
// the networks it feeds) as a measurement of 0.
Answer RealOrEmpty(const std::optional<double>& value) {
  return value ? Answer::Real(*value) : Answer{};
}

std::string QrgOf(const Frame& f, const std::string& fallback) {
  if (f.freqKhz) return FrequencyText(*f.freqKhz);
  if (f.txFrequencyKhz) return FrequencyText(*f.txFrequencyKhz);
  return fallback;
}

}  // namespace

std::int64_t WholeSeconds(std::int64_t ms) {
  return std::chrono::floor<std::chrono::seconds>(std::chrono::milliseconds(ms)).count();
}

std::string FrequencyText(double khz) {
  // Whole kilohertz, so the three decimals are exact: 403500 kHz is "403.500", not the
  // nearest binary fraction of 403.5 rounded again.
  const long long whole = std::llround(khz);
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%03lld", whole / 1000, whole % 1000);
  return text;
}

std::string KindOf(const Frame& f) {
  std::string_view subtype = f.subtype;
  // The DFM decoder names its kind after a code: "0x6:DFM06".
  if (const std::size_t colon = subtype.find(':'); colon != std::string_view::npos) {
    subtype.remove_prefix(colon + 1);
  }
  // A subtype that refines the type ("RS41-SGP", "DFM06"); an M10's "0x9F" does not.
  if (f.type.empty() || subtype.starts_with(f.type)) return std::string(subtype);
  return f.type;
}

std::array<Answer, decoder::kItemCount> AnswersOf(const Frame& f, const std::string& qrgFallback) {
  // D-Bus strings must be valid UTF-8 without NUL; a JSON escape such as \u0000 can give both.
  // Item 11: the APRS name of an M10/M20 (the station names its object after it), else what
  // kind of sonde it is.
  const std::string& item11 = !f.aprsid.empty()    ? f.aprsid
                              : !f.subtype.empty() ? f.subtype
                                                   : f.type;
  // The low 32 bits of the frame number; the station keeps only the low 16.
  const auto frame = [&]() -> Answer {
    if (!f.frame) return {};
    return Answer::Int4(static_cast<std::int32_t>(static_cast<std::uint32_t>(*f.frame)));
  };
  using namespace nimbrix;  // the item names
  std::array<Answer, decoder::kItemCount> a;
  a[kSerial] = Answer::Text(decoder::RepairUtf8(f.id));
  a[kLatitude] = Answer::Real(f.lat);
  a[kLongitude] = Answer::Real(f.lon);
  a[kAltitude] = Answer::Real(f.alt);
  a[kHeading] = Answer::Real(Item4Of(f.heading));
  a[kSpeed] = RealOrEmpty(f.velH);
  a[kTimeText] = Answer::Text(decoder::TimeText(WholeSeconds(f.utcMs)));
  a[kQrg] = Answer::Text(QrgOf(f, qrgFallback));
  a[kPressure] = RealOrEmpty(f.pressure);
  a[kTemperature] = Answer::Real(f.temp.value_or(kNoTemperature));
  a[kHumidity] = Answer::Real(f.humidity.value_or(kNoHumidity));
  a[kTypeOrAprsName] = Answer::Text(decoder::RepairUtf8(item11));
  a[kClimb] = RealOrEmpty(f.velV);
  a[kFrame] = frame();
  a[kTimeMs] = Answer::Int8(f.utcMs);
  a[kKind] = Answer::Text(decoder::RepairUtf8(KindOf(f)));
  a[kSatellites] = f.sats ? Answer::Int4(*f.sats) : Answer{};
  a[kBatteryVolts] = RealOrEmpty(f.batt);
  return a;
}

}  // namespace bridge
