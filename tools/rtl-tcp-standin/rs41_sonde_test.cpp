#if STANDIN_HAVE_RS41
#include "rs41_sonde.h"

#include <gtest/gtest.h>

#include <set>

#include "band_scene.h"
#include "dsp/channel.h"
#include "dsp/symbol_slicer.h"
#include "iq/rtl_tcp_protocol.h"
#include "rs41/rs41_decoder.h"
#if STANDIN_HAVE_DFM
#include "dfm_sonde.h"
#endif

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

// The band through the receiver's own chain: the dongle's bytes, the channel at the RS41's
// width, the slicer and the decoder. The channel sits where the peak finder would put it, a
// few hundred Hz off the sonde, as the dongle's error is only known to a bin.
struct Rs41Run {
  long long sent = 0;
  std::set<int> frames;  // frame numbers decoded
  long long rejected = 0;
};

Rs41Run RunRs41Chain(double seconds, double snr_db, double ppm, double residual_hz,
                     bool neighbours) {
  constexpr double kRate = 256000;  // narrow span, same channel: keeps a long run quick
  constexpr float kSigma = 0.03f;
  constexpr double kSondeHz = 404.802e6;
  BandScene scene(kSigma, 7);
  auto sonde = MakeRs41Sonde(kSondeHz, "S2410203", FlightPlan{}, snr_db, kSigma);
  const SondeSource* rs41 = sonde.get();
  scene.AddSource(std::move(sonde));
  if (neighbours) {
#if STANDIN_HAVE_DFM
    scene.AddSource(MakeDfmSonde(kSondeHz - 60e3, "314377", 1, 7, snr_db, kSigma));
#endif
    scene.AddSource(std::make_unique<CwSource>(kSondeHz + 45e3, 0.05f));
  }
  const Tuning tuning{404.8e6, kRate, ppm};
  receiver::ChannelConfig config;
  config.input_rate = kRate;
  config.offset_hz = ApparentOffsetHz(kSondeHz, tuning) + residual_hz;
  config.bandwidth_hz = 13520;  // the receiver's width for an RS41
  receiver::Channel channel(config);
  receiver::SymbolSlicer slicer(channel.ChannelRate(), 4800);
  receiver::Rs41Decoder decoder;

  std::vector<Sample> block(8192);
  std::vector<std::uint8_t> bytes;
  std::vector<std::complex<float>> iq;
  std::vector<float> demod;
  std::vector<std::uint8_t> symbols;
  Rs41Run run;
  const long long blocks = static_cast<long long>(seconds * kRate / block.size());
  for (long long k = 0; k < blocks; ++k) {
    const double t = static_cast<double>(k * static_cast<long long>(block.size())) / kRate;
    std::fill(block.begin(), block.end(), Sample{});
    scene.Render(tuning, t, block);
    QuantiseU8(block, kDongleDc, bytes);
    iq.clear();
    receiver::AppendIqPairs(bytes, iq);
    demod.clear();
    channel.Process(iq, demod);
    symbols.clear();
    slicer.Process(demod, symbols);
    for (const auto& f : decoder.PushSymbols(symbols)) {
      if (f.id == "S2410203") run.frames.insert(static_cast<int>(f.frame));
    }
  }
  run.sent = rs41->FramesSent();
  run.rejected = decoder.Rejected();
  return run;
}

struct Rs41ChainCase {
  std::string name;
  double seconds;
  double snr_db;
  double ppm;
  double residual_hz;
  bool neighbours;
};

class Rs41ChainTest : public ::testing::TestWithParam<Rs41ChainCase> {};

// Every frame the sonde sent, bar the last (still on the air when the run ends), comes out.
TEST_P(Rs41ChainTest, NoFrameIsLost) {
  const auto& c = GetParam();
  const Rs41Run run = RunRs41Chain(c.seconds, c.snr_db, c.ppm, c.residual_hz, c.neighbours);
  ASSERT_GE(run.sent, static_cast<long long>(c.seconds) - 1);
  EXPECT_GE(static_cast<long long>(run.frames.size()), run.sent - 1)
      << "sent " << run.sent << ", decoded " << run.frames.size() << ", rejected " << run.rejected;
}

INSTANTIATE_TEST_SUITE_P(Chain, Rs41ChainTest,
                         ::testing::Values(Rs41ChainCase{"Clean", 6, 30, 0, 0, false},
                                           Rs41ChainCase{"NoisyOffCentre", 10, 15, 28, 450, true},
                                           Rs41ChainCase{"SlowTwoMinutesNoisy", 120, 15, 28, -380,
                                                         true}),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace standin
#endif
