#pragma once

// A slow, plainly exact model of FormatMask and NumberText, for the differential test and the
// fuzzer: it expands a double into decimal text by long division and doubling of a digit string
// (no limbs, no powers of five), rounds on that text and lays out each mask from a hand-written
// description. Shares no code with the program's formatting on purpose. Test and fuzz code only.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace nimbrix::exact_reference {

// A non-negative number as decimal text: digits[0, point) is the integer part, the rest the
// fraction. The integer part always has at least one digit.
struct RefNumber {
  std::string digits;
  std::size_t point = 0;
  bool negative = false;
};

// Multiplies the digit string by 2^k (k <= 20) from the right.
inline void TimesPowerOf2(std::string& digits, int k) {
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
inline void DividedByPowerOf2(RefNumber& n, int k) {
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

inline RefNumber Expand(double value) {
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

inline RefNumber Expand(std::int64_t value) {
  RefNumber n;
  n.negative = value < 0;
  n.digits = std::to_string(value);
  if (n.negative) n.digits.erase(0, 1);
  n.point = n.digits.size();
  return n;
}

// Keeps digits[0, keep) and rounds ties to even, every later digit counting. A leading "0" is
// added first so a carry has room; the result keeps its point in place.
inline RefNumber RoundHalfEvenAt(RefNumber n, std::size_t keep) {
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

inline std::size_t FirstSignificant(const RefNumber& n) {
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

inline constexpr RefMask kProgramMasks[] = {
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
inline RefNumber RefEighteenDigits(const RefNumber& exact) {
  const std::size_t first = FirstSignificant(exact);
  return first == std::string::npos ? exact : RoundHalfEvenAt(exact, first + 18);
}

// The 18-digit value rounded to `places` decimal places.
inline RefNumber RefPlaces(RefNumber n, int places) {
  n.digits.resize(std::max(n.digits.size(), n.point + static_cast<std::size_t>(places)), '0');
  return RoundHalfEvenAt(n, n.point + static_cast<std::size_t>(places));
}

inline std::string RefFormatMask(const RefNumber& n, const RefMask& m) {
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

inline std::string RefNumberText(const RefNumber& exact, int count) {
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
    if (k > power + 1) out.append(".").append(sig, static_cast<std::size_t>(power + 1));
  } else if (power < 0 && -power - 1 + k <= count) {
    out.append(".").append(static_cast<std::size_t>(-power - 1), '0').append(sig);
  } else {
    out += sig.substr(0, 1);
    if (k > 1) out.append(".").append(sig, 1);
    out.append(power < 0 ? "E-" : "E+").append(std::to_string(std::labs(power)));
  }
  return out;
}

// The value as each count of decimal places that the masks use (0, 1, 2, 4, 5) rounds it.
struct RefRounded {
  explicit RefRounded(const RefNumber& exact) {
    const RefNumber eighteen = RefEighteenDigits(exact);
    for (int places : {0, 1, 2, 4, 5}) at[places] = RefPlaces(eighteen, places);
  }
  RefNumber at[6];
};

}  // namespace nimbrix::exact_reference
