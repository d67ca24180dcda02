// FormatMask and NumberText on any double, any float and any 64-bit integer from the input bytes,
// compared with the exact reference: a mismatch is a finding, not only a crash.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "format/exact_reference.h"
#include "format/format_mask.h"
#include "format/number_text.h"
#include "fuzz_check.h"

namespace {

using namespace nimbrix::exact_reference;

void Compare(const std::string& actual, const std::string& expected, const char* what,
             std::uint64_t bits) {
  if (actual == expected) return;
  char detail[256];
  std::snprintf(detail, sizeof detail, "bits 0x%016llx: \"%s\", expected \"%s\"",
                static_cast<unsigned long long>(bits), actual.c_str(), expected.c_str());
  nimbrix::fuzz::Fail(what, detail);
}

template <typename T>
void CheckValue(T value, std::uint64_t bits) {
  const RefNumber exact = Expand(value);
  const RefRounded rounded(exact);
  for (const RefMask& m : kProgramMasks) {
    Compare(nimbrix::FormatMask(value, m.mask), RefFormatMask(rounded.at[m.places], m), m.mask,
            bits);
  }
  Compare(nimbrix::NumberText(value, 15), RefNumberText(exact, 15), "NumberText 15", bits);
  Compare(nimbrix::NumberText(value, 7), RefNumberText(exact, 7), "NumberText 7", bits);
}

// NaN and infinities have no exact value: the program writes them as 0.
void CheckNonFinite(double value, std::uint64_t bits) {
  const RefNumber zero = Expand(0.0);
  const RefRounded rounded(zero);
  for (const RefMask& m : kProgramMasks) {
    Compare(nimbrix::FormatMask(value, m.mask), RefFormatMask(rounded.at[m.places], m), m.mask,
            bits);
  }
  Compare(nimbrix::NumberText(value, 15), " 0", "NumberText 15", bits);
}

void CheckDouble(double value, std::uint64_t bits) {
  if (std::isfinite(value)) {
    CheckValue(value, bits);
  } else {
    CheckNonFinite(value, bits);
  }
}

}  // namespace

// Each 8 bytes are one double and one int64; each 4 bytes one float (as a decoder's R4 arrives).
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  for (std::size_t at = 0; at + 8 <= size && at < 64; at += 8) {
    std::uint64_t bits;
    std::memcpy(&bits, data + at, sizeof bits);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    CheckDouble(d, bits);
    CheckValue(static_cast<std::int64_t>(bits), bits);
  }
  for (std::size_t at = 0; at + 4 <= size && at < 64; at += 4) {
    std::uint32_t bits;
    std::memcpy(&bits, data + at, sizeof bits);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    CheckDouble(static_cast<double>(f), bits);
  }
  return 0;
}
