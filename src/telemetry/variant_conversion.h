#pragma once

#include <cstdint>
#include <string>

#include "platform/variant.h"

namespace nimbrix {

// How the decoder's Automation answers are read, the same on every platform. A value of the
// wrong type is no error: it reads as empty text or 0.

// Only a VT_BSTR gives text; every other type gives "".
std::string VariantToText(const Variant& value);

// The numeric types give their value; VT_DATE its day number, VT_CY its raw integer / 10000.
// Texts are never parsed; EMPTY, NULL, BSTR, INT, UINT, BOOL, unknown codes, a code whose stored
// value has the wrong kind, and NaN or infinity all give 0.
double VariantToNumber(const Variant& value);

// The number rounded to the nearest whole number, ties to even, saturated to the int64 range.
// Whole-number types are taken exactly rather than through a double (an I8 above 2^53 keeps
// its last digits).
std::int64_t VariantToInteger(const Variant& value);

// VariantToInteger keeping only the lowest 32 bits, as a signed number: frame numbers far
// beyond 16 bits (1110632994) stay whole; 4294967296 gives 0.
std::int32_t VariantToInt32(const Variant& value);

}  // namespace nimbrix
