#include "format/round_to.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace nimbrix {
namespace {

TEST(RoundToTest, TiesGoToEvenInDoubleArithmetic) {
  struct Case {
    double value;
    int places;
    double expected;
  };
  const Case cases[] = {
      {2.5, 0, 2},
      {3.5, 0, 4},
      {-2.5, 0, -2},
      {-3.5, 0, -4},
      {10.25, 1, 10.2},
      {2.675, 2, 2.68},  // 2.675 * 100 is exactly 267.5 in doubles
      {0.45, 1, 0.4},
      {1.005, 2, 1.0},  // 100.49999999999999 after the multiplication
      {2.4999999999999996, 0, 2},
      {2.5000000000000004, 0, 3},
      {123.456, -3, 123},
      {1.5, 99, 1.5},
      {0.5, 0, 0},
      {1.5, 0, 2},
      {4503599627370497.0, 0, 4503599627370497.0},  // above 2^52: already whole
      {1e300, 18, 1e300},  // the product overflows; the value has no such places anyway
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RoundTo(c.value, c.places), c.expected) << c.value << " / " << c.places;
  }
}

TEST(RoundToTest, NonFiniteValuesPassThrough) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(RoundTo(inf, 2), inf);
  EXPECT_EQ(RoundTo(-inf, 0), -inf);
  EXPECT_TRUE(std::isnan(RoundTo(std::nan(""), 1)));
  EXPECT_TRUE(std::isnan(RoundHalfEven(std::nan(""))));
}

TEST(RoundToTest, RoundHalfEvenMatchesTheHardwareRounding) {
  // The default floating-point mode rounds to nearest, ties to even: nearbyint is the reference.
  for (double v = -1000.0; v <= 1000.0; v += 0.125) {
    EXPECT_EQ(RoundHalfEven(v), std::nearbyint(v)) << v;
    EXPECT_EQ(std::signbit(RoundHalfEven(v)), std::signbit(std::nearbyint(v))) << v;
  }
}

}  // namespace
}  // namespace nimbrix
