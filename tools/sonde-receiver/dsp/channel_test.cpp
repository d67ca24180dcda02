#include "dsp/channel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "dsp/fsk_modulator.h"
#include "dsp/kind_detector.h"
#include "dsp/symbol_slicer.h"

namespace receiver {
namespace {

constexpr double kWideRate = 2048000;

std::vector<std::uint8_t> RandomSymbols(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<std::uint8_t> out(n);
  for (auto& s : out) s = static_cast<std::uint8_t>(rng() & 1);
  return out;
}

// Fewest symbol errors of `sent[from, to)` at any place in `got`.
int BestMatchErrors(const std::vector<std::uint8_t>& sent, std::size_t from, std::size_t to,
                    const std::vector<std::uint8_t>& got) {
  const std::size_t len = to - from;
  int best = static_cast<int>(len);
  for (std::size_t start = 0; start + len <= got.size(); ++start) {
    int errors = 0;
    for (std::size_t k = 0; k < len && errors < best; ++k) {
      errors += got[start + k] != sent[from + k];
    }
    best = std::min(best, errors);
  }
  return best;
}

struct Link {
  double symbol_rate;
  double bt;
  double deviation;
  double sonde_offset;    // where the sonde is in the wide stream
  double channel_offset;  // where the channel is tuned
  double noise_power;     // over the whole 2.048 MHz; 1.28 puts ~20 dB into 16 kHz
  double bandwidth = 16000;
};

struct LinkResult {
  std::vector<std::uint8_t> sent;
  std::vector<std::uint8_t> got;
  double mean_hz;
};

// Balanced: every symbol followed by its complement, so the signal's own mean is zero.
std::vector<std::uint8_t> Balanced(std::vector<std::uint8_t> symbols) {
  for (std::size_t i = 1; i < symbols.size(); i += 2) symbols[i] = symbols[i - 1] ^ 1;
  return symbols;
}

LinkResult RunLink(const Link& link, std::size_t symbols, unsigned seed, bool balanced = false) {
  FskModulator mod({kWideRate, link.symbol_rate, link.deviation, link.bt, link.sonde_offset, 1.0f});
  LinkResult r;
  r.sent = RandomSymbols(symbols, seed);
  if (balanced) r.sent = Balanced(r.sent);
  mod.Queue(r.sent);
  Channel channel({kWideRate, link.channel_offset, 48000, link.bandwidth});
  SymbolSlicer slicer(channel.ChannelRate(), link.symbol_rate);
  // One table of noise, read round: drawing fresh Gaussians per sample is the test's main cost.
  std::mt19937 rng(seed + 1);
  std::normal_distribution<float> noise(0.0f, static_cast<float>(std::sqrt(link.noise_power / 2)));
  std::vector<std::complex<float>> table(65521);
  for (auto& x : table) x = {noise(rng), noise(rng)};
  std::size_t at = 0;
  std::vector<std::complex<float>> block(8192);
  std::vector<float> demod;
  // A few blocks of odd size too: the chain must not care where a block ends.
  std::size_t size = 8192;
  while (mod.Pending() > 0) {
    block.resize(size);
    for (auto& x : block) {
      x = table[at];
      at = at + 1 == table.size() ? 0 : at + 1;
    }
    mod.Generate(block);
    demod.clear();
    channel.Process(block, demod);
    slicer.Process(demod, r.got);
    size = size == 8192 ? 1237 : 8192;
  }
  r.mean_hz = slicer.MeanHz();
  return r;
}

class LinkTest : public ::testing::TestWithParam<Link> {};

TEST_P(LinkTest, SymbolsComeBackUnchanged) {
  const Link& link = GetParam();
  const std::size_t n = static_cast<std::size_t>(link.symbol_rate * 0.12);
  LinkResult r = RunLink(link, n, 7);
  // The first symbols settle the filters, the mean and the clock.
  EXPECT_EQ(BestMatchErrors(r.sent, 80, n - 20, r.got), 0);
}

INSTANTIATE_TEST_SUITE_P(Rs41AndDfm, LinkTest,
                         ::testing::Values(Link{4800, 0.5, 2400, -400000, -400000, 1.28},
                                           Link{4800, 0.5, 2400, -123456, -123456, 1.28},
                                           Link{4800, 0.5, 2400, 37000, 37000, 1.28},
                                           Link{4800, 0.5, 2400, 400000, 400000, 1.28},
                                           // A sonde a few kHz off the channel's centre.
                                           Link{4800, 0.5, 2400, 203000, 200000, 1.28},
                                           Link{4800, 0.5, 2400, -297500, -300000, 1.28},
                                           Link{2500, 0, 2000, -400000, -400000, 1.28},
                                           Link{2500, 0, 2000, 150000, 150000, 1.28},
                                           Link{2500, 0, 2000, 400000, 400000, 1.28},
                                           Link{2500, 0, 2000, -96000, -100000, 1.28}));

class FrequencyErrorTest : public ::testing::TestWithParam<double> {};

TEST_P(FrequencyErrorTest, MeanShowsTheChannelsError) {
  const double error = GetParam();
  // The first look at a sonde is through a channel wide enough to hold it 10 kHz off.
  Link link{4800, 0.5, 2400, 100000 + error, 100000, 0.2, 40000};
  LinkResult r = RunLink(link, 500, 3, true);
  EXPECT_NEAR(r.mean_hz, error, 200.0);
}

INSTANTIATE_TEST_SUITE_P(Errors, FrequencyErrorTest,
                         ::testing::Values(10000.0, -10000.0, 0.0, 4000.0));

TEST(ChannelTest, RetunedChannelSlicesASondeFoundOff) {
  // The sonde sits 10 kHz from where the channel was put; once the mean says so and the
  // channel moves, the symbols come out right.
  const double sonde = 250000;
  FskModulator mod({kWideRate, 4800, 2400, 0.5, sonde, 1.0f});
  std::vector<std::uint8_t> sent = RandomSymbols(1200, 11);
  mod.Queue(sent);
  Channel wide({kWideRate, sonde - 10000, 48000, 40000});
  Channel channel({kWideRate, sonde - 10000, 48000, 16000});
  SymbolSlicer first(48000, 4800);
  std::vector<std::complex<float>> block(4096);
  std::vector<float> demod;
  std::vector<std::uint8_t> ignored;
  for (int i = 0; i < 40; ++i) {
    std::fill(block.begin(), block.end(), std::complex<float>{});
    mod.Generate(block);
    demod.clear();
    wide.Process(block, demod);
    first.Process(demod, ignored);
    demod.clear();
    channel.Process(block, demod);
  }
  channel.Retune(channel.OffsetHz() + first.MeanHz());
  EXPECT_NEAR(channel.OffsetHz(), sonde, 300);
  SymbolSlicer slicer(48000, 4800);
  std::vector<std::uint8_t> got;
  while (mod.Pending() > 0) {
    std::fill(block.begin(), block.end(), std::complex<float>{});
    mod.Generate(block);
    demod.clear();
    channel.Process(block, demod);
    slicer.Process(demod, got);
  }
  const std::size_t sent_first = 40 * 4096 * 4800 / 2048000;
  EXPECT_EQ(BestMatchErrors(sent, sent_first + 100, sent.size() - 20, got), 0);
}

TEST(ChannelTest, HostileSamplesGiveFiniteOutput) {
  Channel channel({kWideRate, 1000, 48000, 16000});
  std::vector<std::complex<float>> block(5000, {std::numeric_limits<float>::quiet_NaN(), 1e30f});
  block[10] = {std::numeric_limits<float>::infinity(), 0};
  std::vector<float> demod;
  channel.Process(block, demod);
  channel.Process({}, demod);
  for (float x : demod) ASSERT_TRUE(std::isfinite(x));
  EXPECT_NEAR(static_cast<double>(demod.size()), 5000 * 48000.0 / kWideRate, 10.0);
}

struct OddConfig {
  ChannelConfig config;
  double expected_rate;
};

class OddConfigTest : public ::testing::TestWithParam<OddConfig> {};

TEST_P(OddConfigTest, BecomesAUsableChannel) {
  Channel channel(GetParam().config);
  EXPECT_EQ(channel.ChannelRate(), GetParam().expected_rate);
  std::vector<std::complex<float>> block(20000, {0.5f, -0.5f});
  std::vector<float> demod;
  channel.Process(block, demod);
  channel.Retune(std::numeric_limits<double>::quiet_NaN());
  channel.Process(block, demod);
  EXPECT_FALSE(demod.empty());
  for (float x : demod) ASSERT_TRUE(std::isfinite(x));
}

INSTANTIATE_TEST_SUITE_P(Configs, OddConfigTest,
                         ::testing::Values(OddConfig{{kWideRate, 0, 0, 16000}, 48000},
                                           OddConfig{{kWideRate, 0, -5, 16000}, 48000},
                                           OddConfig{{0, 0, 48000, 16000}, 48000},
                                           OddConfig{{kWideRate, 0, 48000, 0}, 48000},
                                           OddConfig{{kWideRate, 0, 48000, 1e9}, 48000},
                                           OddConfig{{kWideRate, 0, 1e9, 16000}, 48000},
                                           OddConfig{{96000, 20000, 48000, 16000}, 48000},
                                           OddConfig{{kWideRate, 0, 96000, 40000}, 96000}));

TEST(ChannelTest, OutputRateIsTheChannelRate) {
  Channel channel({kWideRate, 0, 48000, 16000});
  std::vector<std::complex<float>> block(1000, {1, 0});
  std::vector<float> demod;
  for (int i = 0; i < 2048; ++i) channel.Process(block, demod);  // one second in odd blocks
  EXPECT_NEAR(static_cast<double>(demod.size()), 48000, 20);
}

}  // namespace
}  // namespace receiver

