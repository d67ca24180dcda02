#include "format/text_to_number.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <string>

namespace nimbrix {
namespace {

TEST(TextToNumberTest, ReadsTheLeadingNumber) {
  struct Case {
    const char* text;
    double expected;
  };
  const Case cases[] = {
      {"12", 12},
      {" 12 ", 12},
      {"12abc", 12},
      {"1,5", 1},
      {"1.2.3", 1.2},
      {"1e3", 1000},
      {"1d2", 100},
      {"1D2", 100},
      {"1E-2", 0.01},
      {"0015", 15},
      {"", 0},
      {"abc", 0},
      {"- 3", 0},
      {"--3", 0},
      {"+7", 7},
      {"-7.5", -7.5},
      {"\t\n 42", 42},
      {"\r42", 0},
      {".5", 0.5},
      {"-.25", -0.25},
      {"5.", 5},
      {".", 0},
      {"-", 0},
      {"1e", 1},
      {"1e+", 1},
      {"2E+3x", 2000},
      {"1e 3", 1},
      {"&H10", 0},
      {"0.1", 0.1},
      {"14.2345678", 14.2345678},
      {"-0", 0},
      {"1.7976931348623157e308", 1.7976931348623157e308},
      {"4.9406564584124654e-324", 4.9406564584124654e-324},
      {"2.2250738585072011e-308", 2.2250738585072011e-308},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TextToNumber(c.text), c.expected) << '"' << c.text << '"';
  }
}

TEST(TextToNumberTest, OutOfRangeGivesInfinityOrZero) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(TextToNumber("1e400"), inf);
  EXPECT_EQ(TextToNumber("-1e400"), -inf);
  EXPECT_EQ(TextToNumber("1.8e308"), inf);
  EXPECT_EQ(TextToNumber("1e-400"), 0.0);
  EXPECT_EQ(TextToNumber("1e99999999999999999999999999"), inf);
  EXPECT_EQ(TextToNumber("1e-99999999999999999999999999"), 0.0);
  EXPECT_EQ(TextToNumber("0e99999999999999999999999999"), 0.0);
}

TEST(TextToNumberTest, LongDigitRunsRoundExactly) {
  // 1 + 2^-53 is the exact tie between 1 and the next double; a non-zero digit far out decides.
  const std::string tie = "1.00000000000000011102230246251565404236316680908203125";
  EXPECT_EQ(TextToNumber(tie), 1.0);
  EXPECT_EQ(TextToNumber(tie + std::string(2000, '0') + "1"), std::nextafter(1.0, 2.0));
  EXPECT_EQ(TextToNumber(tie + std::string(2000, '0')), 1.0);
  // A thousand-digit integer part followed by an exponent that brings it back.
  EXPECT_EQ(TextToNumber("1" + std::string(1000, '0') + "e-1000"), 1.0);
  EXPECT_EQ(TextToNumber("0." + std::string(1000, '0') + "5e1001"), 5.0);
}

TEST(TextToNumberTest, MegabyteInputsTakeBoundedTime) {
  const auto start = std::chrono::steady_clock::now();
  const std::string digits(1 << 20, '7');
  EXPECT_EQ(TextToNumber(digits), std::numeric_limits<double>::infinity());
  EXPECT_EQ(TextToNumber("." + digits), 0.7777777777777778);
  EXPECT_EQ(TextToNumber(std::string(1 << 20, ' ') + "3"), 3.0);
  EXPECT_EQ(TextToNumber("1e" + digits), std::numeric_limits<double>::infinity());
  EXPECT_EQ(TextToNumber(std::string(1 << 20, '0') + "12"), 12.0);
  EXPECT_EQ(TextToNumber("0." + std::string(1 << 20, '0') + "12"), 0.0);
  // Linear work over a few megabytes; generous for a sanitizer build on a busy machine.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
}  // namespace nimbrix
