#include "dsp/symbol_slicer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "dsp/channel.h"
#include "dsp/fsk_modulator.h"

namespace receiver {
namespace {

constexpr double kRate = 96000;  // two channel samples per wide one keeps the test quick
constexpr double kBaud = 4800;

// A burst sonde: a bare carrier, then a short alternating preamble and the data, with the
// burst's symbol clock wherever the transmitter's timer put it. Returns the sliced symbols and
// where the data starts among them (found by its known pattern).
struct Burst {
  double gap_s;        // the carrier before the burst
  double clock_phase;  // the burst's start, in symbols, past a whole symbol of the slicer
  int preamble_bits;   // alternating, as a burst sonde leads with
  double snr_db;       // in 10 kHz
  double residual_hz;  // the channel's centre off the carrier (the peak's bin)
};

std::vector<std::uint8_t> Pattern(int n, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> bits(static_cast<std::size_t>(n));
  for (auto& b : bits) b = static_cast<std::uint8_t>(random() & 1);
  return bits;
}

// The errors in `data` where it best lines up with the slicer's output after `from`.
int ErrorsOf(const std::vector<std::uint8_t>& sliced, std::size_t from,
             const std::vector<std::uint8_t>& data) {
  int best = static_cast<int>(data.size());
  for (std::size_t start = from; start + data.size() <= sliced.size() && start < from + 400;
       ++start) {
    int errors = 0;
    for (std::size_t k = 0; k < data.size() && errors < best; ++k) {
      errors += sliced[start + k] != data[k];
    }
    best = std::min(best, errors);
  }
  return best;
}

// Sends a first burst to lock on, the gap, then the burst under test; the errors in the 64
// symbols after the second burst's preamble (where an RS41's header is).
int HeaderErrorsAfterGap(const Burst& b, std::uint32_t seed) {
  FskConfig fsk;
  fsk.sample_rate = kRate;
  fsk.symbol_rate = kBaud;
  fsk.deviation_hz = 2400;
  fsk.gaussian_bt = 0.5;
  fsk.offset_hz = 0;
  FskModulator modulator(fsk);
  ChannelConfig config;
  config.input_rate = kRate;
  config.offset_hz = b.residual_hz;
  config.bandwidth_hz = 13520;
  Channel channel(config);
  SymbolSlicer slicer(channel.ChannelRate(), kBaud);

  const double noise_power = 1.0 / std::pow(10.0, b.snr_db / 10);  // in 10 kHz
  const float sigma = static_cast<float>(std::sqrt(noise_power * kRate / 10000 / 2));
  std::mt19937 random(seed);
  std::normal_distribution<float> noise(0.0f, sigma);

  std::vector<std::complex<float>> iq;
  std::vector<float> demod;
  std::vector<std::uint8_t> sliced;
  auto run = [&](std::size_t samples) {
    iq.assign(samples, {});
    for (auto& s : iq) s = {noise(random), noise(random)};
    modulator.Generate(iq);
    demod.clear();
    channel.Process(iq, demod);
    slicer.Process(demod, sliced);
  };
  std::vector<std::uint8_t> first(64, 0);
  for (std::size_t k = 0; k < first.size(); ++k) first[k] = k & 1;
  const auto lock_data = Pattern(400, seed + 1);
  first.insert(first.end(), lock_data.begin(), lock_data.end());
  modulator.Queue(first);
  run(static_cast<std::size_t>(static_cast<double>(first.size()) / kBaud * kRate));
  run(static_cast<std::size_t>((b.gap_s + b.clock_phase / kBaud) * kRate));
  const std::size_t burst_from = sliced.size();
  std::vector<std::uint8_t> burst;
  for (int k = 0; k < b.preamble_bits; ++k) burst.push_back(static_cast<std::uint8_t>(k & 1));
  const auto header = Pattern(64, seed + 2);
  burst.insert(burst.end(), header.begin(), header.end());
  const auto tail = Pattern(64, seed + 3);
  burst.insert(burst.end(), tail.begin(), tail.end());
  modulator.Queue(burst);
  run(static_cast<std::size_t>((static_cast<double>(burst.size()) + 8) / kBaud * kRate));
  return ErrorsOf(sliced, burst_from, header);
}

class SlicerAfterGapTest : public ::testing::TestWithParam<Burst> {};

// The header right after a short preamble comes through with no more errors than the noise
// makes anyway, whatever the burst's clock phase: the slicer locks within the preamble.
TEST_P(SlicerAfterGapTest, HeaderRightAfterAShortPreamble) {
  const Burst& b = GetParam();
  int worst = 0;
  for (std::uint32_t seed = 1; seed <= 3; ++seed) {
    worst = std::max(worst, HeaderErrorsAfterGap(b, seed * 97));
  }
  EXPECT_LE(worst, 1);
}

INSTANTIATE_TEST_SUITE_P(Bursts, SlicerAfterGapTest,
                         ::testing::Values(Burst{0.2, 0.0, 24, 25, 0}, Burst{0.2, 0.25, 24, 25, 0},
                                           Burst{0.2, 0.5, 24, 25, 0},
                                           Burst{0.3, 0.45, 24, 16, 400},
                                           Burst{0.3, 0.55, 24, 16, -400},
                                           Burst{0.45, 0.5, 16, 20, 300}),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

struct ShiftCase {
  double before_hz;  // where the signal sat in the channel
  double after_hz;   // where it sits once the channel has moved
};

class SlicerShiftTest : public ::testing::TestWithParam<ShiftCase> {};

// Told of the move, the slicer slices the very next symbols right: a square wave of ±2 kHz
// around the new place, which the old mean would have read as all one symbol.
TEST_P(SlicerShiftTest, SlicesAroundTheNewPlaceAtOnce) {
  const ShiftCase& c = GetParam();
  constexpr double kChannelRate = 48000;
  SymbolSlicer slicer(kChannelRate, 4800);
  std::vector<std::uint8_t> symbols;
  auto square = [](double centre_hz, int n) {
    std::vector<float> demod;
    for (int k = 0; k < n; ++k) {
      for (int i = 0; i < 10; ++i)
        demod.push_back(static_cast<float>(centre_hz + (k % 2 ? 2000 : -2000)));
    }
    return demod;
  };
  slicer.Process(square(c.before_hz, 4000), symbols);
  EXPECT_NEAR(slicer.MeanHz(), c.before_hz, 50);
  slicer.ShiftMean(c.after_hz - c.before_hz);
  EXPECT_NEAR(slicer.MeanHz(), c.after_hz, 50);
  symbols.clear();
  slicer.Process(square(c.after_hz, 40), symbols);
  ASSERT_GE(symbols.size(), 38u);
  for (std::size_t k = 2; k + 1 < symbols.size(); ++k) {
    EXPECT_NE(symbols[k], symbols[k - 1]) << k;
  }
}

INSTANTIATE_TEST_SUITE_P(Shifts, SlicerShiftTest,
                         ::testing::Values(ShiftCase{1500, 0}, ShiftCase{-2500, 300},
                                           ShiftCase{0, 2200}));

}  // namespace
}  // namespace receiver
