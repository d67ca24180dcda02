// The engine with the real DSP and the RS41 decoder, on a synthetic band: a sonde from our own
// modulator and encoder, in noise, read through a fake source that tunes like a dongle.

#include <gtest/gtest.h>

#if NIMBRIX_RECEIVER_FULL

#include <cmath>
#include <sstream>

#include "app/dsp_parts.h"
#include "app/engine.h"
#include "dsp/fsk_modulator.h"
#include "rs41/rs41_encoder.h"

namespace receiver {
namespace {

constexpr double kRate = 384000;  // a slow dongle keeps the test small: 8 x the channel rate

class SyntheticBand : public IqSource {
 public:
  SyntheticBand(double tx_hz, double ppm, double seconds)
      : tx_hz_(tx_hz), ppm_(ppm), total_(static_cast<long long>(seconds * kRate)), modulator_([&] {
          FskConfig config;
          config.sample_rate = kRate;
          config.symbol_rate = 4800;
          config.deviation_hz = 2400;
          config.gaussian_bt = 0.5;
          config.amplitude = 0.3f;
          return config;
        }()) {
    Tune(403.3e6);
  }
  bool Tune(double center_hz) override {
    center_ = center_hz;
    // A fast crystal tunes above the centre asked: the sonde shows lower.
    modulator_.SetOffset(tx_hz_ - center_hz * (1 + ppm_ * 1e-6));
    return true;
  }
  double CenterHz() const override { return center_; }
  double SampleRate() const override { return kRate; }
  ReadStatus Read(std::vector<std::complex<float>>& out, std::size_t max, int) override {
    if (sent_ >= total_) return ReadStatus::kEnd;
    const std::size_t n = std::min<std::size_t>(max, static_cast<std::size_t>(total_ - sent_));
    // One frame a second, as the sonde sends them.
    if (sent_ >= next_frame_at_) {
      Rs41Telemetry t;
      t.serial = "S2410203";
      t.frame = frame_++;
      t.gps_week = 2400;
      t.gps_tow_s = 300000 + t.frame;
      t.lat_deg = 48.1;
      t.lon_deg = 11.5;
      t.alt_m = 1200;
      t.vel_up_ms = 5;
      t.sats = 9;
      t.batt_v = 2.9;
      t.tx_frequency_khz = static_cast<int>(std::lround(tx_hz_ / 1000));
      std::vector<std::uint8_t> symbols = Rs41AirSymbols(BuildRs41AirFrame(t));
      // The rest of the second is not a bare carrier: the sonde keeps modulating.
      while (symbols.size() < 4800) symbols.push_back(static_cast<std::uint8_t>(Bits() & 1));
      modulator_.Queue(symbols);
      next_frame_at_ += static_cast<long long>(kRate);
    }
    const std::size_t start = out.size();
    out.resize(start + n);
    for (std::size_t i = start; i < out.size(); ++i) out[i] = {Noise(), Noise()};
    modulator_.Generate(std::span(out).subspan(start));
    sent_ += static_cast<long long>(n);
    return ReadStatus::kOk;
  }
  std::string TakeEvent() override { return ""; }

 private:
  // A small xorshift: the same band on every run.
  std::uint64_t Bits() {
    seed_ ^= seed_ << 13;
    seed_ ^= seed_ >> 7;
    seed_ ^= seed_ << 17;
    return seed_;
  }
  float Noise() { return (static_cast<float>(Bits() % 2001) / 1000.0f - 1.0f) * 0.02f; }

  double tx_hz_, ppm_;
  long long total_;
  FskModulator modulator_;
  double center_ = 0;
  long long sent_ = 0;
  long long next_frame_at_ = 0;
  long frame_ = 5094;  // the frequency is in the calibration fragment of frame 5100 (51 x 100)
  std::uint64_t seed_ = 0x2545F4914F6CDD1Dull;
};

TEST(SlowReceiverEndToEnd, Rs41FoundAndDecodedWithTheDongleErrorTakenOff) {
  SyntheticBand band(403500000, 20, 14);
  EngineConfig config;
  config.band = {403.2e6, 403.8e6, kRate, 0.78, 3000};
  config.book.sample_rate = kRate;
  config.block_samples = 16384;
  DspPartsConfig parts_config;
  parts_config.sample_rate = kRate;
  std::unique_ptr<ReceiverParts> parts = MakeDspParts(parts_config);
  ASSERT_TRUE(parts);
  std::ostringstream out, log;
  Engine engine(band, *parts, config, out, log);
  while (engine.RunOnce(0)) {
  }
  std::istringstream lines(out.str());
  std::vector<std::string> frames;
  for (std::string line; std::getline(lines, line);) frames.push_back(line);
  ASSERT_GE(frames.size(), 3u) << log.str();
  for (const std::string& frame : frames) {
    EXPECT_EQ(frame.rfind(R"({ "type": "RS41", "frame": )", 0), 0u) << frame;
    EXPECT_NE(frame.find(R"("id": "S2410203")"), std::string::npos) << frame;
  }
  // After the first frame the error is known and the line says where the sonde sends.
  EXPECT_NE(frames.back().find(R"("freq": 403500, "tx_frequency": 403500)"), std::string::npos)
      << frames.back();
  EXPECT_NE(log.str().find("dongle error: +20."), std::string::npos) << log.str();
  EXPECT_NE(log.str().find(" MHz RS41 S2410203: first frame\n"), std::string::npos) << log.str();
}

}  // namespace
}  // namespace receiver

#endif
