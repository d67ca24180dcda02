#include "format/round_to.h"

#include <algorithm>
#include <cmath>

namespace nimbrix {

double RoundHalfEven(double value) {
  // From 2^52 on every double is a whole number; NaN and infinities pass through unchanged.
  if (!(std::fabs(value) < 4503599627370496.0)) return value;
  const double below = std::floor(value);
  // Exact: both are multiples of value's last bit and the difference is below 1.
  const double fraction = value - below;
  double result = below;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(below, 2.0) != 0.0)) result = below + 1.0;
  // Keep the sign of a value that rounds to zero, as the hardware's own rounding does.
  return result == 0.0 ? std::copysign(0.0, value) : result;
}

double RoundTo(double value, int places) {
  // Every power of ten up to 10^18 is an exact double (5^18 < 2^53).
  static constexpr double kPow10[19] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8, 1e9,
                                        1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18};
  const double scale = kPow10[std::clamp(places, 0, 18)];
  const double scaled = value * scale;
  // A product that overflows belongs to a value far too large to have such decimal places.
  if (std::isinf(scaled) && !std::isinf(value)) return value;
  return RoundHalfEven(scaled) / scale;
}

}  // namespace nimbrix
