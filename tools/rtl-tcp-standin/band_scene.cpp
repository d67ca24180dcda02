#include "band_scene.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace standin {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

// Adds a carrier at `offset_hz`, carrying the phase over from block to block.
void AddCarrier(double offset_hz, float amplitude, double sample_rate, double& phase,
                std::span<Sample> out) {
  const double step = kTwoPi * offset_hz / sample_rate;
  for (auto& s : out) {
    s += amplitude *
         Sample(static_cast<float>(std::cos(phase)), static_cast<float>(std::sin(phase)));
    phase += step;
  }
  phase = std::remainder(phase, kTwoPi);
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
  constexpr double kTones[] = {440, 1020, 1730};
  for (std::size_t k = 0; k < out.size(); ++k) {
    const double t = t_seconds + static_cast<double>(k) * dt;
    double audio = 0;
    for (double f : kTones) audio += std::sin(kTwoPi * f * t) / 4;
    audio *= 0.5 + 0.5 * std::sin(kTwoPi * 3.1 * t);
    audio += std::clamp(hiss_(random_), -1.0f, 1.0f) / 4;
    phase_ += kTwoPi * (offset + kDeviationHz * audio) * dt;
    out[k] += amplitude_ *
              Sample(static_cast<float>(std::cos(phase_)), static_cast<float>(std::sin(phase_)));
  }
  phase_ = std::remainder(phase_, kTwoPi);
}

BandScene::BandScene(float noise_sigma, std::uint32_t seed)
    : noise_sigma_(noise_sigma),
      random_(seed),
      noise_(0.0f, noise_sigma > 0 ? noise_sigma : 1.0f) {}

void BandScene::AddSource(std::unique_ptr<SignalSource> source) {
  sources_.push_back(std::move(source));
}

void BandScene::Render(const Tuning& tuning, double t_seconds, std::span<Sample> out) {
  if (noise_sigma_ > 0) {
    for (auto& s : out) s = Sample(noise_(random_), noise_(random_));
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
