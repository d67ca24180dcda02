// TextToNumber on arbitrary bytes (no crash, no slow path), and on well-formed numbers built from
// the input, where it must round exactly like the C library's strtod.

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "format/text_to_number.h"
#include "fuzz_check.h"

namespace {

// Sign, digits with at most one point, optional exponent: a text both readers take whole.
std::string WellFormed(FuzzedDataProvider& in) {
  std::string text;
  switch (in.ConsumeIntegralInRange(0, 2)) {
    case 1:
      text += '-';
      break;
    case 2:
      text += '+';
      break;
    default:
      break;
  }
  const std::string raw = in.ConsumeRandomLengthString(2000);
  bool point = false;
  for (char c : raw) {
    if (c == '.' && !point) {
      point = true;
      text += '.';
    } else {
      text += static_cast<char>('0' + static_cast<unsigned char>(c) % 10);
    }
  }
  if (text.find_first_of("0123456789") == std::string::npos) text += '0';
  if (in.ConsumeBool()) {
    text += 'E';
    text += std::to_string(in.ConsumeIntegralInRange(-400, 400));
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string raw(reinterpret_cast<const char*>(data), size);
  const double any = nimbrix::TextToNumber(raw);
  nimbrix::fuzz::Check(!std::isnan(any), "NaN from text", raw);

  FuzzedDataProvider in(data, size);
  const std::string text = WellFormed(in);
  const double expected = std::strtod(text.c_str(), nullptr);
  const double actual = nimbrix::TextToNumber(text);
  // Zero has one sign here: "-0" reads as plain 0.
  const bool same = expected == 0 ? actual == 0 && !std::signbit(actual)
                                  : std::memcmp(&expected, &actual, sizeof expected) == 0;
  if (!same) {
    char detail[128];
    std::snprintf(detail, sizeof detail, "strtod %a, TextToNumber %a", expected, actual);
    nimbrix::fuzz::Fail(text, detail);
  }
  return 0;
}