namespace receiver {
namespace {

struct OnAirCase {
  SondeKind kind;
  double bt;
  double sonde_offset;
  double channel_offset;
  bool inverted;  // the receiver hears the sonde upside down
};

class OnAirKindTest : public ::testing::TestWithParam<OnAirCase> {};

TEST_P(OnAirKindTest, KindIsToldThroughTheChannel) {
  const OnAirCase& c = GetParam();
  const KindSignal sig = SignalOf(c.kind);
  // Frames: RS41 header or DFM header (Manchester payload), random filling.
  std::string header = c.kind == SondeKind::kRs41
                           ? "0000100001101101010100111000100001000100011010010100100000011111"
                           : "10011010100110010101101001010101";
  std::vector<std::uint8_t> frames;
  std::mt19937 rng(21);
  for (int f = 0; f < 4; ++f) {
    for (char b : header) frames.push_back((b == '1') != c.inverted);
    for (int i = 0; i < (c.kind == SondeKind::kDfm ? 150 : 300); ++i) {
      const std::uint8_t bit = rng() & 1;
      frames.push_back(bit);
      if (c.kind == SondeKind::kDfm) frames.push_back(bit ^ 1);
    }
  }
  FskModulator mod({kWideRate, sig.symbol_rate, sig.deviation_hz, c.bt, c.sonde_offset, 1.0f});
  mod.Queue(frames);
  Channel channel({kWideRate, c.channel_offset, 48000, 16000});
  KindDetector detector(channel.ChannelRate());
  std::mt19937 noise_rng(22);
  std::normal_distribution<float> noise(0.0f, 0.5f);
  std::vector<std::complex<float>> table(8191);
  for (auto& x : table) x = {noise(noise_rng), noise(noise_rng)};
  std::vector<std::complex<float>> block(16384);
  std::vector<float> demod;
  std::size_t at = 0;
  while (mod.Pending() > 0 && !detector.Found()) {
    for (auto& x : block) {
      x = table[at];
      at = (at + 1) % table.size();
    }
    mod.Generate(block);
    demod.clear();
    channel.Process(block, demod);
    detector.Process(demod);
  }
  ASSERT_TRUE(detector.Found().has_value());
  EXPECT_EQ(KindName(detector.Found()->kind), KindName(c.kind));
  EXPECT_EQ(detector.Found()->inverted, c.inverted);
}

INSTANTIATE_TEST_SUITE_P(Kinds, OnAirKindTest,
                         ::testing::Values(OnAirCase{SondeKind::kRs41, 0.5, 333000, 333000, false},
                                           OnAirCase{SondeKind::kRs41, 0.5, -181000, -184000, true},
                                           OnAirCase{SondeKind::kDfm, 0, 52000, 50000, false},
                                           OnAirCase{SondeKind::kDfm, 0, -402500, -400000, true}));

}  // namespace
}  // namespace receiver

