// Differential test: FormatMask and NumberText against a slow, plainly exact reference
// (format/exact_reference.h, shared with the fuzzer). Inputs come in named suites: random bit
// patterns, moderate magnitudes, widened floats, exact halves at every mask's precision with one
// ulp either side, the digit ties of NumberText, long integers, and the extremes: about 112,000
// values, each through all fifteen masks and both digit counts, sized to stay well within a
// sanitizer build's patience.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "format/exact_reference.h"
#include "format/format_mask.h"
#include "format/number_text.h"

namespace nimbrix {
namespace {

using exact_reference::Expand;
using exact_reference::kProgramMasks;
using exact_reference::RefFormatMask;
using exact_reference::RefMask;
using exact_reference::RefNumber;
using exact_reference::RefNumberText;
using exact_reference::RefRounded;

class Differential {
 public:
  void Check(double value) {
    const RefNumber exact = Expand(value);
    const RefRounded rounded(exact);
    for (const RefMask& m : kProgramMasks) {
      Compare(FormatMask(value, m.mask), RefFormatMask(rounded.at[m.places], m), value, m.mask);
    }
    Compare(NumberText(value, 15), RefNumberText(exact, 15), value, "NumberText 15");
    Compare(NumberText(value, 7), RefNumberText(exact, 7), value, "NumberText 7");
    ++checked_;
  }

  void Check(std::int64_t value) {
    const RefNumber exact = Expand(value);
    const RefRounded rounded(exact);
    for (const RefMask& m : kProgramMasks) {
      Compare(FormatMask(value, m.mask), RefFormatMask(rounded.at[m.places], m),
              static_cast<double>(value), m.mask, value);
    }
    Compare(NumberText(value, 15), RefNumberText(exact, 15), static_cast<double>(value),
            "NumberText 15", value);
    Compare(NumberText(value, 7), RefNumberText(exact, 7), static_cast<double>(value),
            "NumberText 7", value);
    ++checked_;
  }

  int checked() const { return checked_; }

 private:
  void Compare(const std::string& actual, const std::string& expected, double value,
               const char* what, std::int64_t integer = 0) {
    if (actual == expected) return;
    if (++failures_ > 20) return;  // enough to see the pattern
    char bits[40];
    std::uint64_t raw;
    std::memcpy(&raw, &value, sizeof raw);
    std::snprintf(bits, sizeof bits, "0x%016llx", static_cast<unsigned long long>(raw));
    ADD_FAILURE() << what << ": value " << bits << " (" << value << ", int " << integer
                  << ")\n  actual   \"" << actual << "\"\n  expected \"" << expected << '"';
  }

