#include "dsp/spectrum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include "dsp/fsk_modulator.h"

namespace receiver {
namespace {

constexpr double kWideRate = 2048000;
constexpr int kFft = 2048;

struct Band {
  std::vector<double> sondes;    // RS41-like GFSK at these offsets
  std::vector<double> carriers;  // unmodulated carriers
  bool dc_spike = false;
};

std::vector<float> AveragedSpectrum(const Band& band, int ffts) {
  const std::size_t n = static_cast<std::size_t>(kFft) * ffts;
  std::vector<std::complex<float>> x(n);
  std::mt19937 rng(9);
  std::normal_distribution<float> noise(0.0f, 0.5f);  // 0.5 W over 2 MHz
  for (auto& v : x) v = {noise(rng), noise(rng)};
  std::mt19937 bits(10);
  for (double offset : band.sondes) {
    FskModulator mod({kWideRate, 4800, 2400, 0.5, offset, 0.1f});
    std::vector<std::uint8_t> symbols(static_cast<std::size_t>(n * 4800 / kWideRate) + 10);
    for (auto& s : symbols) s = static_cast<std::uint8_t>(bits() & 1);
    mod.Queue(symbols);
    mod.Generate(x);
  }
  for (double offset : band.carriers) {
    FskModulator carrier({kWideRate, 4800, 0, 0, offset, 0.3f});
    carrier.Generate(x);
  }
  if (band.dc_spike) {
    for (auto& v : x) v += std::complex<float>(0.3f, -0.2f);
  }
  SpectrumAverager averager(kFft);
  // Odd pieces: whole FFTs are taken across them.
  for (std::size_t at = 0; at < n; at += 3001) {
    averager.Add(
        std::span<const std::complex<float>>(x).subspan(at, std::min<std::size_t>(3001, n - at)));
  }
  EXPECT_EQ(averager.Count(), ffts);
  return averager.PowerDb();
}

struct PeakCase {
  const char* name;
  Band band;
  std::vector<double> expected;  // the peaks' places, strongest first does not matter here
};

class FindPeaksTest : public ::testing::TestWithParam<PeakCase> {};

TEST_P(FindPeaksTest, FindsSondesOnly) {
  const PeakCase& c = GetParam();
  std::vector<Peak> peaks = FindPeaks(AveragedSpectrum(c.band, 32), PeakOptions{});
  ASSERT_EQ(peaks.size(), c.expected.size());
  for (double want : c.expected) {
    const bool found = std::any_of(peaks.begin(), peaks.end(), [&](const Peak& p) {
      return std::abs(p.offset_hz - want) < 2000;
    });
    EXPECT_TRUE(found) << "no peak near " << want;
  }
  for (const Peak& p : peaks) {
    EXPECT_GE(p.snr_db, 6);
    EXPECT_GT(p.width_hz, 2500);
    EXPECT_LT(p.width_hz, 30000);
  }
  for (std::size_t i = 1; i < peaks.size(); ++i) EXPECT_GE(peaks[i - 1].snr_db, peaks[i].snr_db);
}

INSTANTIATE_TEST_SUITE_P(
    Bands, FindPeaksTest,
    ::testing::Values(PeakCase{"Empty", {{}, {}, false}, {}},
                      PeakCase{"OneSonde", {{301000}, {}, false}, {301000}},
                      PeakCase{"LowSonde", {{-612345}, {}, false}, {-612345}},
                      PeakCase{"SondeCarrierAndDc", {{150000}, {-200000, 420000}, true}, {150000}},
                      PeakCase{"TwoSondes", {{-450000, 90000}, {}, true}, {-450000, 90000}},
                      PeakCase{"CarrierAndDcOnly", {{}, {50000}, true}, {}},
                      // In the filter's roll-off at the span's edge: not looked at.
                      PeakCase{"AtTheEdge", {{980000}, {}, false}, {}}),
    [](const ::testing::TestParamInfo<PeakCase>& info) { return std::string(info.param.name); });

TEST(SpectrumAveragerTest, DcIsInTheMiddle) {
  struct Tone {
    int bin;
  };
  for (Tone t : {Tone{0}, Tone{5}, Tone{-100}, Tone{700}}) {
    SpectrumAverager averager(256);
    std::vector<std::complex<float>> x(256);
    for (int i = 0; i < 256; ++i)
      x[i] = std::polar(1.0f, static_cast<float>(2 * std::numbers::pi * t.bin * i / 256.0));
    averager.Add(x);
    std::vector<float> db = averager.PowerDb();
    ASSERT_EQ(db.size(), 256u);
    const int top = static_cast<int>(std::max_element(db.begin(), db.end()) - db.begin());
    EXPECT_EQ(top, ((t.bin % 256) + 256 + 128) % 256) << t.bin;
  }
}

TEST(SpectrumAveragerTest, PartialFftIsNotCountedAndResetClears) {
  SpectrumAverager averager(1024);
  std::vector<std::complex<float>> x(1500, {1, 0});
  averager.Add(x);
  EXPECT_EQ(averager.Count(), 1);
  averager.Add(std::span<const std::complex<float>>(x).first(548));
  EXPECT_EQ(averager.Count(), 2);
  averager.Reset();
  EXPECT_EQ(averager.Count(), 0);
  averager.Add(std::span<const std::complex<float>>(x).first(1000));
  EXPECT_EQ(averager.Count(), 0);
}

TEST(SpectrumAveragerTest, HostileSamplesKeepTheSpectrumFinite) {
  SpectrumAverager averager(512);
  std::vector<std::complex<float>> x(1024, {std::numeric_limits<float>::quiet_NaN(), 1});
  averager.Add(x);
  for (float v : averager.PowerDb()) EXPECT_TRUE(std::isfinite(v));
  EXPECT_TRUE(FindPeaks(averager.PowerDb(), PeakOptions{}).empty());
  EXPECT_TRUE(FindPeaks({}, PeakOptions{}).empty());
  EXPECT_TRUE(
      FindPeaks(std::vector<float>(64, std::numeric_limits<float>::quiet_NaN()), PeakOptions{})
          .empty());
}

}  // namespace
}  // namespace receiver
