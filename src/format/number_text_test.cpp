#include "format/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace nimbrix {
namespace {

struct TextCase {
  double value;
  int digits;
  const char* expected;
};

constexpr TextCase kDocumentedCases[] = {
    {1013.25, 15, " 1013.25"},
    {1.0 / 3.0, 15, " .333333333333333"},
    {1e14, 15, " 100000000000000"},
    {1e15, 15, " 1E+15"},
    {1.5e16, 15, " 1.5E+16"},
    {1e-15, 15, " .000000000000001"},
    {1.25e-15, 15, " 1.25E-15"},
    {1234567, 7, " 1234567"},
    {12345678, 7, " 1.234568E+7"},
    {1e7, 7, " 1E+7"},
    {1e-7, 7, " .0000001"},
    {1.5e-7, 7, " 1.5E-7"},
    {0.5, 15, " .5"},
    {-0.25, 15, "-.25"},
    {0, 15, " 0"},
    {3.0000000000000004, 15, " 3"},
    {1.0000025, 7, " 1.000002"},
    {1.00000250001, 7, " 1.000002"},
};

TEST(NumberTextTest, DocumentedExamples) {
  for (const TextCase& c : kDocumentedCases) {
    EXPECT_EQ(NumberText(c.value, c.digits), c.expected) << c.value << " / " << c.digits;
  }
}

constexpr TextCase kStoredValueCases[] = {
    // Stored as 1.00000259999999996374...: the digit after the 7th is a 5 and decides alone.
    {1.0000026, 7, " 1.000002"},
    // 1000000000000005120: after 15 digits comes a 5, the 0 before it is even.
    {1000000000000005120.0, 15, " 1E+18"},
    {1.0000035, 7, " 1.000004"},  // 1.0000035000000000451...: the 5 decides, 3 goes up
    {0.1, 15, " .1"},
    {0.1, 17, " .1"},  // .10000000000000000|555: the 5 alone, 0 is even
    {-0.0, 15, " 0"},
    {-1e-300, 7, "-1E-300"},
    {9999999.5, 7, " 1E+7"},      // the carry adds a digit and moves it to scientific
    {999999.95, 7, " 999999.9"},  // stored as 999999.94999999995...
    {123.456, 7, " 123.456"},
    {-5, 7, "-5"},
    {0.000123, 7, " .000123"},
    {0.0001234567, 7, " 1.234567E-4"},
    {1.7976931348623157e308, 15, " 1.79769313486232E+308"},
    {4.9406564584124654e-324, 15, " 4.94065645841246E-324"},  // ...246|544: 6 is even
    {static_cast<double>(0.1f), 15, " .100000001490116"},
    {static_cast<double>(0.1f), 7, " .1"},
};

TEST(NumberTextTest, WorksOnTheStoredValue) {
  for (const TextCase& c : kStoredValueCases) {
    EXPECT_EQ(NumberText(c.value, c.digits), c.expected) << c.value << " / " << c.digits;
  }
}

TEST(NumberTextTest, IntegersAreExactOverTheWholeRange) {
  struct IntCase {
    std::int64_t value;
    int digits;
    const char* expected;
  };
  const IntCase cases[] = {
      {0, 7, " 0"},
      {-5, 7, "-5"},
      {1234567, 7, " 1234567"},
      {12345675, 7, " 1.234568E+7"},  // tie, 7 goes to even 8
      {12345665, 7, " 1.234566E+7"},  // tie, 6 stays
      {std::numeric_limits<std::int64_t>::max(), 15, " 9.22337203685478E+18"},
      {std::numeric_limits<std::int64_t>::min(), 15, "-9.22337203685478E+18"},
      // A double would be 1000000000000000000: only the integer path sees the last digit.
      {999999999999999999, 15, " 1E+18"},
      {100000000000000, 15, " 100000000000000"},
      {-999999999999999, 15, "-999999999999999"},
      {1000000000000001, 15, " 1E+15"},
  };
  for (const IntCase& c : cases) {
    EXPECT_EQ(NumberText(c.value, c.digits), c.expected) << c.value;
  }
}

TEST(NumberTextTest, ConsoleAndTrimmedForms) {
  EXPECT_EQ(ConsoleNumber(5.0, 15), " 5 ");
  EXPECT_EQ(ConsoleNumber(-5.0, 15), "-5 ");
  EXPECT_EQ(ConsoleNumber(std::int64_t{5}, 7), " 5 ");
  EXPECT_EQ(ConsoleNumber(std::int64_t{-5}, 7), "-5 ");
  EXPECT_EQ(TrimmedNumberText(0.4, 15), ".4");
  EXPECT_EQ(TrimmedNumberText(-0.4, 15), "-.4");
  EXPECT_EQ(TrimmedNumberText(0.0, 15), "0");
  EXPECT_EQ(TrimmedNumberText(67.0, 15), "67");
  EXPECT_EQ(TrimmedNumberText(std::int64_t{-67}, 7), "-67");
  EXPECT_EQ(TrimmedNumberText(std::int64_t{0}, 7), "0");
}

TEST(NumberTextTest, HostileValuesAndDigitCounts) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (double v : {inf, -inf, nan, -nan}) EXPECT_EQ(NumberText(v, 15), " 0");
  // A digit count outside 1..40 is brought into it.
  EXPECT_EQ(NumberText(1234.0, 0), " 1E+3");
  EXPECT_EQ(NumberText(1234.0, -7), " 1E+3");
  EXPECT_EQ(NumberText(0.1, 1000).size(), 42u);  // blank, point, 40 digits
}

}  // namespace
}  // namespace nimbrix
