#pragma once
// What a dongle tuned to a centre would see of a simulated band: Gaussian noise, the signals
// that fall inside its span at their offset, its own spur, its frequency error and its DC
// offset, quantised to u8 I/Q as it sends them. Pure: no clock and no sockets; the time of a
// block is given by the caller.

#include <complex>
#include <cstdint>
#include <memory>
#include <random>
#include <span>
#include <vector>

namespace standin {

using Sample = std::complex<float>;

// Where the simulated dongle is tuned, and how wrong its crystal is (what the simulation
// says, less the correction the client asked for).
struct Tuning {
  double center_hz = 403e6;
  double sample_rate = 2048000;
  double ppm_error = 0;
};

// An absolute frequency's place in the stream: a crystal `ppm_error` fast tunes the dongle
// above the centre asked for, so every signal appears lower by centre * ppm / 1e6.
double ApparentOffsetHz(double frequency_hz, const Tuning& tuning);
// The dongle's filters pass a little less than the sample rate.
bool InSpan(double offset_hz, double sample_rate);
inline constexpr double kUsableSpan = 0.45;  // of the sample rate, either side of the centre

// Noise power (both components together) in a bandwidth, for levels given against the noise.
double NoisePowerIn(double bandwidth_hz, double noise_sigma, double sample_rate);

class SignalSource {
 public:
  virtual ~SignalSource() = default;
  // Adds this source's samples for the block that starts at `t_seconds`.
  virtual void Add(const Tuning& tuning, double t_seconds, std::span<Sample> out) = 0;
};

// An unmodulated carrier at an absolute frequency.
class CwSource : public SignalSource {
 public:
  CwSource(double frequency_hz, float amplitude);
  void Add(const Tuning& tuning, double t_seconds, std::span<Sample> out) override;

 private:
  double frequency_hz_;
  float amplitude_;
  double phase_ = 0;
};

// A carrier at a fixed offset from whatever centre is tuned: the dongle's own spur.
class SpurSource : public SignalSource {
 public:
  SpurSource(double offset_hz, float amplitude);
  void Add(const Tuning& tuning, double t_seconds, std::span<Sample> out) override;

 private:
  double offset_hz_;
  float amplitude_;
  double phase_ = 0;
};

// An FM voice channel: a carrier swung ±3 kHz by a few audio tones and some noise.
class FmVoiceSource : public SignalSource {
 public:
  FmVoiceSource(double frequency_hz, float amplitude, std::uint32_t seed);
  void Add(const Tuning& tuning, double t_seconds, std::span<Sample> out) override;
  static constexpr double kDeviationHz = 3000;

 private:
  double frequency_hz_;
  float amplitude_;
  double phase_ = 0;
  std::mt19937 random_;
  std::normal_distribution<float> hiss_{0.0f, 0.15f};
};

class BandScene {
 public:
  // `noise_sigma`: the noise's standard deviation in each of I and Q, in [-1, 1] units.
  BandScene(float noise_sigma, std::uint32_t seed);

  void AddSource(std::unique_ptr<SignalSource> source);
  float NoiseSigma() const { return noise_sigma_; }

  // The block starting at `t_seconds`: noise plus every source (before quantising).
  void Render(const Tuning& tuning, double t_seconds, std::span<Sample> out);

 private:
  float noise_sigma_;
  static constexpr std::size_t kNoiseTable = 1 << 18;
  std::mt19937 random_;
  std::vector<Sample> noise_table_;
  std::vector<std::unique_ptr<SignalSource>> sources_;
};

// The dongle's DC offset (a small spike at the centre), in [-1, 1] units.
inline constexpr Sample kDongleDc{0.012f, -0.008f};

// To the dongle's bytes: I then Q, 127.4 + 128 x, rounded and clipped to 0..255.
void QuantiseU8(std::span<const Sample> samples, Sample dc, std::vector<std::uint8_t>& out);

}  // namespace standin
