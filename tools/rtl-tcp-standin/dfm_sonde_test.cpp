#if STANDIN_HAVE_DFM
#include "dfm_sonde.h"

#include <gtest/gtest.h>

#include "dfm/dfm_decoder.h"

namespace standin {
namespace {

std::string Member(const receiver::DecodedFrame& frame, const std::string& name) {
  for (const auto& m : frame.members) {
    if (m.name == name) return m.value;
  }
  return {};
}

struct DfmFlightCase {
  std::string name;
  std::uint32_t serial;
  double start_t;
};

class DfmSondeTest : public ::testing::TestWithParam<DfmFlightCase> {};

TEST_P(DfmSondeTest, TheReceiversDecoderReadsTheFlight) {
  const auto& c = GetParam();
  const FlightPlan plan;
  receiver::DfmDecoder decoder;
  std::vector<receiver::DecodedFrame> frames;
  const long long first = static_cast<long long>(c.start_t / kDfmFramePeriodS);
  for (long long k = first; k < first + 12 * kDfmFramesPerCycle; ++k) {
    const auto chips =
        DfmFrameSymbols(c.serial, plan, k, static_cast<double>(k) * kDfmFramePeriodS);
    for (auto& f : decoder.PushSymbols(chips)) frames.push_back(std::move(f));
  }
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(frames.back().id, "DFM-" + std::to_string(c.serial));
  const double alt = std::stod(Member(frames.back(), "alt"));
  const double last_cycle_t = static_cast<double>((first + 11 * kDfmFramesPerCycle) /
                                                  kDfmFramesPerCycle * kDfmFramesPerCycle) *
                              kDfmFramePeriodS;
  EXPECT_NEAR(alt, FlightAt(plan, last_cycle_t).alt_m, 60);
}

INSTANTIATE_TEST_SUITE_P(Flights, DfmSondeTest,
                         ::testing::Values(DfmFlightCase{"AtLaunch", 314377, 0},
                                           DfmFlightCase{"LaterLongSerial", 21071356, 1200}),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace standin
#endif
