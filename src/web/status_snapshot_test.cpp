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

HeardSonde Listed(const char* serial, double lat, double alt, std::int32_t frame,
                  std::uint32_t ageMs) {
  return HeardSonde{At(serial, lat, 11, alt, frame), ageMs};
}

const ListedSonde* Find(const StationSnapshot& s, const std::string& serial) {
  for (const ListedSonde& h : s.heard) {
    if (h.frame.serial == serial) return &h;
  }
  return nullptr;
}

TEST(StatusCollectorTest, EachListedSondeKeepsItsOwnTrack) {
  StatusCollector c("N0CALL", "v", 0);
  for (int i = 0; i < 5; ++i) {
    c.Heard(
        {Listed("A1", 48 + i * 1e-3, 500 + i, i, 200), Listed("B2", 50 - i * 1e-3, 900 - i, i, 700),
         Listed("C3", 47, 300, 1, 0)},  // C3 stands still
        10'000 + i * 1000);
  }
  const auto& s = c.snapshot();
  EXPECT_TRUE(s.listed);
  ASSERT_EQ(s.heard.size(), 3u);
  EXPECT_EQ(s.heard[0].frame.serial, "A1");
  EXPECT_EQ(s.heard[1].frame.serial, "B2");
  EXPECT_EQ(s.heard[2].frame.serial, "C3");
  const ListedSonde& a = s.heard[0];
  ASSERT_EQ(a.track.size(), 5u);
  for (const TrackPoint& p : a.track) EXPECT_GE(p.altitude, 500);
  EXPECT_EQ(a.track.back().altitude, 504);
  EXPECT_EQ(a.track.back().utcMs, 14'000 - 200);  // when the decoder heard it
  const ListedSonde& b = s.heard[1];
  ASSERT_EQ(b.track.size(), 5u);
  for (const TrackPoint& p : b.track) EXPECT_LE(p.altitude, 900);
  EXPECT_EQ(b.heardUtcMs, 14'000 - 700);
  EXPECT_EQ(s.heard[2].track.size(), 1u);
  // The followed sonde's own track is the cycle's, apart from the list's.
  EXPECT_TRUE(s.track.empty());
}

TEST(StatusCollectorTest, TheSameFrameListedAgainOnlyGrowsOlder) {
  StatusCollector c("N0CALL", "v", 0);
  c.Heard({Listed("A1", 48, 500, 7, 300)}, 10'000);
  c.Heard({Listed("A1", 48, 500, 7, 1800)}, 11'500);  // the decoder's clock a little off
  const auto& s = c.snapshot();
  EXPECT_EQ(s.heard[0].heardUtcMs, 9'700);
  EXPECT_EQ(s.heard[0].track.size(), 1u);
  EXPECT_EQ(s.nowUtcMs, 11'500);
}

TEST(StatusCollectorTest, ASondeThatFallsSilentDropsOutAfterTenMinutes) {
  StatusCollector c("N0CALL", "v", 0);
  const std::int64_t t0 = 1'000'000;
  c.Heard({Listed("A1", 48, 500, 1, 0), Listed("B2", 49, 800, 1, 0)}, t0);
  // B2 goes on; A1 is not listed any more.
  for (int i = 1; i <= 9; ++i) c.Heard({Listed("B2", 49, 800 + i, 1 + i, 0)}, t0 + i * 60'000);
  ASSERT_NE(Find(c.snapshot(), "A1"), nullptr);
  c.Moment(true, t0 + StatusCollector::kSilentMs);
  ASSERT_NE(Find(c.snapshot(), "A1"), nullptr) << "still within ten minutes";
  c.Sample(At("B2", 49, 11, 809, 10), true, t0 + StatusCollector::kSilentMs + 1000);
  EXPECT_EQ(Find(c.snapshot(), "A1"), nullptr);
  EXPECT_NE(Find(c.snapshot(), "B2"), nullptr);
}

TEST(StatusCollectorTest, ADecoderListingTooManyKeepsTheFreshestInItsOrder) {
  const std::size_t n = StatusCollector::kHeardSondes + 8;
  const struct {
    const char* what;
    bool freshestFirst;
    std::size_t firstKept;
  } cases[] = {{"the freshest first", true, 0}, {"the freshest last", false, 8}};
  for (const auto& c : cases) {
    StatusCollector col("N0CALL", "v", 0);
    std::vector<HeardSonde> many;
    for (std::size_t i = 0; i < n; ++i) {
      const std::string serial = "X" + std::to_string(i);
      const std::size_t age = c.freshestFirst ? i : n - i;
      many.push_back(
          HeardSonde{At(serial.c_str(), 48, 11, 500, 1), static_cast<std::uint32_t>(age)});
    }
    col.Heard(many, 100'000);
    const auto& heard = col.snapshot().heard;
    ASSERT_EQ(heard.size(), StatusCollector::kHeardSondes) << c.what;
    for (std::size_t i = 0; i < heard.size(); ++i) {
      EXPECT_EQ(heard[i].frame.serial, "X" + std::to_string(c.firstKept + i)) << c.what;
    }
  }
}

TEST(StatusCollectorTest, ATrackPerListedSondeIsBounded) {
  StatusCollector c("N0CALL", "v", 0);
  for (int i = 0; i < 400; ++i) c.Heard({Listed("A1", 48 + i * 1e-4, 500 + i, i, 0)}, i * 1000);
  const auto& track = c.snapshot().heard[0].track;
  ASSERT_EQ(track.size(), StatusCollector::kTrackPoints);
  EXPECT_EQ(track.back().altitude, 899);
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
