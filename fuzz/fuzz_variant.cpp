// The decoder's Automation values: any VARTYPE code with any kind of stored value.

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

#include "fuzz_check.h"
#include "fuzz_input.h"
#include "telemetry/variant_conversion.h"

namespace {

using nimbrix::Variant;
using nimbrix::fuzz::Check;
using nimbrix::fuzz::IsOneOf;
using nimbrix::fuzz::MakeVariant;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const Variant v = MakeVariant(in);
  const std::string text = nimbrix::VariantToText(v);
  const double number = nimbrix::VariantToNumber(v);
  const std::int64_t integer = nimbrix::VariantToInteger(v);
  const std::int32_t low = nimbrix::VariantToInt32(v);

  Check(std::isfinite(number), "number not finite");
  Check(text.empty() || v.vt == nimbrix::VT_BSTR, "text from a non-text type");
  Check(low == static_cast<std::int32_t>(static_cast<std::uint32_t>(integer)), "32-bit value");
  if (v.vt == nimbrix::VT_BSTR || v.vt == nimbrix::VT_BOOL || v.vt == nimbrix::VT_EMPTY) {
    Check(number == 0 && integer == 0, "number from a non-number type");
  }
  if (const auto* i = std::get_if<std::int64_t>(&v.value);
      i && IsOneOf(v.vt, {nimbrix::VT_I1, nimbrix::VT_I2, nimbrix::VT_I4, nimbrix::VT_I8})) {
    Check(integer == *i, "whole number not exact");
  }
  if (IsOneOf(v.vt, {nimbrix::VT_R4, nimbrix::VT_R8, nimbrix::VT_DATE}) &&
      std::holds_alternative<double>(v.value)) {
    // Default rounding mode: nearbyint goes to the nearest, ties to even.
    const double nearest = std::nearbyint(number);
    if (std::fabs(nearest) < 9.2e18)
      Check(integer == static_cast<std::int64_t>(nearest), "rounding");
    if (nearest >= 9.3e18) Check(integer == std::numeric_limits<std::int64_t>::max(), "saturation");
    if (nearest <= -9.3e18)
      Check(integer == std::numeric_limits<std::int64_t>::min(), "saturation");
  }
  return 0;
}
