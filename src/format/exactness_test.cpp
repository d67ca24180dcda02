// Differential test: FormatMask and NumberText against a slow, plainly exact reference.
//
// The reference expands a double into decimal text by long division and doubling of a digit
// string (no limbs, no powers of five), rounds on that text and lays out each mask from a
// hand-written description. Inputs come in named suites: random bit patterns, moderate magnitudes,
// widened floats, exact halves at every mask's precision with one ulp either side, the digit ties
// of NumberText, long integers, and the extremes: about 112,000 values, each through all fifteen
// masks and both digit counts, sized to stay well within a sanitizer build's patience.

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

#include "format/format_mask.h"
#include "format/number_text.h"

namespace nimbrix {
namespace {

// ---------------------------------------------------------------- reference expansion

// A non-negative number as decimal text: digits[0, point) is the integer part, the rest the
// fraction. The integer part always has at least one digit.
struct RefNumber {
  std::string digits;
  std::size_t point = 0;
  bool negative = false;
};

// Multiplies the digit string by 2^k (k <= 20) from the right.
void TimesPowerOf2(std::string& digits, int k) {
  std::uint64_t carry = 0;
  for (std::size_t i = digits.size(); i-- > 0;) {
    const std::uint64_t cur = (static_cast<std::uint64_t>(digits[i] - '0') << k) + carry;
    digits[i] = static_cast<char>('0' + cur % 10);
    carry = cur / 10;
  }
  while (carry != 0) {
    digits.insert(digits.begin(), static_cast<char>('0' + carry % 10));
    carry /= 10;
  }
}

// Divides by 2^k (k <= 20) by schoolbook long division; a power of two always ends.
void DividedByPowerOf2(RefNumber& n, int k) {
  const std::uint64_t divisor = std::uint64_t{1} << k;
  std::uint64_t rest = 0;
  for (char& c : n.digits) {
    const std::uint64_t cur = rest * 10 + static_cast<std::uint64_t>(c - '0');
    c = static_cast<char>('0' + cur / divisor);
    rest = cur % divisor;
  }
  while (rest != 0) {
    rest *= 10;
    n.digits += static_cast<char>('0' + rest / divisor);
    rest %= divisor;
  }
}

RefNumber Expand(double value) {
  RefNumber n;
  n.negative = std::signbit(value) && value != 0.0;
  int exponent = 0;
  const double fraction = std::frexp(std::fabs(value), &exponent);
  // fraction * 2^53 is a whole number below 2^53 for every finite double, subnormals included.
  const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
  exponent -= 53;
  n.digits = std::to_string(mantissa);
  for (; exponent > 0; exponent -= std::min(exponent, 20)) {
    TimesPowerOf2(n.digits, std::min(exponent, 20));
  }
  n.point = n.digits.size();
  for (; exponent < 0; exponent += std::min(-exponent, 20)) {
    DividedByPowerOf2(n, std::min(-exponent, 20));
  }
  return n;
}

RefNumber Expand(std::int64_t value) {
  RefNumber n;
  n.negative = value < 0;
  n.digits = std::to_string(value);
  if (n.negative) n.digits.erase(0, 1);
  n.point = n.digits.size();
  return n;
}

// Keeps digits[0, keep) and rounds ties to even, every later digit counting. A leading "0" is
// added first so a carry has room; the result keeps its point in place.
RefNumber RoundHalfEvenAt(RefNumber n, std::size_t keep) {
  n.digits.insert(n.digits.begin(), '0');
  ++n.point;
  ++keep;
  if (keep >= n.digits.size()) return n;
  const std::string dropped = n.digits.substr(keep);
  n.digits.resize(keep);
  const bool more = dropped.find_first_not_of('0', 1) != std::string::npos;
  const bool odd = (n.digits.back() - '0') % 2 == 1;
  if (dropped[0] > '5' || (dropped[0] == '5' && (more || odd))) {
    std::size_t i = keep;
    while (n.digits[--i] == '9') n.digits[i] = '0';
    ++n.digits[i];
  }
  if (n.digits.size() < n.point) n.digits.resize(n.point, '0');  // dropped integer digits are 0
  return n;
}

std::size_t FirstSignificant(const RefNumber& n) {
  return n.digits.find_first_not_of('0');
}

// ---------------------------------------------------------------- reference masks

struct RefMask {
  const char* mask;
  const char* prefix;
  bool fill;       // "*" with a blank: right-aligned in `positions`
  int positions;   // integer positions, "*" and its blank included
  int zeros;       // minimum integer digits
  int places;      // decimal places
  bool hash_last;  // the last place is "#"
  const char* suffix;
};

constexpr RefMask kProgramMasks[] = {
    {"00", "", false, 2, 2, 0, false, ""},         {"000", "", false, 3, 3, 0, false, ""},
    {"00.0000", "", false, 2, 2, 4, false, ""},    {"00.00", "", false, 2, 2, 2, false, ""},
    {"000000", "", false, 6, 6, 0, false, ""},     {"* ######", "", true, 8, 0, 0, false, ""},
    {"* 0.00000 ", "", true, 3, 1, 5, false, " "}, {"* #0.00000 ", "", true, 4, 1, 5, false, " "},
    {"* ###0", "", true, 6, 1, 0, false, ""},      {"* #.#", "", true, 3, 0, 1, true, ""},
    {" 000", " ", false, 3, 3, 0, false, ""},      {"* 0.0", "", true, 3, 1, 1, false, ""},
    {"* ##.0", "", true, 4, 0, 1, false, ""},      {"* #.0", "", true, 3, 0, 1, false, ""},
    {"* 0", "", true, 3, 1, 0, false, ""},
};

// The exact value rounded to 18 significant digits: what every mask starts from.
RefNumber RefEighteenDigits(const RefNumber& exact) {
  const std::size_t first = FirstSignificant(exact);
  return first == std::string::npos ? exact : RoundHalfEvenAt(exact, first + 18);
}

// The 18-digit value rounded to `places` decimal places.
RefNumber RefPlaces(RefNumber n, int places) {
  n.digits.resize(std::max(n.digits.size(), n.point + static_cast<std::size_t>(places)), '0');
  return RoundHalfEvenAt(n, n.point + static_cast<std::size_t>(places));
}

std::string RefFormatMask(const RefNumber& n, const RefMask& m) {
  std::string integer = n.digits.substr(0, n.point);
  integer.erase(0, std::min(integer.find_first_not_of('0'), integer.size()));
  if (integer.size() < static_cast<std::size_t>(std::max(m.zeros, 1))) {
    integer.insert(0, static_cast<std::size_t>(std::max(m.zeros, 1)) - integer.size(), '0');
  }
  const std::string fraction = n.digits.substr(n.point, static_cast<std::size_t>(m.places));
  const bool all_zero = n.digits.find_first_not_of('0') == std::string::npos;
  std::string field = (n.negative && (m.places > 0 || !all_zero) ? "-" : "") + integer;
  if (m.fill && field.size() < static_cast<std::size_t>(m.positions)) {
    field.insert(0, static_cast<std::size_t>(m.positions) - field.size(), ' ');
  }
  std::string out = m.prefix + field;
  if (m.places > 0) {
    out += "." + fraction;
    if (m.hash_last && out.back() == '0') out.back() = ' ';
  }
  return out + m.suffix;
}

// ---------------------------------------------------------------- reference number text

std::string RefNumberText(const RefNumber& exact, int count) {
  const std::size_t first = FirstSignificant(exact);
  if (first == std::string::npos) return " 0";
  std::string sig = exact.digits.substr(first);
  long power = static_cast<long>(exact.point) - static_cast<long>(first) - 1;  // of sig[0]
  const char next = sig.size() > static_cast<std::size_t>(count) ? sig[count] : '0';
  sig.resize(static_cast<std::size_t>(count), '0');
  if (next > '5' || (next == '5' && (sig.back() - '0') % 2 == 1)) {
    int i = count - 1;
    while (i >= 0 && sig[i] == '9') sig[i--] = '0';
    if (i < 0) {
      sig.insert(sig.begin(), '1');
      sig.pop_back();
      ++power;
    } else {
      ++sig[i];
    }
  }
  sig.erase(sig.find_last_not_of('0') + 1);
  const long k = static_cast<long>(sig.size());
  std::string out = exact.negative ? "-" : " ";
  if (power >= 0 && power + 1 <= count) {
    std::string whole = sig.substr(0, std::min<std::size_t>(sig.size(), power + 1));
    whole.resize(static_cast<std::size_t>(power + 1), '0');
    out += whole;
    if (k > power + 1) out += "." + sig.substr(static_cast<std::size_t>(power + 1));
  } else if (power < 0 && -power - 1 + k <= count) {
    out += "." + std::string(static_cast<std::size_t>(-power - 1), '0') + sig;
  } else {
    out += sig.substr(0, 1);
    if (k > 1) out += "." + sig.substr(1);
    out += (power < 0 ? "E-" : "E+") + std::to_string(std::labs(power));
  }
  return out;
}

// ---------------------------------------------------------------- the comparison

// The value as each count of decimal places that the masks use (0, 1, 2, 4, 5) rounds it.
struct RefRounded {
  explicit RefRounded(const RefNumber& exact) {
    const RefNumber eighteen = RefEighteenDigits(exact);
    for (int places : {0, 1, 2, 4, 5}) at[places] = RefPlaces(eighteen, places);
  }
  RefNumber at[6];
};

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
