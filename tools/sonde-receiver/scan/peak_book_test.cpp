#include "scan/peak_book.h"

#include <gtest/gtest.h>

namespace receiver {
namespace {

constexpr double kRate = 1000;  // samples per second: times below read as milliseconds
constexpr long long kSecond = 1000;

PeakBookConfig Config() {
  PeakBookConfig config;
  config.sample_rate = kRate;
  config.ignored_hz = {405300000};
  return config;
}

TEST(PeakBook, NearbyPeaksMerge) {
  PeakBook book(Config());
  struct {
    double hz;
    bool same_as_first;
  } cases[] = {{403500000, true},
               {403503000, true},
               {403496000, true},
               {403506000, false},
               {403400000, false}};
  const int first = book.Observe(403500000, 10, 0);
  for (const auto& c : cases) {
    PeakBook copy = book;
    EXPECT_EQ(copy.Observe(c.hz, 12, 1) == first, c.same_as_first) << c.hz;
  }
}

TEST(PeakBook, CandidatesStrongestFirstAndIgnoredNever) {
  PeakBook book(Config());
  const int weak = book.Observe(401000000, 8, 0);
  const int strong = book.Observe(402000000, 20, 0);
  const int ignored = book.Observe(405302000, 30, 0);
  EXPECT_EQ(book.Find(ignored)->state, PeakState::kIgnored);
  EXPECT_EQ(book.Candidates(0), (std::vector<int>{strong, weak}));
  book.StartTry(ignored, 0);
  EXPECT_EQ(book.Find(ignored)->state, PeakState::kIgnored);
}

// Each failed try doubles the back-off, up to half an hour; a frame resets it.
TEST(PeakBook, BackoffGrowsAndCaps) {
  PeakBook book(Config());
  const int id = book.Observe(403100000, 9, 0);
  const long long expected_minutes[] = {1, 2, 4, 8, 16, 30, 30};
  long long now = 0;
  for (long long minutes : expected_minutes) {
    ASSERT_TRUE(book.Eligible(id, now));
    book.StartTry(id, now);
    EXPECT_FALSE(book.Eligible(id, now));
    const long long backoff = book.PutAside(id, now);
    EXPECT_EQ(backoff, minutes * 60 * kSecond);
    EXPECT_FALSE(book.Eligible(id, now + backoff - 1));
    now += backoff;
  }
  book.StartTry(id, now);
  book.FrameSeen(id, now);
  EXPECT_EQ(book.Find(id)->state, PeakState::kDecoding);
  EXPECT_EQ(book.PutAside(id, now), 60 * kSecond);
  EXPECT_EQ(book.PutAsideCount(), 8);
}

TEST(PeakBook, ReleasedSondeIsNewAgain) {
  PeakBook book(Config());
  const int id = book.Observe(403100000, 9, 0);
  book.StartTry(id, 0);
  book.FrameSeen(id, 10);
  book.Release(id);
  EXPECT_EQ(book.Find(id)->state, PeakState::kNew);
  EXPECT_TRUE(book.Eligible(id, 11));
}

TEST(PeakBook, ForgetsOnlyIdleEntries) {
  PeakBook book(Config());
  const int idle = book.Observe(401000000, 9, 0);
  const int decoding = book.Observe(402000000, 9, 0);
  book.StartTry(decoding, 0);
  book.FrameSeen(decoding, 0);
  book.Forget(3600 * kSecond);
  EXPECT_EQ(book.Find(idle), nullptr);
  EXPECT_NE(book.Find(decoding), nullptr);
}

TEST(PeakBook, UnknownIdsAreHarmless) {
  PeakBook book(Config());
  book.StartTry(42, 0);
  book.FrameSeen(42, 0);
  book.Release(42);
  book.Move(42, 1);
  EXPECT_EQ(book.PutAside(42, 0), 0);
  EXPECT_FALSE(book.Eligible(42, 0));
}

}  // namespace
}  // namespace receiver
