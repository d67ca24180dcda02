#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace nimbrix {

// The Automation VARTYPE codes the decoder may answer with (the Windows numbers).
enum VarType : std::uint16_t {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_BOOL = 11,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
};

// Our portable copy of an Automation value. Signed integer types (and CY, raw) hold int64,
// unsigned ones uint64, R4/R8/DATE double (an R4 holds the float's exact value), BOOL bool,
// BSTR the text as bytes (ANSI code page on Windows, UTF-8 from D-Bus).
struct Variant {
  std::uint16_t vt = VT_EMPTY;
  std::variant<std::monostate, std::int64_t, std::uint64_t, double, bool, std::string> value;

  static Variant Empty() { return {}; }
  static Variant Text(std::string s) { return {VT_BSTR, std::move(s)}; }
  static Variant Real(double d, std::uint16_t type = VT_R8) { return {type, d}; }
  static Variant Signed(std::int64_t i, std::uint16_t type = VT_I4) { return {type, i}; }
  static Variant Unsigned(std::uint64_t u, std::uint16_t type = VT_UI4) { return {type, u}; }
  static Variant Boolean(bool b) { return {VT_BOOL, b}; }
};

}  // namespace nimbrix
