#pragma once

// Which D-Bus type carries which VARTYPE: the decoder's contract (telemetry/decoder_items.h)
// fixes it, and the D-Bus backend checks every answer by it.

#include <cstdint>

#include "platform/variant.h"

namespace nimbrix {

// The D-Bus signature of a VARTYPE's value; nullptr for codes the decoder may not send. Each
// VARTYPE travels as the nearest D-Bus type, on every system (the decoder tools' answers and
// script format name each value by its D-Bus type).
constexpr const char* DbusSignatureOf(std::uint16_t vt) {
  switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
      return "ay";  // carries nothing
    case VT_I1:
    case VT_I2:
      return "n";
    case VT_UI1:
      return "y";
    case VT_UI2:
      return "q";
    case VT_I4:
    case VT_INT:
      return "i";
    case VT_UI4:
    case VT_UINT:
      return "u";
    case VT_I8:
    case VT_CY:  // the raw integer, value times 10000
      return "x";
    case VT_UI8:
      return "t";
    case VT_R4:  // a float's exact value fits a double
    case VT_R8:
    case VT_DATE:  // the OLE day number
      return "d";
    case VT_BOOL:
      return "b";
    case VT_BSTR:
      return "s";
    default:
      return nullptr;
  }
}

}  // namespace nimbrix
