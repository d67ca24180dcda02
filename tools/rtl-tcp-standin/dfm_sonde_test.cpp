#if STANDIN_HAVE_DFM
#include "dfm_sonde.h"

#include <gtest/gtest.h>

#include <map>

#include "band_scene.h"
#include "dfm/dfm_decoder.h"
#include "dsp/channel.h"
#include "dsp/kind_detector.h"
#include "dsp/symbol_slicer.h"
#include "iq/rtl_tcp_protocol.h"
#if STANDIN_HAVE_RS41
#include "rs41/rs41_decoder.h"
#include "rs41_sonde.h"
#endif

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

// One listener of the receiver's chain: a channel where the peak was seen, the kind's
// slicer and decoder.
struct Listener {
  Listener(double rate, double offset_hz, receiver::SondeKind kind) : kind(kind) {
    const receiver::KindSignal signal = receiver::SignalOf(kind);
    receiver::ChannelConfig config;
    config.input_rate = rate;
    config.offset_hz = offset_hz;
    config.bandwidth_hz = 2 * (signal.deviation_hz + signal.symbol_rate / 2) * 1.2 + 2000;
    channel = std::make_unique<receiver::Channel>(config);
    slicer = std::make_unique<receiver::SymbolSlicer>(channel->ChannelRate(), signal.symbol_rate);
    if (kind == receiver::SondeKind::kDfm) {
      decoder = std::make_unique<receiver::DfmDecoder>();
#if STANDIN_HAVE_RS41
    } else {
      decoder = std::make_unique<receiver::Rs41Decoder>();
#endif
    }
  }
  void Process(std::span<const std::complex<float>> iq) {
    demod.clear();
    channel->Process(iq, demod);
    symbols.clear();
    slicer->Process(demod, symbols);
    if (!decoder) return;
    for (auto& f : decoder->PushSymbols(symbols)) frames.push_back(std::move(f));
  }
  receiver::SondeKind kind;
  std::unique_ptr<receiver::Channel> channel;
  std::unique_ptr<receiver::SymbolSlicer> slicer;
  std::unique_ptr<receiver::FrameDecoder> decoder;
  std::vector<float> demod;
  std::vector<std::uint8_t> symbols;
  std::vector<receiver::DecodedFrame> frames;
};

// The band as the dongle's bytes, `seconds` of it, through every listener.
void RunBand(BandScene& scene, const Tuning& tuning, double seconds,
             std::vector<std::unique_ptr<Listener>>& listeners) {
  std::vector<Sample> block(65536);
  std::vector<std::uint8_t> bytes;
  std::vector<std::complex<float>> iq;
  const long long blocks = static_cast<long long>(seconds * tuning.sample_rate / block.size());
  for (long long k = 0; k < blocks; ++k) {
    const double t =
        static_cast<double>(k * static_cast<long long>(block.size())) / tuning.sample_rate;
    std::fill(block.begin(), block.end(), Sample{});
    scene.Render(tuning, t, block);
    QuantiseU8(block, kDongleDc, bytes);
    iq.clear();
    receiver::AppendIqPairs(bytes, iq);
    for (auto& listener : listeners) listener->Process(iq);
  }
}

constexpr double kWideRate = 2048000;
constexpr float kSigma = 0.04f;  // the standin's own noise

// Two DFMs 20 kHz apart, one of each polarity, the dongle 20 ppm off, each channel a few
// hundred Hz off its sonde as a peak's bin leaves it: each decodes whole, under its own id.
TEST(DfmChainTest, SlowTwoDfmsOfEitherPolarityEachUnderItsOwnId) {
  BandScene scene(kSigma, 3);
  const double a_hz = 402.30e6, b_hz = 402.32e6;
  scene.AddSource(MakeDfmSonde(a_hz, "314377", 0, 3, 15, kSigma, false));
  scene.AddSource(MakeDfmSonde(b_hz, "21071356", 1, 3, 15, kSigma, true));
  const Tuning tuning{402.5e6, kWideRate, 20};
  std::vector<std::unique_ptr<Listener>> listeners;
  listeners.push_back(std::make_unique<Listener>(kWideRate, ApparentOffsetHz(a_hz, tuning) + 350,
                                                 receiver::SondeKind::kDfm));
  listeners.push_back(std::make_unique<Listener>(kWideRate, ApparentOffsetHz(b_hz, tuning) - 420,
                                                 receiver::SondeKind::kDfm));
  RunBand(scene, tuning, 6, listeners);

  const std::string ids[] = {"DFM-314377", "DFM-21071356"};
  for (int k = 0; k < 2; ++k) {
    const auto& frames = listeners[static_cast<std::size_t>(k)]->frames;
    // The serial takes two configuration cycles to piece together; then a frame a data cycle.
    EXPECT_GE(frames.size(), 3u) << ids[k] << ", rejected "
                                 << listeners[static_cast<std::size_t>(k)]->decoder->Rejected();
    for (const auto& f : frames) {
      EXPECT_EQ(f.id, ids[k]);
      EXPECT_FALSE(Member(f, "lat").empty());
    }
  }
}

#if STANDIN_HAVE_RS41
// An RS41 and a DFM in the same span, with a carrier between them: both decode.
TEST(DfmChainTest, SlowAnRs41AndADfmInOneSpanBothDecode) {
  BandScene scene(kSigma, 5);
  const double rs41_hz = 404.802e6, dfm_hz = 404.300e6;
  scene.AddSource(MakeRs41Sonde(rs41_hz, "S2410203", FlightPlan{}, 15, kSigma));
  scene.AddSource(MakeDfmSonde(dfm_hz, "314377", 1, 5, 15, kSigma));
  scene.AddSource(std::make_unique<CwSource>(404.55e6, 0.05f));
  const Tuning tuning{404.55e6, kWideRate, 28};
  std::vector<std::unique_ptr<Listener>> listeners;
  listeners.push_back(std::make_unique<Listener>(kWideRate, ApparentOffsetHz(rs41_hz, tuning) - 300,
                                                 receiver::SondeKind::kRs41));
  listeners.push_back(std::make_unique<Listener>(kWideRate, ApparentOffsetHz(dfm_hz, tuning) + 300,
                                                 receiver::SondeKind::kDfm));
  RunBand(scene, tuning, 6, listeners);
  EXPECT_GE(listeners[0]->frames.size(), 4u) << "rejected " << listeners[0]->decoder->Rejected();
  for (const auto& f : listeners[0]->frames) EXPECT_EQ(f.id, "S2410203");
  EXPECT_GE(listeners[1]->frames.size(), 3u) << "rejected " << listeners[1]->decoder->Rejected();
  for (const auto& f : listeners[1]->frames) EXPECT_EQ(f.id, "DFM-314377");
}
#endif

}  // namespace
}  // namespace standin
#endif
