#include "format/utc_text.h"

#include <gtest/gtest.h>

namespace nimbrix {
namespace {

TEST(UtcText, EveryFormOfOneTime) {
  struct Case {
    std::int64_t utcMs;
    const char* seconds;
    const char* millis;
    const char* micros;
    const char* http;
    const char* digits;
  };
  const Case cases[] = {
      {0, "1970-01-01T00:00:00Z", "1970-01-01T00:00:00.000Z", "1970-01-01T00:00:00.000000Z",
       "Thu, 01 Jan 1970 00:00:00 GMT", "19700101"},
      {1796842852123, "2026-12-09T19:00:52Z", "2026-12-09T19:00:52.123Z",
       "2026-12-09T19:00:52.123000Z", "Wed, 09 Dec 2026 19:00:52 GMT", "20261209"},
      // Leap days, a century's included.
      {951782400999, "2000-02-29T00:00:00Z", "2000-02-29T00:00:00.999Z",
       "2000-02-29T00:00:00.999000Z", "Tue, 29 Feb 2000 00:00:00 GMT", "20000229"},
      {1709164800000 - 1, "2024-02-28T23:59:59Z", "2024-02-28T23:59:59.999Z",
       "2024-02-28T23:59:59.999000Z", "Wed, 28 Feb 2024 23:59:59 GMT", "20240228"},
      // The year's last millisecond and the next year's first.
      {1767225599999, "2025-12-31T23:59:59Z", "2025-12-31T23:59:59.999Z",
       "2025-12-31T23:59:59.999000Z", "Wed, 31 Dec 2025 23:59:59 GMT", "20251231"},
      {1767225600000, "2026-01-01T00:00:00Z", "2026-01-01T00:00:00.000Z",
       "2026-01-01T00:00:00.000000Z", "Thu, 01 Jan 2026 00:00:00 GMT", "20260101"},
      // Before 1970: the day before, counted back from midnight.
      {-1, "1969-12-31T23:59:59Z", "1969-12-31T23:59:59.999Z", "1969-12-31T23:59:59.999000Z",
       "Wed, 31 Dec 1969 23:59:59 GMT", "19691231"},
      {-86400001, "1969-12-30T23:59:59Z", "1969-12-30T23:59:59.999Z", "1969-12-30T23:59:59.999000Z",
       "Tue, 30 Dec 1969 23:59:59 GMT", "19691230"},
      // Beyond what four digits show: the ends of 0000 and 9999, never a wider text.
      {INT64_MIN, "0000-01-01T00:00:00Z", "0000-01-01T00:00:00.000Z", "0000-01-01T00:00:00.000000Z",
       "Sat, 01 Jan 0000 00:00:00 GMT", "00000101"},
      {INT64_MAX, "9999-12-31T23:59:59Z", "9999-12-31T23:59:59.999Z", "9999-12-31T23:59:59.999000Z",
       "Fri, 31 Dec 9999 23:59:59 GMT", "99991231"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsoUtcSeconds(c.utcMs), c.seconds) << c.utcMs;
    EXPECT_EQ(IsoUtcMillis(c.utcMs), c.millis) << c.utcMs;
    EXPECT_EQ(IsoUtcMicros(c.utcMs), c.micros) << c.utcMs;
    EXPECT_EQ(HttpDateText(c.utcMs), c.http) << c.utcMs;
    EXPECT_EQ(UtcDateDigits(c.utcMs), c.digits) << c.utcMs;
  }
}

TEST(UtcText, MillisecondsAreDroppedNeverRoundedUp) {
  struct Case {
    std::int64_t utcMs;
    const char* seconds;
  };
  const Case cases[] = {
      {999, "1970-01-01T00:00:00Z"},      {1000, "1970-01-01T00:00:01Z"},
      {86399999, "1970-01-01T23:59:59Z"},  // not the next day
      {-999, "1969-12-31T23:59:59Z"},     {-1000, "1969-12-31T23:59:59Z"},
      {-1001, "1969-12-31T23:59:58Z"},
  };
  for (const Case& c : cases) EXPECT_EQ(IsoUtcSeconds(c.utcMs), c.seconds) << c.utcMs;
}

TEST(UtcText, PartsOfATime) {
  const UtcParts t = UtcPartsOf(1796842852123);
  EXPECT_EQ(t.year, 2026);
  EXPECT_EQ(t.month, 12);
  EXPECT_EQ(t.day, 9);
  EXPECT_EQ(t.hour, 19);
  EXPECT_EQ(t.minute, 0);
  EXPECT_EQ(t.second, 52);
  EXPECT_EQ(t.millisecond, 123);
  EXPECT_EQ(t.weekday, 3);  // Wednesday
}

TEST(UtcText, MidnightOfACivilDate) {
  struct Case {
    int year, month, day;
    std::optional<std::int64_t> ms;
  };
  const Case cases[] = {
      {1970, 1, 1, 0},
      {2026, 12, 9, 1796774400000},
      {2000, 2, 29, 951782400000},
      {2024, 2, 29, 1709164800000},
      {1969, 12, 31, -86400000},
      {2026, 1, 1, 1767225600000},
      {0, 1, 1, -62167219200000},
      // No such date.
      {2026, 2, 29, std::nullopt},
      {1900, 2, 29, std::nullopt},
      {2024, 2, 30, std::nullopt},
      {2025, 12, 32, std::nullopt},
      {2025, 13, 1, std::nullopt},
      {2025, 0, 1, std::nullopt},
      {2025, 1, 0, std::nullopt},
      {2025, -1, 1, std::nullopt},
      {10000, 1, 1, std::nullopt},
      {-1, 1, 1, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(UtcMidnightMs(c.year, c.month, c.day), c.ms)
        << c.year << "-" << c.month << "-" << c.day;
  }
  // And back: every day of a leap year's turn gives its own date.
  for (std::int64_t ms = 1709164800000 - 3 * kUtcDayMs; ms < 1709164800000 + 3 * kUtcDayMs;
       ms += kUtcDayMs) {
    const UtcParts t = UtcPartsOf(ms + 12345);
    EXPECT_EQ(UtcMidnightMs(t.year, t.month, t.day), ms);
  }
}

}  // namespace
}  // namespace nimbrix
