#include "scan/ppm_estimator.h"

#include <gtest/gtest.h>

#include <vector>

namespace receiver {
namespace {

struct Frame {
  int tx_khz;
  double seen_hz;
};

struct PpmCase {
  const char* name;
  double initial;
  std::vector<Frame> frames;
  double expected_ppm;
};

class PpmEstimates : public testing::TestWithParam<PpmCase> {};

TEST_P(PpmEstimates, MedianOfFrames) {
  const PpmCase& c = GetParam();
  PpmEstimator estimator(c.initial, 5);
  for (const Frame& frame : c.frames) estimator.AddRs41(frame.tx_khz, frame.seen_hz, "S1");
  EXPECT_NEAR(estimator.Ppm(), c.expected_ppm, 0.05);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PpmEstimates,
    testing::Values(PpmCase{"NoFramesKeepsTheOption", 7.5, {}, 7.5},
                    // Seen 4030 Hz low at 403 MHz: the dongle is 10 ppm fast.
                    PpmCase{"OneFrame", 0, {{403000, 402995970}}, 10},
                    PpmCase{"SeenHigh", 0, {{403000, 403004030}}, -10},
                    PpmCase{"OddFrameOutvoted",
                            0,
                            {{403000, 402995970}, {403000, 402995970}, {403000, 403020000}},
                            10},
                    PpmCase{"ImplausibleIgnored", 3, {{403000, 402000000}, {0, 403000000}}, 3},
                    PpmCase{"WindowForgetsOld",
                            0,
                            {{403000, 402990000},
                             {403000, 402990000},
                             {403000, 402990000},
                             {403000, 403000000},
                             {403000, 403000000},
                             {403000, 403000000},
                             {403000, 403000000},
                             {403000, 403000000}},
                            0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PpmEstimator, CorrectedFrequencyUndoesTheError) {
  PpmEstimator estimator(0);
  estimator.AddRs41(403500, 403500000 * (1 - 12e-6), "S2410203");
  EXPECT_EQ(estimator.CorrectedKhz(403500000 * (1 - 12e-6)), 403500);
  EXPECT_EQ(estimator.CorrectedKhz(401200000 * (1 - 12e-6)), 401200);
  EXPECT_EQ(estimator.From(), "S2410203");
}

TEST(PpmEstimator, ChangeAnnouncedOnceAboveThreshold) {
  PpmEstimator estimator(0);
  EXPECT_FALSE(estimator.TakeChange());
  estimator.AddRs41(403000, 403000000 * (1 - 0.5e-6), "S1");
  EXPECT_FALSE(estimator.TakeChange());  // within 1 ppm of what was said
  estimator.AddRs41(403000, 403000000 * (1 - 5e-6), "S1");
  estimator.AddRs41(403000, 403000000 * (1 - 5e-6), "S1");
  std::optional<double> change = estimator.TakeChange();
  ASSERT_TRUE(change);
  EXPECT_NEAR(*change, 5, 0.01);
  EXPECT_FALSE(estimator.TakeChange());
}

}  // namespace
}  // namespace receiver
