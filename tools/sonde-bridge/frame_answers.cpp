#include "frame_answers.h"

#include <chrono>
#include <cmath>
#include <cstdio>

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

std::array<Answer, decoder::kItemCount> AnswersOf(const Frame& f, const std::string& qrgFallback) {
  // D-Bus strings must be valid UTF-8 without NUL; a JSON escape such as \u0000 can give both.
  // Item 11: the APRS name of an M10/M20 (the station names its object after it), else what
  // kind of sonde it is.
  const std::string& item11 = !f.aprsid.empty()    ? f.aprsid
                              : !f.subtype.empty() ? f.subtype
                                                   : f.type;
  return {
      Answer::Text(decoder::RepairUtf8(f.id)),
      Answer::Real(f.lat),
      Answer::Real(f.lon),
      Answer::Real(f.alt),
      Answer::Real(Item4Of(f.heading)),
      Answer::Real(f.velH.value_or(0)),
      Answer::Text(decoder::TimeText(WholeSeconds(f.utcMs))),
      Answer::Text(QrgOf(f, qrgFallback)),
      Answer::Real(f.pressure.value_or(0)),
      Answer::Real(f.temp.value_or(kNoTemperature)),
      Answer::Real(f.humidity.value_or(kNoHumidity)),
      Answer::Text(decoder::RepairUtf8(item11)),
      Answer::Real(f.velV.value_or(0)),
      // The low 32 bits of the frame number; the station keeps only the low 16.
      Answer::Int4(static_cast<std::int32_t>(static_cast<std::uint32_t>(f.frame.value_or(0)))),
      Answer::Int8(f.utcMs),
  };
}

}  // namespace bridge
