#include "telemetry/variant_conversion.h"

#include <cmath>
#include <limits>

#include "format/round_to.h"
#include "format/whole_number.h"

namespace nimbrix {

namespace {

bool IsSignedType(std::uint16_t vt) {
  return vt == VT_I1 || vt == VT_I2 || vt == VT_I4 || vt == VT_I8;
}

bool IsUnsignedType(std::uint16_t vt) {
  return vt == VT_UI1 || vt == VT_UI2 || vt == VT_UI4 || vt == VT_UI8;
}

bool IsRealType(std::uint16_t vt) {
  return vt == VT_R4 || vt == VT_R8 || vt == VT_DATE;
}

double NumberOf(const Variant& value) {
  if (IsSignedType(value.vt) || value.vt == VT_CY) {
    const auto* i = std::get_if<std::int64_t>(&value.value);
    if (!i) return 0;
    // A currency value is a scaled integer: four implied decimal places.
    return value.vt == VT_CY ? static_cast<double>(*i) / 10000.0 : static_cast<double>(*i);
  }
  if (IsUnsignedType(value.vt)) {
    const auto* u = std::get_if<std::uint64_t>(&value.value);
    return u ? static_cast<double>(*u) : 0;
  }
  if (IsRealType(value.vt)) {
    const auto* d = std::get_if<double>(&value.value);
    return d ? *d : 0;
  }
  return 0;
}

}  // namespace

std::string VariantToText(const Variant& value) {
  if (value.vt != VT_BSTR) return {};
  const auto* s = std::get_if<std::string>(&value.value);
  return s ? *s : std::string();
}

double VariantToNumber(const Variant& value) {
  const double number = NumberOf(value);
  // Nothing downstream has a use for NaN or infinity; treat them as an unreadable item.
  return std::isfinite(number) ? number : 0;
}

std::int64_t VariantToInteger(const Variant& value) {
  if (IsSignedType(value.vt)) {
    const auto* i = std::get_if<std::int64_t>(&value.value);
    return i ? *i : 0;
  }
  if (IsUnsignedType(value.vt)) {
    const auto* u = std::get_if<std::uint64_t>(&value.value);
    if (!u) return 0;
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    return *u > kMax ? std::numeric_limits<std::int64_t>::max() : static_cast<std::int64_t>(*u);
  }
  const double rounded = RoundHalfEven(VariantToNumber(value));
  // 2^63 is exact as a double; converting anything at or beyond it would be undefined.
  constexpr double kLimit = 9223372036854775808.0;
  if (std::isnan(rounded)) return 0;
  if (rounded >= kLimit) return std::numeric_limits<std::int64_t>::max();
  if (rounded < -kLimit) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(rounded);
}

std::int32_t VariantToInt32(const Variant& value) {
  return LowDoubleWord(VariantToInteger(value));
}

}  // namespace nimbrix
