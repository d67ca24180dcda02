#include "band_scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace standin {
namespace {

// The complex amplitude of the tone at `offset_hz` in the block (a single DFT bin).
std::complex<double> ToneAt(std::span<const Sample> block, double offset_hz, double rate) {
  std::complex<double> sum = 0;
  for (std::size_t n = 0; n < block.size(); ++n) {
    const double phase = -2 * std::numbers::pi * offset_hz * static_cast<double>(n) / rate;
    sum += std::complex<double>(block[n]) * std::polar(1.0, phase);
  }
  return sum / static_cast<double>(block.size());
}

double Power(std::span<const Sample> block) {
  double sum = 0;
  for (const auto& s : block) sum += std::norm(s);
  return sum / static_cast<double>(block.size());
}

struct OffsetCase {
  std::string name;
  double frequency_hz;
  double center_hz;
  double ppm;
  double offset_hz;
};

class ApparentOffsetTest : public ::testing::TestWithParam<OffsetCase> {};

TEST_P(ApparentOffsetTest, ShiftsByTheCrystalError) {
  const auto& c = GetParam();
  EXPECT_NEAR(ApparentOffsetHz(c.frequency_hz, {c.center_hz, 2048000, c.ppm}), c.offset_hz, 1e-3);
}

INSTANTIATE_TEST_SUITE_P(Offsets, ApparentOffsetTest,
                         ::testing::Values(OffsetCase{"Above", 403.1e6, 403e6, 0, 100e3},
                                           OffsetCase{"Below", 402.5e6, 403e6, 0, -500e3},
                                           OffsetCase{"FastCrystal", 403.1e6, 403e6, 10,
                                                      100e3 - 4030},
                                           OffsetCase{"SlowCrystal", 403e6, 403e6, -25, 10075},
                                           OffsetCase{"AtTheCentre", 404e6, 404e6, 0, 0}),
                         [](const auto& info) { return info.param.name; });

struct CwCase {
  std::string name;
  double frequency_hz;
  double center_hz;
  double ppm;
  bool visible;
};

class CwSceneTest : public ::testing::TestWithParam<CwCase> {};

TEST_P(CwSceneTest, AppearsAtItsOffsetOnlyInsideTheSpan) {
  const auto& c = GetParam();
  BandScene scene(0, 1);
  scene.AddSource(std::make_unique<CwSource>(c.frequency_hz, 0.25f));
  const Tuning tuning{c.center_hz, 2048000, c.ppm};
  std::vector<Sample> block(4096);
  scene.Render(tuning, 0, block);
  if (!c.visible) {
    EXPECT_EQ(Power(block), 0.0);
    return;
  }
  const double offset = ApparentOffsetHz(c.frequency_hz, tuning);
  EXPECT_NEAR(std::abs(ToneAt(block, offset, tuning.sample_rate)), 0.25, 1e-3);
  EXPECT_NEAR(Power(block), 0.0625, 1e-4);  // nothing else there
  // Not where it would be without the error, nor mirrored.
  if (c.ppm != 0) {
    EXPECT_LT(std::abs(ToneAt(block, c.frequency_hz - c.center_hz, tuning.sample_rate)), 0.05);
  }
  EXPECT_LT(std::abs(ToneAt(block, -offset, tuning.sample_rate)), 0.05);
}

INSTANTIATE_TEST_SUITE_P(Carriers, CwSceneTest,
                         ::testing::Values(CwCase{"Inside", 403.1e6, 403e6, 0, true},
                                           CwCase{"InsideBelow", 402.3e6, 403e6, 0, true},
                                           CwCase{"WithPpm", 403.1e6, 403e6, 40, true},
                                           CwCase{"FarOutside", 405e6, 403e6, 0, false},
                                           CwCase{"JustPastTheFilter", 403.95e6, 403e6, 0, false},
                                           CwCase{"PpmMovesItOut", 403.9215e6, 403e6, -10, false}),
                         [](const auto& info) { return info.param.name; });

TEST(CwSource, PhaseCarriesAcrossBlocks) {
  CwSource cw(403.01e6, 0.5f);
  const Tuning tuning{403e6, 2048000, 0};
  std::vector<Sample> a(1000), b(1000);
  cw.Add(tuning, 0, a);
  cw.Add(tuning, 1000 / 2048000.0, b);
  const auto step = a[1] / a[0];
  EXPECT_NEAR(std::abs(b[0] / a[999] - step), 0, 1e-4);
}

struct SpurCase {
  double center_hz;
  double ppm;
};

class SpurTest : public ::testing::TestWithParam<SpurCase> {};

TEST_P(SpurTest, StaysAtItsOffsetWhereverTuned) {
  SpurSource spur(-250e3, 0.3f);
  const Tuning tuning{GetParam().center_hz, 2048000, GetParam().ppm};
  std::vector<Sample> block(2048);
  spur.Add(tuning, 0, block);
  EXPECT_NEAR(std::abs(ToneAt(block, -250e3, 2048000)), 0.3, 1e-3);
}

INSTANTIATE_TEST_SUITE_P(Tunings, SpurTest,
                         ::testing::Values(SpurCase{401e6, 0}, SpurCase{403.5e6, 0},
                                           SpurCase{405.9e6, 30}));

TEST(FmVoiceSource, SwingsAroundItsCarrierWithinItsDeviation) {
  FmVoiceSource voice(402.2e6, 0.2f, 7);
  const Tuning tuning{402e6, 2048000, 0};
  std::vector<Sample> block(40960);  // 20 ms
  voice.Add(tuning, 0, block);
  double sum = 0, low = 1e9, high = -1e9;
  for (std::size_t n = 1; n < block.size(); ++n) {
    const double f =
        std::arg(block[n] * std::conj(block[n - 1])) * 2048000 / (2 * std::numbers::pi);
    sum += f;
    low = std::min(low, f);
    high = std::max(high, f);
    ASSERT_NEAR(std::abs(block[n]), 0.2, 1e-4);
  }
  const double mean = sum / static_cast<double>(block.size() - 1);
  EXPECT_NEAR(mean, 200e3, 1500);
  EXPECT_GT(low, 200e3 - FmVoiceSource::kDeviationHz - 1);
  EXPECT_LT(high, 200e3 + FmVoiceSource::kDeviationHz + 1);
  EXPECT_GT(high - low, 1000);  // it is modulated
}

TEST(BandScene, NoiseHasItsLevelAndFollowsTheSeed) {
  BandScene a(0.04f, 5), b(0.04f, 5), c(0.04f, 6);
  const Tuning tuning;
  std::vector<Sample> x(20000), y(20000), z(20000);
  a.Render(tuning, 0, x);
  b.Render(tuning, 0, y);
  c.Render(tuning, 0, z);
  EXPECT_EQ(x, y);
  EXPECT_NE(x, z);
  std::complex<double> mean = 0;
  for (const auto& s : x) mean += std::complex<double>(s);
  mean /= static_cast<double>(x.size());
  EXPECT_LT(std::abs(mean), 0.002);
  EXPECT_NEAR(Power(x), 2 * 0.04 * 0.04, 0.0002);
}

TEST(BandScene, NoisePowerInABandwidth) {
  EXPECT_NEAR(NoisePowerIn(2048000, 0.04, 2048000), 0.0032, 1e-12);
  EXPECT_NEAR(NoisePowerIn(10000, 0.04, 2048000), 0.0032 * 10000 / 2048000, 1e-12);
}

struct QuantiseCase {
  std::string name;
  Sample in;
  Sample dc;
  std::uint8_t i, q;
};

class QuantiseTest : public ::testing::TestWithParam<QuantiseCase> {};

TEST_P(QuantiseTest, LikeTheDongle) {
  const auto& c = GetParam();
  std::vector<std::uint8_t> out;
  const Sample in[] = {c.in};
  QuantiseU8(in, c.dc, out);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0], c.i);
  EXPECT_EQ(out[1], c.q);
}

