#include "format/number_text.h"

#include <algorithm>

#include "format/exact_decimal.h"

namespace nimbrix {

namespace {

using format_internal::Decimal;

// The count of significant digits the callers ask for is 7 or 15; anything else is kept sane.
int ClampDigits(int digits) {
  return std::clamp(digits, 1, 40);
}

void AppendDigits(const Decimal& d, int from, int to, std::string& out) {
  for (int i = from; i < to; ++i) out += static_cast<char>('0' + d.DigitAt(i));
}

std::string Render(bool negative, Decimal& d, int digits) {
  format_internal::RoundByNextDigit(d, digits);
  std::string out(1, negative && !d.IsZero() ? '-' : ' ');
  if (d.IsZero()) {
    out += '0';
    return out;
  }
  // Fixed when the integer part fits in `digits`, or, below 1, when the zeros after the point
  // and the significant digits together fit.
  const bool fixed = d.point > 0 ? d.point <= digits : -d.point + d.count <= digits;
  if (fixed) {
    if (d.point <= 0) {
      out += '.';
      out.append(static_cast<std::size_t>(-d.point), '0');
      AppendDigits(d, 0, d.count, out);
    } else {
      AppendDigits(d, 0, d.point, out);  // DigitAt gives the zeros past the last digit
      if (d.count > d.point) {
        out += '.';
        AppendDigits(d, d.point, d.count, out);
      }
    }
    return out;
  }
  AppendDigits(d, 0, 1, out);
  if (d.count > 1) {
    out += '.';
    AppendDigits(d, 1, d.count, out);
  }
  const int exponent = d.point - 1;
  out += exponent < 0 ? "E-" : "E+";
  out += std::to_string(exponent < 0 ? -exponent : exponent);
  return out;
}

}  // namespace

std::string NumberText(double value, int digits) {
  digits = ClampDigits(digits);
  Decimal d;
  // Rounding reads the digits up to the one after the last kept; two more are plenty.
  const bool negative = format_internal::ExactDecimal(value, d, digits + 2);
  return Render(negative, d, digits);
}

std::string NumberText(std::int64_t value, int digits) {
  Decimal d;
  // Through the unsigned magnitude, so the most negative value has its digits too.
  const std::uint64_t magnitude =
      value < 0 ? ~static_cast<std::uint64_t>(value) + 1 : static_cast<std::uint64_t>(value);
  format_internal::ExactDecimal(magnitude, d);
  return Render(value < 0, d, ClampDigits(digits));
}

std::string ConsoleNumber(double value, int digits) {
  return NumberText(value, digits) + ' ';
}

std::string ConsoleNumber(std::int64_t value, int digits) {
  return NumberText(value, digits) + ' ';
}

// NumberText never ends in a blank and starts with one only in place of a minus sign.
std::string TrimmedNumberText(double value, int digits) {
  std::string text = NumberText(value, digits);
  if (text[0] == ' ') text.erase(0, 1);
  return text;
}

std::string TrimmedNumberText(std::int64_t value, int digits) {
  std::string text = NumberText(value, digits);
  if (text[0] == ' ') text.erase(0, 1);
  return text;
}

}  // namespace nimbrix
