// sonde-bridge's input side on arbitrary bytes: the line splitter cut at fuzzed read sizes,
// ParseFrame on every line and AnswersOf on every accepted frame, with what must hold for any
// frame the station is given.

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>

#include "decoder-service/time_text.h"
#include "frame.h"
#include "frame_answers.h"
#include "fuzz_check.h"
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

void CheckFrame(std::string_view line, const Frame& f) {
  Check(line.find('\0') == std::string_view::npos, "a frame from a line with NUL", line);
  Check(!f.id.empty(), "a frame without an id", line);
  Check(std::isfinite(f.lat) && std::fabs(f.lat) <= 90, "latitude", line);
  Check(std::isfinite(f.lon) && std::fabs(f.lon) <= 180, "longitude", line);
  Check(std::isfinite(f.alt), "altitude", line);

  const auto a = bridge::AnswersOf(f, "403.500");
  Check(Real(a[1]) == f.lat && Real(a[2]) == f.lon && Real(a[3]) == f.alt, "position", line);
  const double item4 = Real(a[4]);
  Check(item4 == -180 || (item4 >= 0 && item4 < 360), "item 4 outside 0..360", line);
  for (int i : {5, 8, 9, 10, 12})
    Check(std::isfinite(Real(a[static_cast<std::size_t>(i)])), "a real", line);

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
  for (int i : {0, 11}) {
    const std::string& s = Text(a[static_cast<std::size_t>(i)]);
    Check(s.find('\0') == std::string::npos, "NUL in a text for D-Bus", s);
  }
  Check(a[13].vt == decoder::VT_I4, "frame number type");
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const auto chunk = in.ConsumeIntegralInRange<std::size_t>(1, 4096);
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
  return 0;
}
