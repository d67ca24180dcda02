#include "format/whole_number.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace nimbrix {
namespace {

TEST(LowWord, KeepsTheLowest16BitsOfTheNearestWholeNumber) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  struct Case {
    double in;
    int out;
  } cases[] = {
      {40000, -25536},  {65536, 0},
      {65537, 1},       {32767, 32767},
      {32768, -32768},  {-1, -1},
      {-32769, 32767},  {14580.5, 14580},
      {14581.5, 14582}, {9007199254755572.0, 14580},  // 2^53 + 14580: the low bits are kept exactly
      {1e300, 0},       {kInf, 0},
      {-kInf, 0},       {std::nan(""), 0},
  };
  for (const Case& c : cases) EXPECT_EQ(LowWord(c.in), c.out) << c.in;
}

TEST(LowWord, OfAWholeNumberWrapsLikeA16BitRegister) {
  EXPECT_EQ(LowWord(std::int64_t{40000}), -25536);
  EXPECT_EQ(LowWord(std::int64_t{-32769}), 32767);
  EXPECT_EQ(LowWord(std::numeric_limits<std::int64_t>::max()), -1);
  EXPECT_EQ(LowWord(std::numeric_limits<std::int64_t>::min()), 0);
}

TEST(LowDoubleWord, WrapsLikeA32BitRegister) {
  const struct {
    std::int64_t in;
    std::int32_t out;
  } cases[] = {
      {1110632994, 1110632994},
      {40000, 40000},
      {2147483647, 2147483647},
      {2147483648, -2147483647 - 1},
      {4294967296, 0},
      {-2147483649, 2147483647},
      {-1, -1},
      {std::numeric_limits<std::int64_t>::max(), -1},
  };
  for (const auto& c : cases) EXPECT_EQ(LowDoubleWord(c.in), c.out) << c.in;
}

TEST(ClampedWord, HalvesToEvenAndClamped) {
  struct Case {
    double in;
    int out;
  } cases[] = {
      {0, 0},
      {2.5, 2},
      {3.5, 4},
      {9.5, 10},
      {32767, 32767},
      {32767.5, 32767},
      {1e300, 32767},
      {-1e300, -32768},
      {std::numeric_limits<double>::infinity(), 32767},
      {-std::numeric_limits<double>::infinity(), -32768},
      {std::numeric_limits<double>::quiet_NaN(), 0},
  };
  for (const Case& c : cases) EXPECT_EQ(ClampedWord(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace nimbrix
