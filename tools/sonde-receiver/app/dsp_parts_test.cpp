// The DSP parts as the engine drives them: a channel opened on an RS41's peak, its kind told,
// its frames decoded, and moved after the sonde as the engine follows a drift.

#include <gtest/gtest.h>

#if NIMBRIX_RECEIVER_FULL

#include <cmath>
#include <random>
#include <set>

#include "app/dsp_parts.h"
#include "dsp/fsk_modulator.h"
#include "rs41/rs41_encoder.h"

namespace receiver {
namespace {

constexpr double kRate = 384000;
constexpr double kSondeOffsetHz = 60000;

std::vector<std::uint8_t> FrameSymbols(long frame) {
  Rs41Telemetry t;
  t.serial = "S2410203";
  t.frame = frame;
  t.gps_week = 2400;
  t.gps_tow_s = 300000 + frame;
  t.lat_deg = 48.1;
  t.lon_deg = 11.5;
  t.alt_m = 1200;
  t.sats = 9;
  t.batt_v = 2.9;
  t.tx_frequency_khz = 403500;
  std::vector<std::uint8_t> symbols;
  for (int k = 0; k < 64; ++k) symbols.push_back(static_cast<std::uint8_t>(k & 1));
  const auto air = Rs41AirSymbols(BuildRs41AirFrame(t));
  symbols.insert(symbols.end(), air.begin(), air.end());
  return symbols;
}

struct DriftCase {
  std::string name;
  double hop_hz;  // the sonde's jump half a second before each frame from 4 s on
  double lead_s;  // how long before a frame's start the channel follows it
};

class DspPartsDriftTest : public ::testing::TestWithParam<DriftCase> {};

// A channel moved onto a drifting sonde just before its frame still decodes that frame: the
// slicer's mean moves with the channel instead of lagging by the whole move.
TEST_P(DspPartsDriftTest, FramesRightAfterARetuneStillDecode) {
  const DriftCase& c = GetParam();
  DspPartsConfig config;
  config.sample_rate = kRate;
  std::unique_ptr<ReceiverParts> parts = MakeDspParts(config);
  ASSERT_TRUE(parts);
  std::unique_ptr<SondeChannel> channel = parts->OpenChannel(kSondeOffsetHz, kRate, 403.5e6);

  FskConfig fsk;
  fsk.sample_rate = kRate;
  fsk.symbol_rate = 4800;
  fsk.deviation_hz = 2400;
  fsk.gaussian_bt = 0.5;
  fsk.offset_hz = kSondeOffsetHz;
  FskModulator sonde(fsk);
  // 15 dB over the noise in 10 kHz.
  const float sigma = static_cast<float>(std::sqrt(std::pow(10.0, -1.5) * kRate / 10000 / 2));
  std::mt19937 random(5);
  std::normal_distribution<float> noise(0.0f, sigma);

  constexpr int kBlock = 3840;  // 10 ms
  constexpr int kBlocksPerSecond = static_cast<int>(kRate) / kBlock;
  const int lead_blocks = static_cast<int>(std::lround(c.lead_s * kBlocksPerSecond));
  std::vector<std::complex<float>> block(kBlock);
  std::set<long long> decoded;
  double sonde_offset = kSondeOffsetHz;
  int hops = 0;
  for (int b = 0; b < 9 * kBlocksPerSecond; ++b) {
    const int in_second = b % kBlocksPerSecond;
    const int second = b / kBlocksPerSecond;
    if (in_second == 0) sonde.Queue(FrameSymbols(100 + second));
    if (second >= 4 && in_second == kBlocksPerSecond / 2) {
      sonde_offset += (hops++ % 2 == 0) ? c.hop_hz : -c.hop_hz;
      sonde.SetOffset(sonde_offset);
    }
    if (second >= 4 && in_second == kBlocksPerSecond - lead_blocks) {
      channel->Retune(channel->OffsetHz() + channel->MeanHz());  // as the engine follows
    }
    for (auto& s : block) s = {noise(random), noise(random)};
    sonde.Generate(block);
    for (const DecodedFrame& frame : channel->Process(block).frames) {
      EXPECT_EQ(frame.id, "S2410203");
      decoded.insert(frame.frame);
    }
  }
  // The frames after the moves began: 105 to 107 (108 is still on the air at the end).
  for (long long frame = 105; frame <= 107; ++frame) {
    EXPECT_EQ(decoded.count(frame), 1u)
        << "frame " << frame << " lost, rejected " << channel->Rejected();
  }
  EXPECT_NEAR(channel->OffsetHz() + channel->MeanHz(), sonde_offset, 300);
}

INSTANTIATE_TEST_SUITE_P(Drifts, DspPartsDriftTest,
                         ::testing::Values(DriftCase{"SmallMoveJustBefore", 800, 0.03},
                                           DriftCase{"LargeMoveJustBefore", 1600, 0.02},
                                           DriftCase{"LargeMoveEarlier", 1600, 0.12}),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace receiver

#endif
