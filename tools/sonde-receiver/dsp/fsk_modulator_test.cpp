#include "dsp/fsk_modulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <vector>

#include "dsp/symbol_slicer.h"

namespace receiver {
namespace {

// Over the two samples up to i: the modulator's phase steps are finely quantised, not exact.
double FrequencyAt(const std::vector<std::complex<float>>& x, std::size_t i, double rate) {
  const std::size_t span = std::min<std::size_t>(2, i);
  return std::arg(x[i] * std::conj(x[i - span])) * rate / (2 * std::numbers::pi * span);
}

struct ToneCase {
  double offset;
  double deviation;
  std::uint8_t symbol;  // 2: none queued
  double expected_hz;
};

class FskToneTest : public ::testing::TestWithParam<ToneCase> {};

TEST_P(FskToneTest, PlainFskSitsAtOffsetPlusOrMinusDeviation) {
  const ToneCase& c = GetParam();
  FskModulator mod({48000, 1000, c.deviation, 0, c.offset, 1});
  if (c.symbol < 2) {
    std::vector<std::uint8_t> s(10, c.symbol);
    mod.Queue(s);
  }
  std::vector<std::complex<float>> x(200);
  mod.Generate(x);
  for (std::size_t i = 1; i < x.size(); ++i)
    ASSERT_NEAR(FrequencyAt(x, i, 48000), c.expected_hz, 2) << i;
  EXPECT_EQ(mod.Pending(), c.symbol < 2 ? 10u - 4u : 0u);  // 200 samples = 4 1/6 symbols
}

INSTANTIATE_TEST_SUITE_P(Tones, FskToneTest,
                         ::testing::Values(ToneCase{0, 2400, 1, 2400}, ToneCase{0, 2400, 0, -2400},
                                           ToneCase{5000, 1000, 1, 6000},
                                           ToneCase{-7000, 1000, 0, -8000},
                                           ToneCase{3000, 1000, 2, 3000}));

TEST(FskModulatorTest, AddsToWhatIsThere) {
  FskModulator mod({48000, 1000, 0, 0, 0, 0.5f});
  std::vector<std::complex<float>> x(10, {1, 1});
  mod.Generate(x);
  for (auto v : x) {
    EXPECT_NEAR(v.real(), 1.5, 1e-5);
    EXPECT_NEAR(v.imag(), 1.0, 1e-5);
  }
}

TEST(FskModulatorTest, GaussianSymbolsStillReachTheirLevel) {
  // A long run of one symbol in GFSK settles at the full deviation; a lone symbol, BT 0.5,
  // still swings most of the way.
  FskModulator mod({48000, 4800, 2400, 0.5, 0, 1});
  std::vector<std::uint8_t> s = {0, 0, 0, 0, 1, 0, 0, 0, 1, 1, 1, 1, 1, 1};
  mod.Queue(s);
  std::vector<std::complex<float>> x(140);
  mod.Generate(x);
  EXPECT_NEAR(FrequencyAt(x, 25, 48000), -2400, 50);
  EXPECT_GT(FrequencyAt(x, 45, 48000), 1200);  // the lone 1
  EXPECT_NEAR(FrequencyAt(x, 125, 48000), 2400, 50);
  // Phase continuity: no sample-to-sample jump beyond the deviation.
  for (std::size_t i = 1; i < x.size(); ++i) EXPECT_LT(std::abs(FrequencyAt(x, i, 48000)), 2500);
}

TEST(FskModulatorTest, SetOffsetMovesTheCarrier) {
  FskModulator mod({48000, 1000, 0, 0, 1000, 1});
  std::vector<std::complex<float>> x(50);
  mod.Generate(x);
  mod.SetOffset(-4000);
  std::vector<std::complex<float>> y(50);
  mod.Generate(y);
  EXPECT_NEAR(FrequencyAt(x, 20, 48000), 1000, 2);
  EXPECT_NEAR(FrequencyAt(y, 20, 48000), -4000, 2);
}

// The slicer alone, on ideal demodulated levels: every rate the kinds use, off-centre too.
struct SliceCase {
  double symbol_rate;
  double mean_hz;
};

class SlicerTest : public ::testing::TestWithParam<SliceCase> {};

TEST_P(SlicerTest, RecoversSymbolsAroundAnyMean) {
  const SliceCase& c = GetParam();
  std::vector<std::uint8_t> sent(400);
  unsigned state = 12345;
  for (auto& s : sent) {
    state = state * 1103515245u + 12345u;
    s = static_cast<std::uint8_t>((state >> 16) & 1);
  }
  const double sps = 48000 / c.symbol_rate;
  std::vector<float> demod;
  double clock = 0.37;
  for (std::uint8_t s : sent) {
    clock += sps;
    while (clock >= 1) {
      demod.push_back(static_cast<float>(c.mean_hz + (s ? 2000 : -2000)));
      clock -= 1;
    }
  }
  SymbolSlicer slicer(48000, c.symbol_rate);
  std::vector<std::uint8_t> got;
  slicer.Process(demod, got);
  EXPECT_NEAR(static_cast<double>(got.size()), 400, 3);
  EXPECT_NEAR(slicer.MeanHz(), c.mean_hz, 300);
  // Past the start, the symbols line up somewhere with no error.
  int best = 1000;
  for (std::size_t start = 0; start + 300 <= got.size(); ++start) {
    int errors = 0;
    for (std::size_t k = 0; k < 300; ++k) errors += got[start + k] != sent[80 + k];
    best = std::min(best, errors);
  }
  EXPECT_EQ(best, 0);
}

INSTANTIATE_TEST_SUITE_P(Rates, SlicerTest,
                         ::testing::Values(SliceCase{4800, 0}, SliceCase{4800, 5000},
                                           SliceCase{4800, -7000}, SliceCase{2500, 3000},
                                           SliceCase{9600, -2000}, SliceCase{2400, 0},
                                           SliceCase{1200, 4000}));

TEST(SymbolSlicerTest, HostileInputNeverHangsOrCrashes) {
  SymbolSlicer slicer(48000, 4800);
  std::vector<float> junk(4800, std::numeric_limits<float>::quiet_NaN());
  junk[3] = std::numeric_limits<float>::infinity();
  junk[7] = -std::numeric_limits<float>::max();
  std::vector<std::uint8_t> got;
  slicer.Process(junk, got);
  EXPECT_NEAR(static_cast<double>(got.size()), 480, 2);
  EXPECT_TRUE(std::isfinite(slicer.MeanHz()));
  SymbolSlicer silly(48000, 0);  // a nonsense rate still makes a slicer
  silly.Process(junk, got);
}

}  // namespace
}  // namespace receiver
