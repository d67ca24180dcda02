#include "format/whole_number.h"

#include <cmath>

#include "format/round_to.h"

namespace nimbrix {

std::int16_t LowWord(double value) {
  if (!std::isfinite(value)) return 0;
  // fmod is exact, so even a whole number far beyond 2^53 keeps its true low 16 bits; only
  // values already in -65535..65535 are ever converted to an integer.
  double rest = std::fmod(RoundHalfEven(value), 65536.0);
  if (rest < 0) rest += 65536.0;
  return LowWord(static_cast<std::int64_t>(rest));
}

std::int16_t LowWord(std::int64_t value) {
  // Unsigned arithmetic wraps by definition; the narrowing to int16 is modular since C++20.
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uint64_t>(value)));
}

std::int32_t LowDoubleWord(std::int64_t value) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(value)));
}

std::int16_t ClampedWord(double value) {
  if (std::isnan(value)) return 0;
  const double whole = RoundHalfEven(value);
  if (whole <= -32768.0) return -32768;
  if (whole >= 32767.0) return 32767;
  return static_cast<std::int16_t>(whole);
}

}  // namespace nimbrix
