#include "sonde_source.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace standin {

float AmplitudeForSnr(double snr_db, float noise_sigma, double sample_rate) {
  const double power =
      std::pow(10.0, snr_db / 10) * NoisePowerIn(kSnrBandwidthHz, noise_sigma, sample_rate);
  return static_cast<float>(std::sqrt(power));
}

SondeSource::SondeSource(const SondeSignal& signal, float noise_sigma, FrameSymbols frames)
    : signal_(signal), noise_sigma_(noise_sigma), frames_(std::move(frames)) {}

void SondeSource::Add(const Tuning& tuning, double t_seconds, std::span<Sample> out) {
  // The sonde sends whether or not anyone listens: its frames keep their schedule.
  const bool frame_due = !signal_.back_to_back && t_seconds >= next_frame_t_;
  if (frame_due) {
    next_frame_t_ += signal_.frame_period_s;
    if (next_frame_t_ < t_seconds) next_frame_t_ = t_seconds + signal_.frame_period_s;
  }
  const double offset = ApparentOffsetHz(signal_.frequency_hz, tuning);
  if (!InSpan(offset, tuning.sample_rate)) {
    modulator_.reset();  // what it sent meanwhile is lost
    if (frame_due) ++frame_index_;
    if (signal_.back_to_back) {
      const double end = t_seconds + static_cast<double>(out.size()) / tuning.sample_rate;
      while (next_frame_t_ < end && last_frame_s_ > 0) {
        next_frame_t_ += last_frame_s_;
        ++frame_index_;
      }
    }
    return;
  }
  if (!modulator_ || modulator_rate_ != tuning.sample_rate) {
    decimation_ = std::max(1, static_cast<int>(tuning.sample_rate / kModulatorMinRate));
    receiver::FskConfig config;
    config.sample_rate = tuning.sample_rate / decimation_;
    config.symbol_rate = signal_.symbol_rate;
    config.deviation_hz = signal_.inverted ? -signal_.deviation_hz : signal_.deviation_hz;
    config.gaussian_bt = signal_.gaussian_bt;
    config.offset_hz = 0;
    config.amplitude = AmplitudeForSnr(signal_.snr_db, noise_sigma_, tuning.sample_rate);
    modulator_ = std::make_unique<receiver::FskModulator>(config);
    modulator_rate_ = tuning.sample_rate;
    sub_ = 0;
    Sample first[1] = {};
    modulator_->Generate(first);
    last_ = next_ = first[0];
  }
  if (frame_due) {
    if (modulator_->Pending() == 0) {
      const auto symbols = frames_(frame_index_, t_seconds);
      modulator_->Queue(symbols);
      ++frames_sent_;
    }
    ++frame_index_;
  }
  if (signal_.back_to_back && signal_.symbol_rate > 0) {
    // Enough queued for this block and a symbol over, so the frames never leave a gap.
    const double block_s = static_cast<double>(out.size()) / tuning.sample_rate;
    const auto wanted = static_cast<std::size_t>(std::ceil(block_s * signal_.symbol_rate)) + 2;
    while (modulator_->Pending() < wanted) {
      const double start_t =
          t_seconds + static_cast<double>(modulator_->Pending()) / signal_.symbol_rate;
      const auto symbols = frames_(frame_index_, start_t);
      if (symbols.empty()) break;
      modulator_->Queue(symbols);
      last_frame_s_ = static_cast<double>(symbols.size()) / signal_.symbol_rate;
      next_frame_t_ = start_t + last_frame_s_;
      ++frame_index_;
      ++frames_sent_;
    }
  }

  const std::size_t advances =
      (static_cast<std::size_t>(sub_) + out.size()) / static_cast<std::size_t>(decimation_);
  low_.assign(advances, Sample{});
  modulator_->Generate(low_);
  std::size_t next_low = 0;
  const double step = 2 * std::numbers::pi * offset / tuning.sample_rate;
  const float per_sub = 1.0f / static_cast<float>(decimation_);
  constexpr std::size_t kRenormalise = 1024;
  for (std::size_t start = 0; start < out.size(); start += kRenormalise) {
    const std::size_t end = std::min(out.size(), start + kRenormalise);
    const std::complex<double> turn = std::polar(1.0, step);
    std::complex<double> phasor = std::polar(1.0, mix_phase_);
    for (std::size_t k = start; k < end; ++k) {
      const Sample s = last_ + (next_ - last_) * (static_cast<float>(sub_) * per_sub);
      out[k] += s * Sample(static_cast<float>(phasor.real()), static_cast<float>(phasor.imag()));
      phasor *= turn;
      if (++sub_ == decimation_) {
        sub_ = 0;
        last_ = next_;
        next_ = low_[next_low++];
      }
    }
    mix_phase_ =
        std::remainder(mix_phase_ + step * static_cast<double>(end - start), 2 * std::numbers::pi);
  }
}

}  // namespace standin
