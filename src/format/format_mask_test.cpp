#include "format/format_mask.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace nimbrix {
namespace {

struct MaskCase {
  const char* mask;
  double value;
  const char* expected;
};

// Every mask the program uses, with the texts the screen, the coordinates and the reports expect.
constexpr MaskCase kDocumentedCases[] = {
    {"* ######", 0, "       0"},
    {"* ######", 123, "     123"},
    {"* ######", -45, "     -45"},
    {"* ######", 2.5, "       2"},
    {"* ######", 1234567, " 1234567"},
    {"* ######", 123456789, "123456789"},
    {"* 0.00000 ", 0, "  0.00000 "},
    {"* 0.00000 ", 1.234567, "  1.23457 "},
    {"* 0.00000 ", -23.55, "-23.55000 "},
    {"* 0.00000 ", -0.000004, " -0.00000 "},
    {"* 0.00000 ", 123.456, "123.45600 "},
    {"* 0.00000 ", -123.456, "-123.45600 "},
    {"* #0.00000 ", 0, "   0.00000 "},
    {"* #0.00000 ", 7.1, "   7.10000 "},
    {"* #0.00000 ", -0.5, "  -0.50000 "},
    {"* #0.00000 ", -46.633333, " -46.63333 "},
    {"* #0.00000 ", -123.456, "-123.45600 "},
    {"* ###0", 0, "     0"},
    {"* ###0", 0.5, "     0"},
    {"* ###0", -0.4, "     0"},
    {"* ###0", -150.4, "  -150"},
    {"* ###0", 12345, " 12345"},
    {"* ###0", 123456, "123456"},
    {"* #.#", 0, "  0. "},
    {"* #.#", 5.25, "  5.2"},
    {"* #.#", 5.35, "  5.3"},
    {"* #.#", -0.04, " -0. "},
    {"* #.#", -0.06, " -0.1"},
    {"* #.#", 10, " 10. "},
    {"* #.#", 123.45, "123.5"},
    {" 000", 0, " 000"},
    {" 000", 45, " 045"},
    {" 000", 359.5, " 360"},
    {" 000", -3, " -003"},
    {" 000", 1234, " 1234"},
    {"* 0.0", 0, "  0.0"},
    {"* 0.0", 18.04, " 18.0"},
    {"* 0.0", -0.04, " -0.0"},
    {"* 0.0", -7.5, " -7.5"},
    {"* 0.0", 1234.56, "1234.6"},
    {"* ##.0", 0, "   0.0"},
    {"* ##.0", 850, " 850.0"},
    {"* ##.0", -5, "  -5.0"},
    {"* ##.0", -45.25, " -45.2"},
    {"* ##.0", 1013.25, "1013.2"},
    {"* ##.0", 12345.6, "12345.6"},
    {"* #.0", 0, "  0.0"},
    {"* #.0", 3, "  3.0"},
    {"* #.0", -0.01, " -0.0"},
    {"* #.0", -12.34, "-12.3"},
    {"* #.0", 99.96, "100.0"},
    {"* 0", 0, "  0"},
    {"* 0", -0.4, "  0"},
    {"* 0", -7, " -7"},
    {"* 0", 45.5, " 46"},
    {"* 0", 46.5, " 46"},
    {"* 0", 100, "100"},
    {"* 0", 1000, "1000"},
    {"00", 0, "00"},
    {"00", 5, "05"},
    {"00", 23, "23"},
    {"00", -5, "-05"},
    {"00", 123, "123"},
    {"000", 0, "000"},
    {"000", 7, "007"},
    {"000", 45.5, "046"},
    {"000", 359.6, "360"},
    {"000", -12, "-012"},
    {"000", 1234, "1234"},
    {"00.0000", 0, "00.0000"},
    {"00.0000", 7.5, "07.5000"},
    {"00.0000", -3.25, "-03.2500"},
    {"00.0000", 59.99996, "60.0000"},
    {"00.00", 0, "00.00"},
    {"00.00", 3.14159, "03.14"},
    {"00.00", -0.001, "-00.00"},
    {"00.00", 59.996, "60.00"},
    {"000000", 0, "000000"},
    {"000000", 123.6, "000124"},
    {"000000", 1234.5, "001234"},
    {"000000", -12, "-000012"},
    {"000000", 1234567, "1234567"},
};

TEST(FormatMaskTest, DocumentedExamples) {
  for (const MaskCase& c : kDocumentedCases) {
    EXPECT_EQ(FormatMask(c.value, c.mask), c.expected) << c.mask << " " << c.value;
  }
}

TEST(FormatMaskTest, WholeNumbersGiveTheSameTextAsIntegersAndAsDoubles) {
  for (const MaskCase& c : kDocumentedCases) {
    if (c.value != std::trunc(c.value)) continue;
    EXPECT_EQ(FormatMask(static_cast<std::int64_t>(c.value), c.mask), c.expected) << c.mask;
  }
}

// Ties, carries and the stored-value cases, each a trap for a formatter that reads the shortest
// decimal form or rounds half away from zero.
constexpr MaskCase kEdgeCases[] = {
    {"00.00", 0.125, "00.12"},
    {"00.00", 0.375, "00.38"},
    {"00.00", 12.345, "12.35"},  // the stored double lies above 12.345
    {"00.00", -0.125, "-00.12"},
    {"* 0", 2.5, "  2"},
    {"* 0", 3.5, "  4"},
    {"* 0", 2.5000000000000004, "  3"},  // the next double above 2.5
    {"* #.#", 45.25, " 45.2"},
    {"* 0.0", 0.95, "  0.9"},  // 0.95 is stored as 0.9499999999999999555910790149937...
    {"* 0.0", -0.0, "  0.0"},
    {"00.00", -0.0, "00.00"},
    {"000", -0.0, "000"},
    {"00", -0.4, "00"},
    {"000", -0.5, "000"},
    {"* 0", -0.5, "  0"},
    {"00.0000", 9.99995, "10.0000"},  // stored above the tie
    {"00", 99.5, "100"},
    {"* 0.00000 ", 1e20, "100000000000000000000.00000 "},
    {"* 0.00000 ", -1e-300, " -0.00000 "},
    {"* #.#", 0.04, "  0. "},
    {"* #.#", 0.05, "  0.1"},  // 0.05 is stored above the tie
    // Integer digits past the 18th significant one show 0; 2^63 = 9223372036854775808.
    {"000000", 9223372036854775808.0, "9223372036854775810"},
    {"000", 123456789012345678901.0, "123456789012345684000"},  // stored: ...683968
};

TEST(FormatMaskTest, TiesCarriesAndStoredValues) {
  for (const MaskCase& c : kEdgeCases) {
    EXPECT_EQ(FormatMask(c.value, c.mask), c.expected) << c.mask << " " << c.value;
  }
}

TEST(FormatMaskTest, SinglePrecisionValuesKeepAllTheirBinaryDigits) {
  // The single nearest 12.34565 lies below it (12.3456497192...).
  EXPECT_EQ(FormatMask(static_cast<double>(12.34565f), "00.0000"), "12.3456");
  // 0.1f is 0.100000001490116...: one more place shows what the float really holds.
  EXPECT_EQ(FormatMask(static_cast<double>(0.1f), "* 0.00000 "), "  0.10000 ");
  EXPECT_EQ(FormatMask(static_cast<double>(46.633333f), "* #0.00000 "), "  46.63333 ");
}

TEST(FormatMaskTest, EighteenDigitsComeFirstThenThePlaces) {
  // 10.00535 is stored as 10.005349999999999965894...: below the tie at four places, but its
  // 18 significant digits are 10.0053500000000000, a tie, and 3 goes up to the even 4.
  EXPECT_EQ(FormatMask(10.00535, "00.0000"), "10.0054");
  // 10.00685 is stored as 10.006850000000000022737...: above the tie, 18 digits make it a tie.
  EXPECT_EQ(FormatMask(10.00685, "00.0000"), "10.0068");
  // 10.00075 (stored above) keeps its direction: the tie after 18 digits goes to the even 8.
  EXPECT_EQ(FormatMask(10.00075, "00.0000"), "10.0008");
}

TEST(FormatMaskTest, IntegerOverloadIsExactOverTheWholeRange) {
  struct IntCase {
    std::int64_t value;
    const char* mask;
    const char* expected;
  };
  const IntCase cases[] = {
      {0, "* ######", "       0"},
      {-45, "* ######", "     -45"},
      {std::numeric_limits<std::int64_t>::max(), "0", "9223372036854775810"},
      {std::numeric_limits<std::int64_t>::min(), "0", "-9223372036854775810"},
      {std::numeric_limits<std::int64_t>::min(), "* 0.0", "-9223372036854775810.0"},
      {123456789012345678, "0", "123456789012345678"},
      {1234567890123456785, "0", "1234567890123456780"},  // 18-digit tie, 8 is even
      {1234567890123456775, "0", "1234567890123456780"},  // 18-digit tie, 7 goes up
      {-1, "00.00", "-01.00"},
  };
  for (const IntCase& c : cases) {
    EXPECT_EQ(FormatMask(c.value, c.mask), c.expected) << c.value << " " << c.mask;
  }
}

TEST(FormatMaskTest, NotANumberAndInfinitiesShowAsZero) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (double v : {inf, -inf, nan, -nan}) {
    EXPECT_EQ(FormatMask(v, "* 0.00000 "), "  0.00000 ");
    EXPECT_EQ(FormatMask(v, "00.00"), "00.00");
    EXPECT_EQ(FormatMask(v, "* ######"), "       0");
  }
}

