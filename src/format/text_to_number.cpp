#include "format/text_to_number.h"

#include <charconv>
#include <cstdint>
#include <limits>

namespace nimbrix {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Halfway points between doubles have at most 768 significant digits, so the first 800 digits
// plus one non-zero digit standing for everything dropped round exactly like the whole text.
constexpr int kKeptDigits = 800;
// Far beyond any double (10^-1100 .. 10^1100); also keeps the exponent sums in range.
constexpr std::int64_t kExponentCap = 100000;

}  // namespace

double TextToNumber(std::string_view text) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n')) ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

  // value = digits x 10^scale, digits being the significant ones kept in `buffer`.
  char buffer[kKeptDigits + 32];
  int kept = 0;
  bool dropped_non_zero = false;
  bool any_digit = false;
  bool seen_point = false;
  std::int64_t scale = 0;  // bounded by the text length: no overflow
  for (; i < n; ++i) {
    const char c = text[i];
    if (c == '.' && !seen_point) {
      seen_point = true;
      continue;
    }
    if (!IsDigit(c)) break;
    any_digit = true;
    if (seen_point) --scale;
    if (kept == 0 && c == '0') continue;  // leading zeros carry no digits
    if (kept < kKeptDigits) {
      buffer[kept++] = c;
    } else {
      ++scale;  // the digit is dropped, the ones kept move up one place
      if (c != '0') dropped_non_zero = true;
    }
  }
  if (!any_digit) return 0.0;

  if (i < n && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
    std::size_t j = i + 1;
    bool exponent_negative = false;
    if (j < n && (text[j] == '+' || text[j] == '-')) exponent_negative = text[j++] == '-';
    if (j < n && IsDigit(text[j])) {
      std::int64_t exponent = 0;
      for (; j < n && IsDigit(text[j]); ++j) {
        // Saturates: a megabyte of exponent digits means the same as a few.
        if (exponent < kExponentCap) exponent = exponent * 10 + (text[j] - '0');
      }
      scale += exponent_negative ? -exponent : exponent;
    }
  }
  if (kept == 0) return 0.0;

  const double huge =
      negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
  // The value lies between 10^(magnitude - 1) and 10^magnitude.
  const std::int64_t magnitude = kept + scale;
  if (magnitude > 400) return huge;  // beyond the largest double: infinity, as the hardware says
  if (magnitude < -400) return 0.0;  // below the smallest: zero

  if (dropped_non_zero) {
    buffer[kept++] = '1';
    --scale;
  }
  char* end = buffer + kept;
  *end++ = 'e';
  const std::to_chars_result written =
      std::to_chars(end, buffer + sizeof buffer, static_cast<long long>(scale));
  double value = 0.0;
  const std::from_chars_result read = std::from_chars(buffer, written.ptr, value);
  if (read.ec == std::errc::result_out_of_range) return magnitude > 0 ? huge : 0.0;
  return negative ? -value : value;
}

}  // namespace nimbrix
