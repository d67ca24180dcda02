#if STANDIN_HAVE_RS41
#include "rs41_sonde.h"

#include <gtest/gtest.h>

#include "rs41/rs41_decoder.h"

namespace standin {
namespace {

std::string Member(const receiver::DecodedFrame& frame, const std::string& name) {
  for (const auto& m : frame.members) {
    if (m.name == name) return m.value;
  }
  return {};
}

struct Rs41FlightCase {
  std::string serial;
  double frequency_hz;
  long frame;
  double t;
};

class Rs41SondeTest : public ::testing::TestWithParam<Rs41FlightCase> {};

TEST_P(Rs41SondeTest, TheReceiversDecoderReadsTheFlight) {
  const auto& c = GetParam();
  const FlightPlan plan;
  const auto symbols = Rs41FrameSymbols(c.serial, plan, c.frequency_hz, c.frame, c.t);
  ASSERT_GT(symbols.size(), static_cast<std::size_t>(kRs41PreambleBits));
  for (int k = 0; k < kRs41PreambleBits; ++k) ASSERT_EQ(symbols[k], k & 1);
  receiver::Rs41Decoder decoder;
  std::vector<std::uint8_t> twice(symbols);
  twice.insert(twice.end(), symbols.begin(), symbols.end());  // the second frame flushes the first
  const auto frames = decoder.PushSymbols(twice);
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(frames[0].id, c.serial);
  EXPECT_EQ(frames[0].frame, c.frame);
  const double alt = std::stod(Member(frames[0], "alt"));
  EXPECT_NEAR(alt, FlightAt(plan, c.t).alt_m, 1.0);
}

INSTANTIATE_TEST_SUITE_P(Flights, Rs41SondeTest,
                         ::testing::Values(Rs41FlightCase{"S1234567", 402.7e6, 1000, 0},
                                           Rs41FlightCase{"T0520113", 405.1e6, 4321, 600}),
                         [](const auto& info) { return info.param.serial; });

}  // namespace
}  // namespace standin
#endif
