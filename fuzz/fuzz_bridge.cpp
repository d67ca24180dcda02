// sonde-bridge's input side on arbitrary bytes: the line splitter cut at fuzzed read sizes,
// ParseFrame on every line and AnswersOf on every accepted frame, with what must hold for any
// frame the station is given; heights above sea level and GPS time; and the whole intake on a
// virtual clock that the input moves on, with the sonde it follows, the ids it serves and what
// it tells the operator.

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "decoder-service/time_text.h"
#include "decoder-service/utf8.h"
#include "frame.h"
#include "frame_answers.h"
#include "frame_store.h"
#include "fuzz_check.h"
#include "gps_time.h"
#include "heights.h"
#include "intake.h"
#include "line_splitter.h"

namespace {

using bridge::Frame;
using decoder::Answer;
using nimbrix::fuzz::Check;

double Real(const Answer& a) {
  Check(a.vt == decoder::VT_R8 && a.dbusType == "d", "a real item of another type");
  return std::get<double>(a.value);
}

const std::string& Text(const Answer& a) {
  Check(a.vt == decoder::VT_BSTR && a.dbusType == "s", "a text item of another type");
  return std::get<std::string>(a.value);
}

// A geoid of the fuzzer's own: no value near the poles, an absurd one near the date line,
// otherwise a height within the real geoid's range.
class OddGeoid : public bridge::Geoid {
 public:
  std::optional<double> HeightAt(double lat, double lon) override {
    if (std::fabs(lat) > 85) return std::nullopt;
    if (std::fabs(lon) > 179) return 1e9;
    return lat + lon / 2;
  }
};

std::unique_ptr<bridge::Geoid> OpenOddGeoid(std::string&) {
  return std::make_unique<OddGeoid>();
}

void CheckFrame(std::string_view line, const Frame& f) {
  Check(line.find('\0') == std::string_view::npos, "a frame from a line with NUL", line);
  Check(!f.id.empty(), "a frame without an id", line);
  Check(!bridge::IsIncompleteSerial(f.id), "a frame with a placeholder id", line);
  Check(f.aprsid.empty() || f.aprsid.size() == 9, "an aprsid not of 9 characters", line);
  Check(!f.diffGpsMsl || std::fabs(*f.diffGpsMsl) <= 200, "diff_GPS_MSL beyond any geoid", line);

  // Heights above sea level stay within the geoid's reach of the decoder's altitude.
  bridge::SeaLevel seaLevel(OpenOddGeoid, {});
  const double sea = seaLevel.AltitudeOf(f);
  Check(std::isfinite(sea) && std::fabs(sea - f.alt) <= 200, "a sea-level height", line);
  if (f.heightReference == bridge::HeightReference::kSeaLevel) {
    Check(sea == f.alt, "an MSL height changed", line);
  }
  Check(std::isfinite(f.lat) && std::fabs(f.lat) <= 90, "latitude", line);
  Check(std::isfinite(f.lon) && std::fabs(f.lon) <= 180, "longitude", line);
  Check(std::isfinite(f.alt), "altitude", line);

  const auto a = bridge::AnswersOf(f, "403.500");
  Check(Real(a[1]) == f.lat && Real(a[2]) == f.lon && Real(a[3]) == f.alt, "position", line);
  const double item4 = Real(a[4]);
  Check(item4 == -180 || (item4 >= 0 && item4 < 360), "item 4 outside 0..360", line);
  for (int i : {9, 10}) Check(std::isfinite(Real(a[static_cast<std::size_t>(i)])), "a real", line);
  // A reading the frame lacks is EMPTY, never a number.
  const auto realOrEmpty = [&](int i, const std::optional<double>& given) {
    const Answer& answer = a[static_cast<std::size_t>(i)];
    if (!given) return Check(answer.vt == decoder::VT_EMPTY, "a missing reading not EMPTY", line);
    Check(std::isfinite(Real(answer)) && Real(answer) == *given, "a reading changed", line);
  };
  realOrEmpty(5, f.velH);
  realOrEmpty(8, f.pressure);
  realOrEmpty(12, f.velV);
  realOrEmpty(17, f.batt);

  const std::string& time = Text(a[6]);
  Check(time.size() == 19 && time[10] == ' ' && time[13] == ':' && time[16] == ':',
        "time text layout", time);
  const std::int64_t ms = std::get<std::int64_t>(a[14].value);
  std::int64_t seconds = 0;
  Check(decoder::ParseTimeText(time, seconds), "time text not a time", time);
  Check(ms - seconds * 1000 >= 0 && ms - seconds * 1000 < 1000, "item 6 and item 14 disagree",
        time);

  const std::string& qrg = Text(a[7]);
  const std::size_t point = qrg.find('.');
  Check(point != std::string::npos && point + 4 == qrg.size(), "frequency text", qrg);
  for (int i : {0, 11, 15}) {
    const std::string& s = Text(a[static_cast<std::size_t>(i)]);
    Check(s.find('\0') == std::string::npos, "NUL in a text for D-Bus", s);
  }
  Check(a[13].vt == (f.frame ? decoder::VT_I4 : decoder::VT_EMPTY), "frame number type");
  Check(a[16].vt == (f.sats ? decoder::VT_I4 : decoder::VT_EMPTY), "satellites type");
}

class Lines : public bridge::LineSplitter::Sink {
 public:
  void OnLine(std::string_view line) override {
    Check(!line.empty() && line.size() <= bridge::kMaxLineBytes, "line length", line);
    Check(line.find('\n') == std::string_view::npos, "a line end inside a line", line);
    auto parsed = bridge::ParseFrame(line);
    if (const Frame* f = std::get_if<Frame>(&parsed)) CheckFrame(line, *f);
  }
  void OnTooLong() override {}
};

// GPS time to UTC: never ahead, never more than the leap seconds behind, never backwards.
void CheckGpsTime(std::int64_t a, std::int64_t b) {
  if (a > b) std::swap(a, b);
  const std::int64_t ua = bridge::GpsToUtcMs(a), ub = bridge::GpsToUtcMs(b);
  Check(a - ua >= 0 && a - ua <= 18000 && b - ub >= 0 && b - ub <= 18000, "GPS - UTC");
  Check(ua <= ub, "UTC going backwards as GPS time goes on");
}

std::string Text(bridge::FrameStore& store, std::int16_t item) {
  const auto a = store.AnswerFor(item);
  Check(a.has_value(), "no answer for an item of 0..17");
  const auto* s = std::get_if<std::string>(&a->value);
  return a->vt == decoder::VT_BSTR && s ? *s : std::string();
}

// The intake over the bytes, a chunk at a time, the virtual clock moved on by `stepMs` before
// each chunk; `serial` empty: the sonde followed is its own choice.
void CheckIntake(const std::string& bytes, std::size_t chunk, std::int64_t stepMs,
                 int switchAfterSeconds, const std::string& serial) {
  std::int64_t now = 0;
  std::vector<std::string> notices;
  bridge::FrameStore store;
  bridge::IntakeOptions options;
  options.serial = serial;
  options.switchAfterMs = switchAfterSeconds * 1000LL;
  options.geoid = OpenOddGeoid;
  options.now = [&now] { return now; };
  options.notice = [&notices](const std::string& s) { notices.push_back(s); };
  bridge::Intake intake(options, store);

  std::string served;            // item 0 after the chunk before
  std::int64_t lastMoveMs = -1;  // when the bridge last followed another sonde
  for (std::size_t i = 0; i <= bytes.size(); i += chunk) {
    now += stepMs;
    const std::size_t told = notices.size();
    if (i < bytes.size()) {
      intake.Feed(std::string_view(bytes).substr(i, chunk));
    } else {
      intake.EndOfStream();
    }
    for (std::size_t n = told; n < notices.size(); ++n) {
      const std::string& t = notices[n];
      for (const char c : t) {
        Check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F, "a control byte told", t);
      }
      if (t.find(" now: ") != std::string::npos) {
        // Never back and forth: a move needs the sonde moved to to have been silent that long.
        Check(lastMoveMs < 0 || now - lastMoveMs >= options.switchAfterMs, "moves too close", t);
        lastMoveMs = now;
      }
    }
    const std::string id = Text(store, 0);
    Check(!bridge::IsIncompleteSerial(id), "a placeholder id served", id);
    if (!serial.empty() && !id.empty()) {
      Check(id == decoder::RepairUtf8(serial), "another sonde than --serial served", id);
    }
    if (id != served && !served.empty()) {
      bool said = false;
      for (std::size_t n = told; n < notices.size(); ++n) {
        said = said || notices[n].rfind("following sonde ", 0) == 0;
      }
      Check(said, "the sonde served changed without a word", id);
    }
    if (!id.empty()) served = id;
    const auto alt = store.AnswerFor(3);
    if (alt && alt->vt == decoder::VT_R8) {
      Check(std::isfinite(std::get<double>(alt->value)), "item 3 not finite");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const auto chunk = in.ConsumeIntegralInRange<std::size_t>(1, 4096);
  const auto stepMs = in.ConsumeIntegralInRange<std::int64_t>(0, 40000);
  const int switchAfter = in.ConsumeIntegralInRange(1, 60);
  const std::string serial = in.ConsumeBool() ? in.ConsumeRandomLengthString(12) : std::string();
  CheckGpsTime(in.ConsumeIntegral<std::int64_t>() / 4, in.ConsumeIntegral<std::int64_t>() / 4);
  const std::string bytes = in.ConsumeRemainingBytesAsString();

  // The whole input as one line, as a datagram without a line end would be.
  auto whole = bridge::ParseFrame(bytes);
  if (const Frame* f = std::get_if<Frame>(&whole)) CheckFrame(bytes, *f);

  Lines lines;
  bridge::LineSplitter splitter(lines);
  for (std::size_t i = 0; i < bytes.size(); i += chunk) {
    splitter.Feed(std::string_view(bytes).substr(i, chunk));
  }
  splitter.Finish();

  CheckIntake(bytes, chunk, stepMs, switchAfter, serial);
  return 0;
}
