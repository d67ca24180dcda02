#pragma once

// Internal to src/format: the exact decimal form of a stored number, and the two roundings that
// FormatMask and NumberText apply to it.

#include <cstdint>

namespace nimbrix::format_internal {

// A non-negative decimal 0.d[0]d[1]...d[count-1] x 10^point with d[0] != 0 and no trailing
// zeros; zero has count == 0. Digits are stored as values 0..9, not characters.
struct Decimal {
  // m * 5^1074 with m < 2^53 (the smallest exponents) has at most 768 digits; 2^1024 has 309.
  static constexpr int kMaxDigits = 800;
  int count = 0;
  int point = 0;
  unsigned char digit[kMaxDigits];

  bool IsZero() const { return count == 0; }
  // The digit at index i counted from the first significant one; 0 outside the stored range.
  int DigitAt(int i) const { return i >= 0 && i < count ? digit[i] : 0; }
};

// Fills `out` with the exact magnitude of `value` and returns true when the value is below zero.
// Negative zero is not below zero. NaN and infinities read as 0: a hostile decoder can send them
// and every field then shows a plain zero instead of a made-up number.
// Only the first `max_digits` digits are kept exactly; if anything non-zero follows them, a digit
// 1 stands for it in the next place. Rounding at `max_digits - 1` digits or fewer is unaffected,
// and huge or tiny values cost far fewer digits.
bool ExactDecimal(double value, Decimal& out, int max_digits = Decimal::kMaxDigits - 10);
void ExactDecimal(std::uint64_t value, Decimal& out);

// Keeps `keep` leading digits (keep may be 0 or negative: nothing kept) and rounds to nearest,
// ties to the even neighbour, looking at every dropped digit.
void RoundHalfEven(Decimal& d, int keep);
// Keeps `keep` leading digits; only the first dropped digit decides (5 goes to even).
void RoundByNextDigit(Decimal& d, int keep);

}  // namespace nimbrix::format_internal
