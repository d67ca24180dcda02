#include "telemetry/variant_conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace nimbrix {
namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

Variant Raw(std::uint16_t vt, decltype(Variant::value) value) {
  return {vt, std::move(value)};
}

TEST(VariantToText, OnlyAStringOfTypeBstrIsText) {
  EXPECT_EQ(VariantToText(Variant::Text("R3320123")), "R3320123");
  EXPECT_EQ(VariantToText(Variant::Text(std::string("a\0b", 3))), std::string("a\0b", 3));
  EXPECT_EQ(VariantToText(Variant::Real(12.5)), "");
  EXPECT_EQ(VariantToText(Variant::Signed(7)), "");
  EXPECT_EQ(VariantToText(Variant::Empty()), "");
  EXPECT_EQ(VariantToText(Raw(VT_BSTR, 3.0)), "");             // code says text, value is not
  EXPECT_EQ(VariantToText(Raw(VT_R8, std::string("1"))), "");  // and the other way round
}

TEST(VariantToNumber, PerType) {
  const struct {
    const char* name;
    Variant in;
    double want;
  } cases[] = {
      {"I1", Variant::Signed(-5, VT_I1), -5},
      {"I2", Variant::Signed(-32768, VT_I2), -32768},
      {"I4", Variant::Signed(123456, VT_I4), 123456},
      {"I8", Variant::Signed(std::int64_t{1} << 40, VT_I8), 1099511627776.0},
      {"UI1", Variant::Unsigned(255, VT_UI1), 255},
      {"UI2", Variant::Unsigned(65535, VT_UI2), 65535},
      {"UI4", Variant::Unsigned(4000000000u, VT_UI4), 4e9},
      {"UI8", Variant::Unsigned(std::uint64_t{1} << 63, VT_UI8), 9223372036854775808.0},
      {"R4 keeps the float's exact value", Variant::Real(0.1f, VT_R4), static_cast<double>(0.1f)},
      {"R8", Variant::Real(-71.987654), -71.987654},
      {"DATE is its day number", Variant::Real(45000.25, VT_DATE), 45000.25},
      {"CY is scaled by 10000", Variant::Signed(123456, VT_CY), 12.3456},
      {"CY negative", Variant::Signed(-5, VT_CY), -0.0005},
      {"EMPTY", Variant::Empty(), 0},
      {"NULL", Raw(VT_NULL, std::monostate{}), 0},
      {"BSTR is never parsed", Variant::Text("12.5"), 0},
      {"INT", Variant::Signed(7, VT_INT), 0},
      {"UINT", Variant::Unsigned(7, VT_UINT), 0},
      {"BOOL", Variant::Boolean(true), 0},
      {"unknown code", Variant::Signed(5, 99), 0},
      {"I4 holding a double", Raw(VT_I4, 3.0), 0},
      {"R8 holding an integer", Raw(VT_R8, std::int64_t{3}), 0},
      {"UI4 holding a signed value", Raw(VT_UI4, std::int64_t{3}), 0},
      {"CY holding a double", Raw(VT_CY, 3.0), 0},
      {"DATE holding text", Raw(VT_DATE, std::string("3")), 0},
      {"NaN", Variant::Real(kNaN), 0},
      {"infinity", Variant::Real(kInf, VT_R4), 0},
      {"minus infinity", Variant::Real(-kInf, VT_DATE), 0},
  };
  for (const auto& c : cases) EXPECT_EQ(VariantToNumber(c.in), c.want) << c.name;
}

TEST(VariantToInteger, RoundsTiesToEvenAndSaturates) {
  const struct {
    const char* name;
    Variant in;
    std::int64_t want;
  } cases[] = {
      {"2.5 down to even", Variant::Real(2.5), 2},
      {"3.5 up to even", Variant::Real(3.5), 4},
      {"-2.5 to even", Variant::Real(-2.5), -2},
      {"one ulp above a half", Variant::Real(std::nextafter(2.5, 3.0)), 3},
      {"one ulp below a half", Variant::Real(std::nextafter(3.5, 3.0)), 3},
      {"CY tie", Variant::Signed(25000, VT_CY), 2},
      {"I8 beyond 2^53 stays exact", Variant::Signed((std::int64_t{1} << 53) + 1, VT_I8),
       (std::int64_t{1} << 53) + 1},
      {"I8 largest", Variant::Signed(kMax, VT_I8), kMax},
      {"I8 smallest", Variant::Signed(kMin, VT_I8), kMin},
      {"UI8 above int64", Variant::Unsigned(~std::uint64_t{0}, VT_UI8), kMax},
      {"2^63 as double", Variant::Real(9223372036854775808.0), kMax},
      {"-2^63 as double", Variant::Real(-9223372036854775808.0), kMin},
      {"huge", Variant::Real(1e300), kMax},
      {"huge negative", Variant::Real(-1e300), kMin},
      {"NaN", Variant::Real(kNaN), 0},
      {"text", Variant::Text("12"), 0},
  };
  for (const auto& c : cases) EXPECT_EQ(VariantToInteger(c.in), c.want) << c.name;
}

TEST(VariantToInt32, KeepsTheLowest32Bits) {
  const struct {
    Variant in;
    std::int32_t want;
  } cases[] = {
      {Variant::Signed(2345, VT_I2), 2345},
      {Variant::Signed(-32768, VT_I2), -32768},
      {Variant::Signed(40000, VT_I4), 40000},  // past 16 bits: whole, no longer wrapped
      {Variant::Signed(1110632994, VT_I4), 1110632994},
      {Variant::Real(1110632994), 1110632994},
      {Variant::Real(40000.5), 40000},  // a tie goes to the even neighbour
      {Variant::Real(40001.5), 40002},
      {Variant::Signed(2147483648LL, VT_I8), -2147483647 - 1},
      {Variant::Signed(4294967296LL, VT_I8), 0},
      {Variant::Signed(-2147483649LL, VT_I8), 2147483647},
      {Variant::Unsigned(4294967295u, VT_UI4), -1},
      {Variant::Real(1e300), -1},  // saturated to 2^63-1, whose low bits are all ones
      {Variant::Text("5"), 0},
  };
  int row = 0;
  for (const auto& c : cases) EXPECT_EQ(VariantToInt32(c.in), c.want) << "row " << row++;
}

}  // namespace
}  // namespace nimbrix
