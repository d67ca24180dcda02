#include "quiet_watch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace bridge {
namespace {

// What happens at a virtual time: a frame accepted, or a line skipped and the notice expected.
struct Event {
  std::int64_t atMs;
  std::optional<SkipReason> skipped;  // nullopt: a frame accepted
  const char* notice = nullptr;
};

void Play(const std::vector<Event>& events) {
  QuietWatch watch;
  for (const Event& e : events) {
    SCOPED_TRACE(std::to_string(e.atMs) + " ms");
    if (!e.skipped) {
      watch.Accepted(e.atMs);
      continue;
    }
    const std::optional<std::string> notice = watch.Skipped(*e.skipped, e.atMs);
    if (e.notice) {
      EXPECT_EQ(notice.value_or("<none>"), e.notice);
    } else {
      EXPECT_FALSE(notice.has_value()) << *notice;
    }
  }
}

using enum SkipReason;

TEST(QuietWatchTest, ThirtySecondsOfLinesWithoutAFrameAreToldOnce) {
  // A decoder that prints only text: counted from its first line.
  Play({
      {5000, kNotJson},
      {20000, kNotJson},
      {34999, kIncompleteSerial},
      {35000, kNotJson,
       "no frame accepted for 30 s: the 4 lines since were skipped (3 not JSON, 1 incomplete "
       "serial)"},
      {36000, kNotJson},
      {500000, kNotJson},
  });
}

TEST(QuietWatchTest, AFrameAcceptedStartsTheCountAgainAndAllowsAnotherNotice) {
  Play({
      {0, std::nullopt},
      {10000, kOtherSonde},
      {29999, kOtherSonde},
      {30000, kOtherSonde,
       "no frame accepted for 30 s: the 3 lines since were skipped (3 another sonde)"},
      {31000, std::nullopt},
      {40000, kEncrypted},
      {60999, kEncrypted},
      {61000, kEncrypted,
       "no frame accepted for 30 s: the 3 lines since were skipped (3 encrypted)"},
      {62000, kEncrypted},
  });
}

TEST(QuietWatchTest, ALineAfterALongSilenceSaysHowLongItHasBeen) {
  Play({
      {0, std::nullopt},
      {3600000, kNotJson,
       "no frame accepted for 3600 s: the 1 line since was skipped (1 not JSON)"},
  });
}

TEST(QuietWatchTest, FramesKeepItQuiet) {
  std::vector<Event> events;
  for (std::int64_t t = 0; t < 120000; t += 1000) {
    events.push_back({t, std::nullopt});
    events.push_back({t + 500, kNotJson});  // the decoders' text lines between the frames
  }
  Play(events);
}

}  // namespace
}  // namespace bridge
