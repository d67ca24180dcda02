#include "web/status_snapshot.h"

#include <gtest/gtest.h>

namespace nimbrix {
namespace {

SondeSample At(const char* serial, double lat, double lon, double alt, std::int32_t frame) {
  SondeSample s;
  s.serial = serial;
  s.latitude = lat;
  s.longitude = lon;
  s.altitude = alt;
  s.frame = frame;
  return s;
}

TEST(StatusCollectorTest, TheTrackFollowsOneSondeAndKeepsTheLatestPoints) {
  StatusCollector c("N0CALL", "v", 0);
  for (int i = 0; i < 500; ++i) c.Sample(At("A1", 48 + i * 1e-4, 11, 500 + i, i), true, i * 1000);
  const auto& track = c.snapshot().track;
  ASSERT_EQ(track.size(), StatusCollector::kTrackPoints);
  EXPECT_EQ(track.front().altitude, 500 + 500 - StatusCollector::kTrackPoints);
  EXPECT_EQ(track.back().altitude, 999);
  EXPECT_EQ(track.back().utcMs, 499000);

  c.Sample(At("B2", 50, 10, 100, 1), true, 600000);  // another sonde: a track of its own
  ASSERT_EQ(c.snapshot().track.size(), 1u);
  EXPECT_EQ(c.snapshot().frame->serial, "B2");
}

TEST(StatusCollectorTest, WhatMakesAFrameNewAndWhatKeepsTheOld) {
  const struct {
    const char* what;
    SondeSample next;
    bool answered;
    bool newFrame;
    std::size_t track;
  } cases[] = {
      {"the same values", At("A1", 48, 11, 500, 7), true, false, 1},
      {"a new frame number at the same place", At("A1", 48, 11, 500, 8), true, true, 1},
      {"a new position", At("A1", 48.001, 11, 500, 7), true, true, 2},
      {"no position yet", At("A1", 0, 0, 0, 8), true, true, 1},
      {"no answer", At("", 0, 0, 0, 0), false, false, 1},
      {"an empty serial", At("", 48.5, 11, 500, 9), true, false, 1},
  };
  for (const auto& c : cases) {
    StatusCollector col("N0CALL", "v", 0);
    col.Sample(At("A1", 48, 11, 500, 7), true, 1000);
    col.Sample(c.next, c.answered, 5000);
    EXPECT_EQ(col.snapshot().frameUtcMs, c.newFrame ? 5000 : 1000) << c.what;
    EXPECT_EQ(col.snapshot().track.size(), c.track) << c.what;
    EXPECT_EQ(col.snapshot().decoderAnswers, c.answered) << c.what;
    EXPECT_EQ(col.snapshot().nowUtcMs, 5000) << c.what;
  }
}

TEST(StatusCollectorTest, TheLastTwentyLinesAndRecordsWithoutLineEnds) {
  StatusCollector c("N0CALL", "v", 0);
  for (int i = 0; i < 25; ++i) {
    c.LineSent("line " + std::to_string(i) + "\r\n", i);
    c.Record("SEND Error 57 " + std::to_string(i) + "\r\n", i);
  }
  const auto& s = c.snapshot();
  ASSERT_EQ(s.linesSent.size(), 20u);
  EXPECT_EQ(s.linesSent.front().text, "line 5");
  EXPECT_EQ(s.linesSent.back().text, "line 24");
  ASSERT_EQ(s.records.size(), 20u);
  EXPECT_EQ(s.records.back().text, "SEND Error 57 24");
}

}  // namespace
}  // namespace nimbrix
