#if STANDIN_HAVE_RS41
// The band as the receiver gets it, through the dongle's bytes: the simulated RS41 must come
// out of the receiver's own channel, slicer and decoder.
#include <gtest/gtest.h>

#include "band_scene.h"
#include "dsp/channel.h"
#include "dsp/symbol_slicer.h"
#include "iq/rtl_tcp_protocol.h"
#include "rs41/rs41_decoder.h"
#include "rs41_sonde.h"

namespace standin {
namespace {

struct DecodeCase {
  std::string name;
  double sonde_hz;
  double ppm;
};

class BandDecodeTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(BandDecodeTest, TheReceiverDecodesTheSimulatedRs41) {
  const auto& c = GetParam();
  constexpr double kRate = 1024000;  // half the usual rate keeps the test quick
  constexpr float kSigma = 0.04f;
  BandScene scene(kSigma, 11);
  scene.AddSource(MakeRs41Sonde(c.sonde_hz, "P3330123", FlightPlan{}, 25, kSigma));
  scene.AddSource(std::make_unique<CwSource>(c.sonde_hz + 40e3, 0.1f));  // a neighbour
  const Tuning tuning{403e6, kRate, c.ppm};

  receiver::ChannelConfig config;
  config.input_rate = kRate;
  config.offset_hz = ApparentOffsetHz(c.sonde_hz, tuning);
  receiver::Channel channel(config);
  receiver::SymbolSlicer slicer(channel.ChannelRate(), 4800);
  receiver::Rs41Decoder decoder;

  std::vector<Sample> block(16384);
  std::vector<std::uint8_t> bytes;
  std::vector<std::complex<float>> iq;
  std::vector<float> demod;
  std::vector<std::uint8_t> symbols;
  std::vector<receiver::DecodedFrame> frames;
  double t = 0;
  for (int k = 0; k < 140 && frames.empty(); ++k) {  // up to 2.2 s
    scene.Render(tuning, t, block);
    t += static_cast<double>(block.size()) / kRate;
    QuantiseU8(block, kDongleDc, bytes);
    iq.clear();
    receiver::AppendIqPairs(bytes, iq);
    demod.clear();
    channel.Process(iq, demod);
    symbols.clear();
    slicer.Process(demod, symbols);
    for (auto& f : decoder.PushSymbols(symbols)) frames.push_back(std::move(f));
  }
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(frames[0].id, "P3330123");
}

INSTANTIATE_TEST_SUITE_P(Bands, BandDecodeTest,
                         ::testing::Values(DecodeCase{"CrystalOff", 402.8e6, 20}),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace standin
#endif
