#include "rs41/gps_date.h"

#include <gtest/gtest.h>

namespace receiver {
namespace {

struct DateCase {
  int week;
  std::int64_t tow_ms;
  const char* text;
};

class GpsDateTest : public ::testing::TestWithParam<DateCase> {};

TEST_P(GpsDateTest, Calendar) {
  const DateCase& c = GetParam();
  const auto time = GpsToCalendar(c.week, c.tow_ms);
  ASSERT_TRUE(time);
  EXPECT_EQ(CalendarText(*time), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Weeks, GpsDateTest,
    ::testing::Values(DateCase{0, 0, "1980-01-06T00:00:00.000Z"},
                      DateCase{1023, 604799999, "1999-08-21T23:59:59.999Z"},
                      DateCase{1024, 0, "1999-08-22T00:00:00.000Z"},
                      // The real sonde: Sunday, a minute before noon.
                      DateCase{1856, 43166000, "2015-08-02T11:59:26.000Z"},
                      DateCase{1886, 86400 * 1000LL, "2016-02-29T00:00:00.000Z"},
                      DateCase{2048, 0, "2019-04-07T00:00:00.000Z"},
                      DateCase{2086, 2 * 86400000LL + 45296789, "2019-12-31T12:34:56.789Z"},
                      DateCase{2086, 3 * 86400000LL, "2020-01-01T00:00:00.000Z"},
                      DateCase{65535, 0, "3236-01-06T00:00:00.000Z"}));

TEST(GpsDateTest, TimeOfWeekOutsideAWeekIsRefused) {
  EXPECT_FALSE(GpsToCalendar(1856, -1));
  EXPECT_FALSE(GpsToCalendar(1856, kMillisecondsPerWeek));
  EXPECT_FALSE(GpsToCalendar(-1, 0));
  EXPECT_TRUE(GpsToCalendar(1856, kMillisecondsPerWeek - 1));
}

TEST(GpsDateTest, DaysRoundTripAcrossCenturies) {
  for (std::int64_t days = -800000; days <= 800000; days += 997) {
    int y, m, d;
    CivilFromDays(days, y, m, d);
    EXPECT_EQ(DaysFromCivil(y, m, d), days);
  }
  EXPECT_EQ(DaysFromCivil(1970, 1, 1), 0);
  EXPECT_EQ(DaysFromCivil(2000, 3, 1) - DaysFromCivil(2000, 2, 28), 2);  // 2000 was leap
  EXPECT_EQ(DaysFromCivil(1900, 3, 1) - DaysFromCivil(1900, 2, 28), 1);  // 1900 was not
}

}  // namespace
}  // namespace receiver
