#include "format/format_mask.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "format/exact_decimal.h"

namespace nimbrix {

namespace {

using format_internal::Decimal;

// Masks carry 18 significant decimal digits. The exact stored value is first rounded to 18
// significant digits (ties to even, every further digit looked at); integer digits past the 18th
// therefore show 0. The mask then rounds that 18-digit value to its decimal places, again ties to
// even. So 10.00535, stored as 10.0053499999999999659, is 10.0053500000000000 after 18 digits:
// a tie at four places, which goes to the even "10.0054".
constexpr int kSignificantDigits = 18;

// What the first pass over the mask learns.
struct MaskShape {
  int integer_positions = 0;  // "*", its fill character and the placeholders before the point
  int integer_zeros = 0;      // "0" placeholders before the point: the minimum digit count
  bool has_fill = false;      // a "*" was seen
  char fill = ' ';
  std::string place_kinds;  // '0' or '#' for each decimal place, left to right
};

MaskShape ReadShape(std::string_view mask) {
  MaskShape shape;
  bool after_point = false;
  for (std::size_t i = 0; i < mask.size(); ++i) {
    const char c = mask[i];
    if (c == '*') {
      shape.has_fill = true;
      int used = 1;
      if (i + 1 < mask.size()) {
        shape.fill = mask[++i];
        used = 2;
      }
      if (!after_point) shape.integer_positions += used;
    } else if (c == '0' || c == '#') {
      if (after_point) {
        shape.place_kinds += c;
      } else {
        ++shape.integer_positions;
        if (c == '0') ++shape.integer_zeros;
      }
    } else if (c == '.' && !after_point) {
      after_point = true;
    }
  }
  return shape;
}

// Sign and integer digits, padded with zeros, then right-aligned in the fill when there is one.
std::string IntegerField(const MaskShape& shape, const Decimal& d, bool show_sign) {
  const int digit_count = std::max({d.point, shape.integer_zeros, 1});
  const int width = digit_count + (show_sign ? 1 : 0);
  const int pad = shape.has_fill ? std::max(shape.integer_positions - width, 0) : 0;
  std::string field(static_cast<std::size_t>(pad), shape.fill);
  if (show_sign) field += '-';
  for (int i = d.point - digit_count; i < d.point; ++i) {
    field += static_cast<char>('0' + d.DigitAt(i));
  }
  return field;
}

std::string Render(bool negative, Decimal& d, std::string_view mask, const MaskShape& shape) {
  const int places = static_cast<int>(shape.place_kinds.size());
  format_internal::RoundHalfEven(d, kSignificantDigits);
  format_internal::RoundHalfEven(d, d.point + places);

  // Below zero always shows "-" when there are decimal places; without them only when the
  // rounded value is not zero ("-0" would say nothing a plain "0" does not).
  const bool show_sign = negative && (places > 0 || !d.IsZero());

  // "#" places at the end of the number show the fill instead of a zero.
  int shown_places = places;
  while (shown_places > 0 && shape.place_kinds[shown_places - 1] == '#' &&
         d.DigitAt(d.point + shown_places - 1) == 0) {
    --shown_places;
  }

  std::string out;
  out.reserve(mask.size() + 8);
  bool field_written = false;
  bool after_point = false;
  int place = 0;
  for (std::size_t i = 0; i < mask.size(); ++i) {
    const char c = mask[i];
    if (c == '*') {
      ++i;  // the fill character is part of the field, not a literal
      if (!after_point && !field_written) {
        out += IntegerField(shape, d, show_sign);
        field_written = true;
      }
    } else if ((c == '0' || c == '#') && !after_point) {
      if (!field_written) {
        out += IntegerField(shape, d, show_sign);
        field_written = true;
      }
    } else if ((c == '0' || c == '#') && after_point) {
      out +=
          place < shown_places ? static_cast<char>('0' + d.DigitAt(d.point + place)) : shape.fill;
      ++place;
    } else if (c == '.' && !after_point) {
      if (!field_written) {
        out += IntegerField(shape, d, show_sign);
        field_written = true;
      }
      out += '.';
      after_point = true;
    } else {
      out += c;
    }
  }
  if (!field_written) out += IntegerField(shape, d, show_sign);
  return out;
}

}  // namespace

std::string FormatMask(double value, std::string_view mask) {
  const MaskShape shape = ReadShape(mask);
  Decimal d;
  // Below a tenth of the last place the value rounds to zero whatever its digits: tiny values
  // skip their long exact expansion.
  static constexpr double kTenthOfPlace[] = {1e-1, 1e-2, 1e-3, 1e-4, 1e-5,
                                             1e-6, 1e-7, 1e-8, 1e-9, 1e-10};
  const std::size_t places = shape.place_kinds.size();
  if (places < std::size(kTenthOfPlace) && std::fabs(value) < kTenthOfPlace[places]) {
    return Render(std::signbit(value) && value != 0.0, d, mask, shape);
  }
  // The first 20 digits decide the 18-digit rounding; the rest only tells whether it is zero.
  const bool negative = format_internal::ExactDecimal(value, d, kSignificantDigits + 2);
  return Render(negative, d, mask, shape);
}

std::string FormatMask(std::int64_t value, std::string_view mask) {
  Decimal d;
  const std::uint64_t magnitude =
      value < 0 ? ~static_cast<std::uint64_t>(value) + 1 : static_cast<std::uint64_t>(value);
  format_internal::ExactDecimal(magnitude, d);
  return Render(value < 0, d, mask, ReadShape(mask));
}

}  // namespace nimbrix
