#include "band_scene.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace standin {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

// Adds a carrier at `offset_hz`, carrying the phase over from block to block. The phasor
// turns by multiplication, not a cos and sin per sample: the simulator must keep real time.
void AddCarrier(double offset_hz, float amplitude, double sample_rate, double& phase,
                std::span<Sample> out) {
  const double step = kTwoPi * offset_hz / sample_rate;
  constexpr std::size_t kRenormalise = 1024;  // float rounding would drift the amplitude
  for (std::size_t start = 0; start < out.size(); start += kRenormalise) {
    const std::size_t end = std::min(out.size(), start + kRenormalise);
    std::complex<double> turn = std::polar(1.0, step);
    std::complex<double> phasor = std::polar(static_cast<double>(amplitude), phase);
    for (std::size_t k = start; k < end; ++k) {
      out[k] += Sample(static_cast<float>(phasor.real()), static_cast<float>(phasor.imag()));
      phasor *= turn;
    }
    phase = std::remainder(phase + step * static_cast<double>(end - start), kTwoPi);
  }
}

}  // namespace

double ApparentOffsetHz(double frequency_hz, const Tuning& tuning) {
  return frequency_hz - tuning.center_hz * (1 + tuning.ppm_error / 1e6);
}

bool InSpan(double offset_hz, double sample_rate) {
  return std::abs(offset_hz) < kUsableSpan * sample_rate;
}

double NoisePowerIn(double bandwidth_hz, double noise_sigma, double sample_rate) {
  return 2 * noise_sigma * noise_sigma * bandwidth_hz / sample_rate;
}

CwSource::CwSource(double frequency_hz, float amplitude)
    : frequency_hz_(frequency_hz), amplitude_(amplitude) {}

void CwSource::Add(const Tuning& tuning, double, std::span<Sample> out) {
  const double offset = ApparentOffsetHz(frequency_hz_, tuning);
  if (!InSpan(offset, tuning.sample_rate)) return;
  AddCarrier(offset, amplitude_, tuning.sample_rate, phase_, out);
}

SpurSource::SpurSource(double offset_hz, float amplitude)
    : offset_hz_(offset_hz), amplitude_(amplitude) {}

void SpurSource::Add(const Tuning& tuning, double, std::span<Sample> out) {
  if (!InSpan(offset_hz_, tuning.sample_rate)) return;
  AddCarrier(offset_hz_, amplitude_, tuning.sample_rate, phase_, out);
}

FmVoiceSource::FmVoiceSource(double frequency_hz, float amplitude, std::uint32_t seed)
    : frequency_hz_(frequency_hz), amplitude_(amplitude), random_(seed) {}

void FmVoiceSource::Add(const Tuning& tuning, double t_seconds, std::span<Sample> out) {
  const double offset = ApparentOffsetHz(frequency_hz_, tuning);
  if (!InSpan(offset, tuning.sample_rate)) return;
  const double dt = 1 / tuning.sample_rate;
  // Three tones with a slow warble, like speech's formants, plus hiss; peaks stay within ±1.
  // The audio changes slowly against the sample rate: it is worked out every kAudioStep
  // samples, and the carrier turns by a fixed step in between.
  constexpr double kTones[] = {440, 1020, 1730};
  constexpr std::size_t kAudioStep = 16;
  for (std::size_t start = 0; start < out.size(); start += kAudioStep) {
    const double t = t_seconds + static_cast<double>(start) * dt;
    double audio = 0;
    for (double f : kTones) audio += std::sin(kTwoPi * f * t) / 4;
    audio *= 0.5 + 0.5 * std::sin(kTwoPi * 3.1 * t);
    audio += std::clamp(hiss_(random_), -1.0f, 1.0f) / 4;
    const double step = kTwoPi * (offset + kDeviationHz * audio) * dt;
    const std::size_t end = std::min(out.size(), start + kAudioStep);
    const std::complex<double> turn = std::polar(1.0, step);
    std::complex<double> phasor = std::polar(static_cast<double>(amplitude_), phase_);
    for (std::size_t k = start; k < end; ++k) {
      out[k] += Sample(static_cast<float>(phasor.real()), static_cast<float>(phasor.imag()));
      phasor *= turn;
    }
    phase_ = std::remainder(phase_ + step * static_cast<double>(end - start), kTwoPi);
  }
}

BandScene::BandScene(float noise_sigma, std::uint32_t seed)
    : noise_sigma_(noise_sigma), random_(seed) {
  // Drawing two Gaussian numbers per sample costs more than real time allows on a small
  // machine, so the noise is read from a table at a random place for each stretch. The table
  // is long against any block, so nothing repeats within one.
  if (noise_sigma_ > 0) {
    std::normal_distribution<float> gauss(0.0f, noise_sigma_);
    noise_table_.resize(kNoiseTable);
    for (auto& s : noise_table_) s = Sample(gauss(random_), gauss(random_));
  }
}

void BandScene::AddSource(std::unique_ptr<SignalSource> source) {
  sources_.push_back(std::move(source));
}

void BandScene::Render(const Tuning& tuning, double t_seconds, std::span<Sample> out) {
  if (noise_sigma_ > 0) {
    constexpr std::size_t kStretch = 4096;
    for (std::size_t start = 0; start < out.size(); start += kStretch) {
      const std::size_t n = std::min(kStretch, out.size() - start);
      const std::size_t at = random_() % (kNoiseTable - kStretch);
      std::copy_n(noise_table_.begin() + static_cast<std::ptrdiff_t>(at), n,
                  out.begin() + static_cast<std::ptrdiff_t>(start));
    }
  } else {
    std::fill(out.begin(), out.end(), Sample{});
  }
  for (auto& source : sources_) source->Add(tuning, t_seconds, out);
}

void QuantiseU8(std::span<const Sample> samples, Sample dc, std::vector<std::uint8_t>& out) {
  out.resize(samples.size() * 2);
  auto to_byte = [](float x) {
    const float v = std::round(127.4f + 128.0f * x);
    return static_cast<std::uint8_t>(std::clamp(v, 0.0f, 255.0f));
  };
  for (std::size_t k = 0; k < samples.size(); ++k) {
    const Sample s = samples[k] + dc;
    out[2 * k] = to_byte(std::isfinite(s.real()) ? s.real() : 0.0f);
    out[2 * k + 1] = to_byte(std::isfinite(s.imag()) ? s.imag() : 0.0f);
  }
}

}  // namespace standin