TEST(FormatMaskTest, ExtremeDoublesAreWrittenInFull) {
  const std::string largest = FormatMask(std::numeric_limits<double>::max(), "0");
  EXPECT_EQ(largest.size(), 309u);
  EXPECT_EQ(largest.substr(0, 19), "1797693134862315710");
  EXPECT_EQ(largest.substr(18).find_first_not_of('0'), std::string::npos);
  EXPECT_EQ(FormatMask(std::numeric_limits<double>::denorm_min(), "* 0.00000 "), "  0.00000 ");
  EXPECT_EQ(FormatMask(-std::numeric_limits<double>::denorm_min(), "* 0"), "  0");
}

TEST(FormatMaskTest, MasksOutsideTheProgramsSetDoNotBreak) {
  // Not used by the program; what matters is a sane text and no crash.
  EXPECT_EQ(FormatMask(5.0, ""), "5");
  EXPECT_EQ(FormatMask(5.0, "*"), "5");
  EXPECT_EQ(FormatMask(0.5, ".00"), "0.50");
  EXPECT_EQ(FormatMask(1.5, "0.#0"), "1.50");
  EXPECT_EQ(FormatMask(-2.0, "abc0"), "abc-2");
  EXPECT_EQ(FormatMask(7.0, "*x###"), "xxxx7");
  EXPECT_EQ(FormatMask(1.0, "0." + std::string(400, '0')), "1." + std::string(400, '0'));
}

}  // namespace
}  // namespace nimbrix
