#include "format/coordinate_text.h"

#include <gtest/gtest.h>

#include <limits>

namespace nimbrix {
namespace {

TEST(MakeCoordinateTexts, GgaAndAprsForms) {
  const struct {
    double value;
    int digits;
    const char* gga;
    const char* aprs;
  } cases[] = {
      {48.123456, 2, "4807.4074,N", "4807.41N"},
      {-71.987654, 3, "07159.2592,W", "07159.26W"},
      {-33.5, 2, "3330.0000,S", "3330.00S"},
      {0, 2, "0000.0000,N", "0000.00N"},
      {0, 3, "00000.0000,E", "00000.00E"},
      {-0.0, 2, "0000.0000,N", "0000.00N"},
      // Only the APRS form reaches 60 minutes, so only it rolls over.
      {49.99999, 2, "4959.9994,N", "5000.00N"},
      {179.999999, 3, "17959.9999,E", "18000.00E"},
      // Both forms roll over; here the float minutes are exactly 60.
      {49.9999999, 2, "5000.0000,N", "5000.00N"},
      {-10.99999999999, 3, "01100.0000,W", "01100.00W"},
      // Double minutes 54.0004488 would show "54.0004"; the float holds 54.00045013...
      {48.90000748, 2, "4854.0005,N", "4854.00N"},
      // Degrees past the mask's width are written in full.
      {-123.25, 2, "12315.0000,S", "12315.00S"},
      {std::numeric_limits<double>::quiet_NaN(), 2, "0000.0000,N", "0000.00N"},
      {-std::numeric_limits<double>::infinity(), 3, "00000.0000,E", "00000.00E"},
  };
  for (const auto& c : cases) {
    const char positive = c.digits == 2 ? 'N' : 'E', negative = c.digits == 2 ? 'S' : 'W';
    const CoordinateTexts texts = MakeCoordinateTexts(c.value, c.digits, positive, negative);
    EXPECT_EQ(texts.gga, c.gga) << c.value;
    EXPECT_EQ(texts.aprs, c.aprs) << c.value;
  }
}

TEST(MakeCoordinateTexts, HugeValuesNeedNoIntegerConversion) {
  const CoordinateTexts texts = MakeCoordinateTexts(-1e300, 3, 'E', 'W');
  EXPECT_EQ(texts.gga.substr(texts.gga.size() - 9), "00.0000,W");
  EXPECT_EQ(texts.aprs.substr(texts.aprs.size() - 6), "00.00W");
  EXPECT_GT(texts.aprs.size(), 300u);
}

}  // namespace
}  // namespace nimbrix
