#include "sondehub/utc_time.h"

#include <gtest/gtest.h>

namespace nimbrix {
namespace {

// 2026-12-09 19:00:52.123 UTC
constexpr std::int64_t kNow = 1796842852123;

TEST(UtcTime, IsoAndHttpDateTexts) {
  struct Case {
    std::int64_t utcMs;
    const char* iso;
    const char* http;
  } cases[] = {
      {0, "1970-01-01T00:00:00.000000Z", "Thu, 01 Jan 1970 00:00:00 GMT"},
      {kNow, "2026-12-09T19:00:52.123000Z", "Wed, 09 Dec 2026 19:00:52 GMT"},
      {951782400999, "2000-02-29T00:00:00.999000Z", "Tue, 29 Feb 2000 00:00:00 GMT"},
      {1767225599500, "2025-12-31T23:59:59.500000Z", "Wed, 31 Dec 2025 23:59:59 GMT"},
      {-1, "1969-12-31T23:59:59.999000Z", "Wed, 31 Dec 1969 23:59:59 GMT"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsoUtcText(c.utcMs), c.iso) << c.utcMs;
    EXPECT_EQ(HttpDateText(c.utcMs), c.http) << c.utcMs;
  }
}

TEST(UtcTime, FrameTimeFromTheDecodersItems) {
  constexpr std::int64_t kDay = 86400000;
  // Midnight of 2026-01-01 UTC.
  constexpr std::int64_t kNewYear = 1767225600000;
  struct Case {
    const char* item6;
    std::int64_t item14;
    std::int64_t now;
    std::optional<std::int64_t> expected;
  } cases[] = {
      // Our decoders: the date and time, with item 14's milliseconds when they agree.
      {"2026-12-09 19:00:51", 0, kNow, kNow - 1123},
      {"2026-12-09 19:00:51", kNow - 1123 + 400, kNow, kNow - 1123 + 400},
      {"2026-12-09 19:00:51", kNow + 60000, kNow, kNow - 1123},  // item 14 of another second
      {"2026-12-09T19:00:51", 0, kNow, kNow - 1123},
      // A frame's own date is kept even when it is far from now: the server judges that.
      {"2024-05-01 10:00:00", 0, kNow, 1714557600000},
      // Only the time of day: the date that puts it nearest to now, across midnight and the
      // year's end both ways.
      {"xxxxxxxxxxx19:00:40", 0, kNow, kNow - 12123},
      {"           23:59:58", 0, kNewYear + 3000, kNewYear - 2000},
      {"           00:00:02", 0, kNewYear - 3000, kNewYear + 2000},
      {"2025-12-32 00:00:02", 0, kNewYear - 3000, kNewYear + 2000},  // no such date: time only
      {"           12:00:00", 0, kNewYear + kDay / 2 + 1, kNewYear + kDay / 2},
      // No time in item 6: item 14 when it is near now.
      {"", kNow - 500, kNow, kNow - 500},
      {"garbage", kNow - 500, kNow, kNow - 500},
      {"", kNow - 3 * kDay, kNow, std::nullopt},
      {"", 0, kNow, std::nullopt},
      {"           25:00:00", 0, kNow, std::nullopt},
      {"           19:0a:00", 0, kNow, std::nullopt},
      {"2026-02-29 10:00:00", 0, kNow, 1796810400000},  // no 29 Feb in 2026: time only
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FrameUtcMs(c.item6, c.item14, c.now), c.expected) << "'" << c.item6 << "'";
  }
}

}  // namespace
}  // namespace nimbrix
