#include "sonde_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace standin {
namespace {

struct SnrCase {
  double snr_db;
  double amplitude_over_noise;  // against the noise's amplitude in 10 kHz
};

class AmplitudeForSnrTest : public ::testing::TestWithParam<SnrCase> {};

TEST_P(AmplitudeForSnrTest, PowerOverTheNoiseIn10kHz) {
  const double noise = std::sqrt(NoisePowerIn(kSnrBandwidthHz, 0.04, 2048000));
  EXPECT_NEAR(AmplitudeForSnr(GetParam().snr_db, 0.04f, 2048000),
              noise * GetParam().amplitude_over_noise, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(Levels, AmplitudeForSnrTest,
                         ::testing::Values(SnrCase{0, 1}, SnrCase{20, 10}, SnrCase{-20, 0.1},
                                           SnrCase{6.0206, 2}));

// A narrow stream keeps the test's loops small: 48 kS/s passes ±21.6 kHz.
constexpr double kRate = 48000;

struct Recorder {
  std::vector<long long> frames;
  std::vector<double> times;
};

std::unique_ptr<SondeSource> Sonde(double frequency_hz, Recorder& recorder, double period = 1,
                                   bool back_to_back = false) {
  SondeSignal signal;
  signal.back_to_back = back_to_back;
  signal.frequency_hz = frequency_hz;
  signal.symbol_rate = 2400;
  signal.deviation_hz = 2400;
  signal.frame_period_s = period;
  signal.snr_db = 20;
  return std::make_unique<SondeSource>(signal, 0.04f, [&recorder](long long frame, double t) {
    recorder.frames.push_back(frame);
    recorder.times.push_back(t);
    return std::vector<std::uint8_t>(240, 1);  // a tenth of a second of the upper tone
  });
}

double Power(std::span<const Sample> block) {
  double sum = 0;
  for (const auto& s : block) sum += std::norm(s);
  return sum / static_cast<double>(block.size());
}

// Runs the source over `seconds` in blocks of 0.05 s, tuned as `tuning_at` says.
std::vector<double> RunBlocks(SondeSource& sonde, double seconds,
                              const std::function<double(double)>& center_at) {
  std::vector<double> powers;
  std::vector<Sample> block(2400);
  for (double t = 0; t < seconds - 1e-9; t += 0.05) {
    std::fill(block.begin(), block.end(), Sample{});
    sonde.Add(Tuning{center_at(t), kRate, 0}, t, block);
    powers.push_back(Power(block));
  }
  return powers;
}

TEST(SondeSource, OneFramePerPeriodAtItsLevel) {
  Recorder recorder;
  auto sonde = Sonde(403.01e6, recorder);
  const auto powers = RunBlocks(*sonde, 3, [](double) { return 403e6; });
  EXPECT_EQ(recorder.frames, (std::vector<long long>{0, 1, 2}));
  EXPECT_NEAR(recorder.times[1], 1, 0.051);
  EXPECT_NEAR(recorder.times[2], 2, 0.051);
  EXPECT_EQ(sonde->FramesSent(), 3);
  const double amplitude = AmplitudeForSnr(20, 0.04f, kRate);
  for (double p : powers) EXPECT_NEAR(p, amplitude * amplitude, 1e-6);  // always a carrier
}

TEST(SondeSource, OutsideTheSpanSendsNothingButKeepsCounting) {
  Recorder recorder;
  auto sonde = Sonde(403.01e6, recorder);
  // Tuned 1 MHz away for the first two seconds, then onto it.
  const auto powers = RunBlocks(*sonde, 4, [](double t) { return t < 2 ? 404e6 : 403e6; });
  for (std::size_t k = 0; k < 40; ++k) EXPECT_EQ(powers[k], 0.0) << k;
  for (std::size_t k = 40; k < powers.size(); ++k) EXPECT_GT(powers[k], 0.0) << k;
  EXPECT_EQ(recorder.frames, (std::vector<long long>{2, 3}));  // frames 0 and 1 went unheard
  EXPECT_EQ(sonde->FramesSent(), 2);
}

TEST(SondeSource, ATimeJumpDoesNotBurstFrames) {
  Recorder recorder;
  auto sonde = Sonde(403.01e6, recorder, 0.5);
  std::vector<Sample> block(9600);  // 0.2 s: each frame is sent within its block
  const Tuning tuning{403e6, kRate, 0};
  sonde->Add(tuning, 0, block);
  sonde->Add(tuning, 100, block);  // a new client long after
  sonde->Add(tuning, 100.2, block);
  sonde->Add(tuning, 100.4, block);
  EXPECT_EQ(recorder.frames.size(), 2u);
  sonde->Add(tuning, 100.6, block);
  EXPECT_EQ(recorder.frames.size(), 3u);
}

// Frames back to back: each starts where the last ended (a frame is 0.1 s), none skipped,
// whatever the blocks' length.
TEST(SondeSource, BackToBackFramesLeaveNoGap) {
  Recorder recorder;
  auto sonde = Sonde(403.01e6, recorder, 1, true);
  RunBlocks(*sonde, 2, [](double) { return 403e6; });
  ASSERT_GE(recorder.frames.size(), 20u);
  for (std::size_t k = 1; k < recorder.frames.size(); ++k) {
    EXPECT_EQ(recorder.frames[k], recorder.frames[k - 1] + 1);
    EXPECT_NEAR(recorder.times[k] - recorder.times[k - 1], 0.1, 1e-9) << k;
  }
  EXPECT_EQ(sonde->FramesSent(), static_cast<long long>(recorder.frames.size()));
}

TEST(SondeSource, BackToBackFramesKeepCountingOutsideTheSpan) {
  Recorder recorder;
  auto sonde = Sonde(403.01e6, recorder, 1, true);
  RunBlocks(*sonde, 2, [](double t) { return t < 0.2 || t >= 1 ? 403e6 : 404e6; });
  ASSERT_FALSE(recorder.frames.empty());
  // 0.8 s unheard: about eight frames went by meanwhile.
  const auto resumed =
      std::find_if(recorder.times.begin(), recorder.times.end(), [](double t) { return t >= 1; });
  ASSERT_NE(resumed, recorder.times.end());
  const long long first_after =
      recorder.frames[static_cast<std::size_t>(resumed - recorder.times.begin())];
  EXPECT_GE(first_after, 9);
  EXPECT_LE(first_after, 12);
}

std::complex<double> ToneAt(std::span<const Sample> block, double offset_hz, double rate) {
  std::complex<double> sum = 0;
  for (std::size_t n = 0; n < block.size(); ++n) {
    sum += std::complex<double>(block[n]) *
           std::polar(1.0, -2 * std::numbers::pi * offset_hz * static_cast<double>(n) / rate);
  }
  return sum / static_cast<double>(block.size());
}

struct WideCase {
  std::string name;
  double frequency_hz;
};

class SondeWideStreamTest : public ::testing::TestWithParam<WideCase> {};

TEST_P(SondeWideStreamTest, CarrierAtItsOffsetWithoutImages) {
  SondeSignal signal;
  signal.frequency_hz = GetParam().frequency_hz;
  signal.snr_db = 20;
  SondeSource sonde(signal, 0.04f, [](long long, double) { return std::vector<std::uint8_t>(); });
  const Tuning tuning{403e6, 2048000, 0};
  std::vector<Sample> a(20480), b(20480);
  sonde.Add(tuning, 0, a);
  sonde.Add(tuning, 0.01, b);  // the second block: phase and interpolation carried over
  const double amplitude = AmplitudeForSnr(20, 0.04f, 2048000);
  const double offset = GetParam().frequency_hz - 403e6;
  EXPECT_NEAR(std::abs(ToneAt(b, offset, 2048000)), amplitude, amplitude * 0.01);
  for (double image : {-kModulatorMinRate, kModulatorMinRate, 2 * kModulatorMinRate}) {
    EXPECT_LT(std::abs(ToneAt(b, offset + image, 2048000)), amplitude * 0.03) << image;
  }
  std::vector<Sample> joined(a.end() - 2, a.end());
  joined.insert(joined.end(), b.begin(), b.begin() + 2);
  const auto turn = joined[1] / joined[0];
  for (std::size_t k = 2; k < joined.size(); ++k) {
    EXPECT_NEAR(std::abs(joined[k] / joined[k - 1] - turn), 0, 1e-3) << k;
  }
}

INSTANTIATE_TEST_SUITE_P(Offsets, SondeWideStreamTest,
                         ::testing::Values(WideCase{"Above", 403.3e6}, WideCase{"Below", 402.45e6},
                                           WideCase{"AtTheCentre", 403e6}),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace standin
