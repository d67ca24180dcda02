#pragma once

// Turning fuzz input into the program's own inputs: decoder values and texts.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>

#include "platform/variant.h"

namespace nimbrix::fuzz {

inline constexpr std::uint16_t kKnownTypes[] = {0,  1,  2,  3,  4,  5,  6,  7,  8,
                                                11, 16, 17, 18, 19, 20, 21, 22, 23};

inline bool IsOneOf(std::uint16_t vt, std::initializer_list<std::uint16_t> types) {
  for (std::uint16_t t : types) {
    if (vt == t) return true;
  }
  return false;
}

inline double DoubleFromBits(std::uint64_t bits) {
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

// A value as a decoder could send it: a known or unknown type code and a stored value of any
// kind; with `matching`, mostly the kind that belongs to the code, as a sane decoder sends.
inline Variant MakeVariant(FuzzedDataProvider& in, bool matching = false) {
  Variant v;
  v.vt = in.ConsumeBool() ? in.PickValueInArray(kKnownTypes) : in.ConsumeIntegral<std::uint16_t>();
  int kind = in.ConsumeIntegralInRange(0, 5);
  if (matching && kind != 0) {
    if (IsOneOf(v.vt, {VT_I1, VT_I2, VT_I4, VT_I8, VT_INT, VT_CY})) kind = 1;
    if (IsOneOf(v.vt, {VT_UI1, VT_UI2, VT_UI4, VT_UI8, VT_UINT})) kind = 2;
    if (IsOneOf(v.vt, {VT_R4, VT_R8, VT_DATE})) kind = 3;
    if (v.vt == VT_BOOL) kind = 4;
    if (v.vt == VT_BSTR) kind = 5;
  }
  switch (kind) {
    case 0:
      break;  // no value at all
    case 1:
      v.value = in.ConsumeIntegral<std::int64_t>();
      break;
    case 2:
      v.value = in.ConsumeIntegral<std::uint64_t>();
      break;
    case 3:
      v.value = in.ConsumeBool() ? DoubleFromBits(in.ConsumeIntegral<std::uint64_t>())
                                 : static_cast<double>(in.ConsumeIntegral<std::int32_t>()) / 1000;
      break;
    case 4:
      v.value = in.ConsumeBool();
      break;
    default:
      v.value = in.ConsumeRandomLengthString(200000);
      break;
  }
  return v;
}

}  // namespace nimbrix::fuzz