namespace receiver {
namespace {

struct RetuneCase {
  double carrier;     // where a plain carrier is
  double first;       // where the channel is first
  double second;      // where it is retuned to
  std::size_t block;  // how the stream is cut
};

class RetuneTest : public ::testing::TestWithParam<RetuneCase> {};

TEST_P(RetuneTest, MovesWithoutAPhaseJump) {
  const RetuneCase& c = GetParam();
  FskModulator carrier({kWideRate, 4800, 0, 0, c.carrier, 1.0f});
  Channel channel({kWideRate, c.first, 48000, 16000});
  std::vector<std::complex<float>> block(c.block);
  std::vector<float> before, after;
  for (std::size_t n = 0; n < 100000; n += c.block) {
    std::fill(block.begin(), block.end(), std::complex<float>{});
    carrier.Generate(block);
    channel.Process(block, before);
  }
  channel.Retune(c.second);
  EXPECT_EQ(channel.OffsetHz(), c.second);
  for (std::size_t n = 0; n < 100000; n += c.block) {
    std::fill(block.begin(), block.end(), std::complex<float>{});
    carrier.Generate(block);
    channel.Process(block, after);
  }
  const double was = c.carrier - c.first, now = c.carrier - c.second;
  ASSERT_GT(before.size(), 2000u);
  ASSERT_GT(after.size(), 2000u);
  EXPECT_NEAR(before[before.size() - 10], was, 20);
  EXPECT_NEAR(after.back(), now, 20);
  // From one frequency to the other through the filters (their ringing overshoots a little),
  // never far beyond: a jump of phase would show as a spike far outside.
  const double margin = 300 + 0.2 * std::abs(now - was);
  const double low = std::min(was, now) - margin, high = std::max(was, now) + margin;
  for (std::size_t i = 0; i < after.size(); ++i) {
    ASSERT_GE(after[i], low) << i;
    ASSERT_LE(after[i], high) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Moves, RetuneTest,
                         ::testing::Values(RetuneCase{103000, 100000, 103000, 4096},
                                           RetuneCase{-250000, -245000, -251000, 1237},
                                           RetuneCase{500000, 500000, 497000, 8191},
                                           RetuneCase{0, 2000, -2000, 333}));

}  // namespace
}  // namespace receiver