const float kNan = std::nanf("");

INSTANTIATE_TEST_SUITE_P(Values, QuantiseTest,
                         ::testing::Values(QuantiseCase{"Zero", {0, 0}, {}, 127, 127},
                                           QuantiseCase{"Half", {0.5f, -0.5f}, {}, 191, 63},
                                           QuantiseCase{"FullScale", {1, -1}, {}, 255, 0},
                                           QuantiseCase{"Clipped", {3, -3}, {}, 255, 0},
                                           QuantiseCase{"NotANumber", {kNan, kNan}, {}, 127, 127},
                                           QuantiseCase{"DongleDc", {0, 0}, kDongleDc, 129, 126}),
                         [](const auto& info) { return info.param.name; });

TEST(BandScene, QuantisedSceneShowsTheDcSpikeAtTheCentre) {
  BandScene scene(0.04f, 3);
  std::vector<Sample> block(8192);
  scene.Render(Tuning{}, 0, block);
  std::vector<std::uint8_t> bytes;
  QuantiseU8(block, kDongleDc, bytes);
  double i_mean = 0, q_mean = 0;
  for (std::size_t k = 0; k < bytes.size(); k += 2) {
    i_mean += (bytes[k] - 127.4) / 128;
    q_mean += (bytes[k + 1] - 127.4) / 128;
  }
  i_mean /= static_cast<double>(block.size());
  q_mean /= static_cast<double>(block.size());
  EXPECT_NEAR(i_mean, kDongleDc.real(), 0.003);
  EXPECT_NEAR(q_mean, kDongleDc.imag(), 0.003);
}

}  // namespace
}  // namespace standin
