#include "telemetry/frame_time.h"

#include <gtest/gtest.h>

namespace nimbrix {
namespace {

// 2026-12-09 19:00:52.123 UTC
constexpr std::int64_t kNow = 1796842852123;
constexpr std::int64_t kDay = 86400000;
// Midnight of 2026-01-01 and of 2026-12-09 UTC.
constexpr std::int64_t kNewYear = 1767225600000;
constexpr std::int64_t kMidnight = 1796774400000;

TEST(FrameTime, FromTheDecodersTimeItems) {
  struct Case {
    const char* timeText;  // item 6
    std::int64_t timeMs;   // item 14
    std::int64_t now;
    std::optional<std::int64_t> expected;
  } cases[] = {
      // The date and time, with item 14's milliseconds when they agree.
      {"2026-12-09 19:00:51", 0, kNow, kNow - 1123},
      {"2026-12-09 19:00:51", kNow - 1123 + 400, kNow, kNow - 1123 + 400},
      {"2026-12-09 19:00:51", kNow + 60000, kNow, kNow - 1123},  // item 14 of another second
      {"2026-12-09 19:00:51", 1000, kNow, kNow - 1123},
      {"2026-12-09T19:00:51", 0, kNow, kNow - 1123},
      {"2026-12-09 00:00:05", 0, kMidnight + 7000, kMidnight + 5000},
      {"2024-02-29 00:00:00", 0, kNow, 1709164800000},  // a leap day
      // A frame's own date is kept even when it is far from now: the peer judges that.
      {"2024-05-01 10:00:00", 0, kNow, 1714557600000},
      // Only the time of day: the date that puts it nearest to now, across midnight and the
      // year's end both ways.
      {"xxxxxxxxxxx19:00:40", 0, kNow, kNow - 12123},
      {"xxxxxxxxxxx23:59:58", 0, kMidnight + 3000, kMidnight - 2000},
      {"xxxxxxxxxxx00:00:01", 0, kMidnight - 2000, kMidnight + 1000},
      {"           23:59:58", 0, kNewYear + 3000, kNewYear - 2000},
      {"           00:00:02", 0, kNewYear - 3000, kNewYear + 2000},
      {"           12:00:00", 0, kNewYear + kDay / 2 + 1, kNewYear + kDay / 2},
      // A date that does not exist leaves the time of day.
      {"2025-12-32 00:00:02", 0, kNewYear - 3000, kNewYear + 2000},
      {"2026-02-29 10:00:00", 0, kNow, 1796810400000},
      {"2024-02-30 00:00:00", 0, kMidnight + 3000, kMidnight},
      // No time in item 6: item 14 when it is within two days of now.
      {"", kNow - 500, kNow, kNow - 500},
      {"garbage", kNow - 500, kNow, kNow - 500},
      {"20:41:05", kNow - 500, kNow, kNow - 500},
      {"", kNow - kDay, kNow, kNow - kDay},
      {"", kNow + 2 * kDay, kNow, kNow + 2 * kDay},
      {"", kNow - 3 * kDay, kNow, std::nullopt},
      {"", 0, kNow, std::nullopt},
      {"", -5, kNow, std::nullopt},
      {"x", 0, kNow, std::nullopt},
      {"20:41:05", 0, kNow, std::nullopt},
      {"           25:00:00", 0, kNow, std::nullopt},
      {"2026-12-09 24:00:00", 0, kNow, std::nullopt},
      {"2026-12-09 23:60:00", 0, kNow, std::nullopt},
      {"2026-12-09 23:00:60", 0, kNow, std::nullopt},
      {"           19:0a:00", 0, kNow, std::nullopt},
      {"2026-12-09 1a:00:00", 0, kNow, std::nullopt},
      {"2026-12-09 10-00-00", 0, kNow, std::nullopt},
      {"\x01\x02\x03 not a time at all", -5, kNow, std::nullopt},
      {"2026-12-09 24:00:00", kNow - 500, kNow, kNow - 500},  // no time: item 14
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FrameUtcMs(c.timeText, c.timeMs, c.now), c.expected) << "'" << c.timeText << "'";
  }
}

TEST(FrameTime, OfASample) {
  SondeSample s;
  s.timeText = "2026-12-09 19:00:52";
  s.timeMs = kNow;
  EXPECT_EQ(FrameUtcMs(s, kNow + 1500), kNow);
  s.timeText = "";
  EXPECT_EQ(FrameUtcMs(s, kNow + 1500), kNow);
  s.timeMs = 0;
  EXPECT_EQ(FrameUtcMs(s, kNow), std::nullopt);
}

}  // namespace
}  // namespace nimbrix
