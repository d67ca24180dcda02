#include "gps_time.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>

namespace bridge {
namespace {

using std::chrono::sys_days;
using std::chrono::year;

std::int64_t MidnightMs(int y, unsigned m) {
  return std::chrono::sys_seconds(sys_days(year(y) / m / 1)).time_since_epoch().count() * 1000;
}

// Every change of GPS - UTC: the first UTC day of the new offset, and that offset.
struct Change {
  int year;
  unsigned month;
  std::int64_t offset;
} const kChanges[] = {
    {1981, 7, 1},  {1982, 7, 2},  {1983, 7, 3},  {1985, 7, 4},  {1988, 1, 5},  {1990, 1, 6},
    {1991, 1, 7},  {1992, 7, 8},  {1993, 7, 9},  {1994, 7, 10}, {1996, 1, 11}, {1997, 7, 12},
    {1999, 1, 13}, {2006, 1, 14}, {2009, 1, 15}, {2012, 7, 16}, {2015, 7, 17}, {2017, 1, 18},
};

TEST(GpsTimeTest, EveryChangeDateOnTheGpsScale) {
  for (const Change& c : kChanges) {
    SCOPED_TRACE(std::to_string(c.year) + "-" + std::to_string(c.month));
    const std::int64_t midnight = MidnightMs(c.year, c.month);
    // UTC midnight is GPS midnight plus the new offset: from there the new offset holds.
    const std::int64_t start = midnight + c.offset * 1000;
    EXPECT_EQ(GpsMinusUtcSeconds(start), c.offset);
    EXPECT_EQ(GpsToUtcMs(start), midnight);
    EXPECT_EQ(GpsMinusUtcSeconds(start - 1), c.offset - 1);
    // The leap second 23:59:60 reads as the following 00:00:00; the second before it is 23:59:59.
    EXPECT_EQ(GpsToUtcMs(start - 1000), midnight);
    EXPECT_EQ(GpsToUtcMs(start - 1001), midnight - 1);
    EXPECT_EQ(GpsToUtcMs(start - 2000), midnight - 1000);
  }
}

TEST(GpsTimeTest, BeforeTheFirstLeapSecondAndLongAfterTheLast) {
  EXPECT_EQ(GpsMinusUtcSeconds(MidnightMs(1980, 1) + 5 * 86400000LL), 0);  // 1980-01-06
  EXPECT_EQ(GpsMinusUtcSeconds(0), 0);
  EXPECT_EQ(GpsMinusUtcSeconds(-5000000000000), 0);
  EXPECT_EQ(GpsMinusUtcSeconds(MidnightMs(2026, 5)), 18);
  EXPECT_EQ(GpsMinusUtcSeconds(MidnightMs(9999, 12)), 18);
  EXPECT_EQ(GpsToUtcMs(MidnightMs(2026, 5) + 38001), MidnightMs(2026, 5) + 20001);
}

TEST(GpsTimeTest, TheRecordingsOf2015AreOnEitherSideOfTheJulyLeapSecond) {
  // An RS41 heard on 2015-08-02 (GPS 11:59:26 is UTC 11:59:09) and March 2015 (16 s then).
  const std::int64_t aug2 = MidnightMs(2015, 8) + 86400000LL;
  EXPECT_EQ(GpsToUtcMs(aug2 + (11 * 3600 + 59 * 60 + 26) * 1000LL),
            aug2 + (11 * 3600 + 59 * 60 + 9) * 1000LL);
  EXPECT_EQ(GpsMinusUtcSeconds(MidnightMs(2015, 3) + 16 * 86400000LL), 16);
}

// The table against the system's own copy of the IERS list (tzdata), where there is one: every
// change of TAI - UTC after 1980-01-06 is one of GPS - UTC, 19 s less.
TEST(GpsTimeTest, AgreesWithTheLeapSecondListOfTzdata) {
  std::ifstream list("/usr/share/zoneinfo/leap-seconds.list");
  if (!list) GTEST_SKIP() << "no /usr/share/zoneinfo/leap-seconds.list here";
  constexpr std::int64_t kNtpToUnix = 2208988800;  // 1900-01-01 to 1970-01-01, seconds
  const std::int64_t gpsEpoch = MidnightMs(1980, 1) / 1000 + 5 * 86400;
  int changes = 0;
  std::string line;
  while (std::getline(list, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::int64_t ntp = 0, taiMinusUtc = 0;
    if (!(fields >> ntp >> taiMinusUtc)) continue;
    const std::int64_t utc = ntp - kNtpToUnix;
    if (utc <= gpsEpoch) continue;
    const std::int64_t offset = taiMinusUtc - 19;
    EXPECT_EQ(GpsMinusUtcSeconds((utc + offset) * 1000), offset) << line;
    EXPECT_EQ(GpsMinusUtcSeconds((utc + offset) * 1000 - 1), offset - 1) << line;
    ++changes;
  }
  EXPECT_EQ(changes, 18);
}

}  // namespace
}  // namespace bridge