  int checked_ = 0;
  int failures_ = 0;
};

double FromBits(std::uint64_t bits) {
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

float FloatFromBits(std::uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

class ExactnessTest : public ::testing::Test {
 protected:
  std::mt19937_64 rng_{20240611};
  Differential diff_;

  void CheckWithNeighbours(double v) {
    for (double w : {std::nextafter(v, -std::numeric_limits<double>::infinity()), v,
                     std::nextafter(v, std::numeric_limits<double>::infinity())}) {
      if (std::isfinite(w)) diff_.Check(w);
    }
  }
};

TEST_F(ExactnessTest, RandomBitPatterns) {
  for (int i = 0; i < 4000; ++i) {
    const double v = FromBits(rng_());
    if (std::isfinite(v)) diff_.Check(v);
  }
  EXPECT_GT(diff_.checked(), 3900);
}

TEST_F(ExactnessTest, RandomModerateMagnitudes) {
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::uniform_int_distribution<int> power(-7, 9);
  for (int i = 0; i < 20000; ++i) diff_.Check(unit(rng_) * std::pow(10.0, power(rng_)));
  // Telemetry-like values with few decimals, as a decoder would send them.
  std::uniform_int_distribution<int> hundredths(-1000000, 1000000);
  for (int i = 0; i < 6000; ++i) diff_.Check(hundredths(rng_) / 100.0);
}

TEST_F(ExactnessTest, WidenedFloats) {
  for (int i = 0; i < 6000; ++i) {
    const float f = FloatFromBits(static_cast<std::uint32_t>(rng_()));
    if (std::isfinite(f)) diff_.Check(static_cast<double>(f));
  }
  std::uniform_real_distribution<float> moderate(-1000.0f, 1000.0f);
  for (int i = 0; i < 10000; ++i) diff_.Check(static_cast<double>(moderate(rng_)));
}

TEST_F(ExactnessTest, ExactHalvesAtEveryPrecisionAndOneUlpEitherSide) {
  // A tie at P decimal places that a double can hold is an odd multiple of 2^-(P+1).
  std::uniform_int_distribution<std::int64_t> whole(-100000, 100000);
  for (int places : {0, 1, 2, 4, 5}) {
    const std::int64_t denominator = std::int64_t{1} << (places + 1);
    std::uniform_int_distribution<std::int64_t> odd(0, denominator / 2 - 1);
    for (int i = 0; i < 1700; ++i) {
      const double v = static_cast<double>(whole(rng_)) +
                       static_cast<double>(2 * odd(rng_) + 1) / static_cast<double>(denominator);
      CheckWithNeighbours(v);
    }
  }
}

TEST_F(ExactnessTest, DigitTiesOfNumberText) {
  // Whole numbers whose digit after the 7th or 15th significant one is a 5.
  std::uniform_int_distribution<std::int64_t> seven(1000000, 9999999);
  std::uniform_int_distribution<std::int64_t> fifteen(100000000000000, 899999999999999);
  for (int i = 0; i < 1300; ++i) {
    CheckWithNeighbours(static_cast<double>(seven(rng_) * 10 + 5));
    CheckWithNeighbours(static_cast<double>(fifteen(rng_) * 10 + 5));
    CheckWithNeighbours(static_cast<double>(seven(rng_) * 10 + 5) / 1e9);
    diff_.Check(seven(rng_) * 10 + 5);
    diff_.Check(fifteen(rng_) * 10 + 5);
  }
}

TEST_F(ExactnessTest, LongIntegers) {
  // 17 to 19 digits through the integer overload, and 17 to 20 digits as doubles.
  std::uniform_int_distribution<std::int64_t> any(std::numeric_limits<std::int64_t>::min(),
                                                  std::numeric_limits<std::int64_t>::max());
  for (int digits = 17; digits <= 19; ++digits) {
    const std::int64_t low = static_cast<std::int64_t>(std::pow(10.0, digits - 1));
    std::uniform_int_distribution<std::int64_t> span(
        low, digits == 19 ? std::numeric_limits<std::int64_t>::max() : low * 10 - 1);
    for (int i = 0; i < 2000; ++i) {
      const std::int64_t v = span(rng_);
      diff_.Check(v);
      diff_.Check(-v);
      diff_.Check(static_cast<double>(v));
    }
  }
  for (int i = 0; i < 2000; ++i) {
    diff_.Check(any(rng_));
    // Doubles this large are multiples of 2048 and never end in "50" or "5": no 18-digit tie,
    // but the 19th and 20th digits still have to show as 0.
    std::uniform_real_distribution<double> twenty(1e19, 1e20);
    diff_.Check(twenty(rng_));
  }
  diff_.Check(std::numeric_limits<std::int64_t>::min());
  diff_.Check(std::numeric_limits<std::int64_t>::max());
}

TEST_F(ExactnessTest, TinyHugeAndBoundaryValues) {
  const double boundaries[] = {0.0,
                               -0.0,
                               std::numeric_limits<double>::denorm_min(),
                               std::numeric_limits<double>::min(),
                               std::nextafter(std::numeric_limits<double>::min(), 0.0),
                               std::numeric_limits<double>::max(),
                               std::numeric_limits<double>::epsilon(),
                               0.5,
                               0.05,
                               0.005,
                               0.000005,
                               0.0000005,
                               999999.95,
                               59.99995,
                               99.95};
  for (double v : boundaries) {
    CheckWithNeighbours(v);
    CheckWithNeighbours(-v);
  }
  for (int e = -1074; e <= 1023; ++e) diff_.Check(std::ldexp(e % 2 == 0 ? 1.0 : -1.5, e));
  for (int e = -320; e <= 308; ++e) CheckWithNeighbours(std::pow(10.0, e));
}

}  // namespace
}  // namespace nimbrix
