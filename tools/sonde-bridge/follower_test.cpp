#include "follower.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace bridge {
namespace {

// One frame: when it arrives (virtual ms), whose it is, and what the follower must make of it.
struct Step {
  std::int64_t atMs;
  const char* id;
  bool taken;
  const char* movedFrom = nullptr;  // "" for the first sonde
};

void Play(SondeFollower& follower, const std::vector<Step>& steps) {
  for (const Step& s : steps) {
    SCOPED_TRACE(std::string(s.id) + " at " + std::to_string(s.atMs) + " ms");
    const SondeFollower::Decision d = follower.Consider(s.id, s.atMs);
    EXPECT_EQ(d.take, s.taken);
    if (s.movedFrom) {
      ASSERT_TRUE(d.movedFrom.has_value());
      EXPECT_EQ(*d.movedFrom, s.movedFrom);
    } else {
      EXPECT_FALSE(d.movedFrom.has_value());
    }
  }
}

TEST(SondeFollowerTest, TwoInterleavedSondesNeverAlternate) {
  SondeFollower f("", 30000);
  Play(f, {
              {0, "DFM-314377", true, ""},  // the first sonde accepted is followed
              {500, "DFM-999999", false},
              {1000, "DFM-314377", true},
              {1500, "DFM-999999", false},
              {2000, "DFM-314377", true},
              // The followed sonde stops; the other one keeps sending.
              {2500, "DFM-999999", false},
              {31999, "DFM-999999", false},  // 29.999 s after the followed one's last frame
              {32000, "DFM-999999", true, "DFM-314377"},
              // Back again: now it is the other one, until the new one is silent for 30 s.
              {32500, "DFM-314377", false},
              {33000, "DFM-999999", true},
              {62999, "DFM-314377", false},
              {63000, "DFM-314377", true, "DFM-999999"},
          });
  EXPECT_EQ(f.Followed(), "DFM-314377");
}

TEST(SondeFollowerTest, OnlyAcceptedFramesKeepTheFollowedSonde) {
  // Frames that were skipped never reach the follower: after 30 s of those, the move comes.
  SondeFollower f("", 30000);
  Play(f, {
              {0, "S1", true, ""},
              {29000, "S2", false},
              {30000, "S2", true, "S1"},
          });
}

TEST(SondeFollowerTest, ASerialPinsOneSondeForGood) {
  SondeFollower f("S2", 30000);
  Play(f, {
              {0, "S1", false},
              {1000, "S2", true},
              {2000, "S1", false},
              {100000000, "S1", false},
              {100000001, "S2", true},
          });
}

TEST(SondeFollowerTest, TheTimeToWaitIsTheOptionsAndANewSondeWaitsItFromTheLastFrame) {
  SondeFollower f("", 3000);
  Play(f, {
              {10, "A", true, ""},
              {3009, "B", false},
              {3010, "B", true, "A"},
              {3011, "C", false},
              {6010, "C", true, "B"},
          });
}

}  // namespace
}  // namespace bridge
