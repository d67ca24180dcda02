#include "scan/band_plan.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace receiver {
namespace {

struct BandCase {
  const char* name;
  double low_hz, high_hz, rate;
};

class BandPlanCoverage : public testing::TestWithParam<BandCase> {};

// Every frequency of the band, in 1 kHz steps, is in the clear part of some span.
TEST_P(BandPlanCoverage, EveryFrequencyIsClearSomewhere) {
  const BandCase& c = GetParam();
  BandPlan plan({c.low_hz, c.high_hz, c.rate, 0.78, 10000});
  ASSERT_GE(plan.Spans().size(), 2u);
  const double low = std::min(c.low_hz, c.high_hz);
  const double high = std::max(c.low_hz, c.high_hz);
  for (double hz = low + 1000; hz < high - 1000; hz += 1000) {
    ASSERT_TRUE(plan.BestSpanFor(hz).has_value()) << hz;
  }
  for (const Span& span : plan.Spans()) {
    EXPECT_LE(span.high_hz - span.low_hz, c.rate * 0.78 + 1);
    EXPECT_GE(span.low_hz, low - c.rate / 2);
    EXPECT_LE(span.high_hz, high + c.rate / 2);
  }
}

INSTANTIATE_TEST_SUITE_P(Bands, BandPlanCoverage,
                         testing::Values(BandCase{"Full", 400e6, 406e6, 2048000},
                                         BandCase{"Narrow", 403e6, 403.5e6, 2048000},
                                         BandCase{"OneSpanWide", 402e6, 403.6e6, 2048000},
                                         BandCase{"SlowDongle", 400e6, 406e6, 1024000},
                                         BandCase{"Upside", 406e6, 400e6, 2048000}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BandPlan, FullBandInAFewSpans) {
  BandPlan plan({});
  EXPECT_GE(plan.Spans().size(), 6u);
  EXPECT_LE(plan.Spans().size(), 9u);
}

TEST(BandPlan, DcAndEdgesAreBlind) {
  BandPlan plan({});
  const Span span = plan.Spans()[2];
  struct {
    double hz;
    bool clear;
  } cases[] = {
      {span.center_hz, false},    {span.center_hz + 5000, false}, {span.center_hz + 50000, true},
      {span.low_hz + 1000, true}, {span.low_hz - 1000, false},    {span.high_hz + 1, false},
  };
  for (const auto& c : cases) EXPECT_EQ(plan.Covers(2, c.hz), c.clear) << c.hz;
}

TEST(BandPlan, BestSpanKeepsAwayFromDc) {
  BandPlan plan({});
  const Span& span = plan.Spans()[3];
  const std::optional<std::size_t> best = plan.BestSpanFor(span.center_hz + 1000);
  ASSERT_TRUE(best.has_value());
  EXPECT_NE(*best, 3u);
  EXPECT_FALSE(plan.Covers(99, span.center_hz + 50000));
}

}  // namespace
}  // namespace receiver
