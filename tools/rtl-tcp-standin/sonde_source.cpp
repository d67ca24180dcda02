#include "sonde_source.h"

#include <cmath>

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
  const bool frame_due = t_seconds >= next_frame_t_;
  if (frame_due) {
    next_frame_t_ += signal_.frame_period_s;
    if (next_frame_t_ < t_seconds) next_frame_t_ = t_seconds + signal_.frame_period_s;
  }
  const double offset = ApparentOffsetHz(signal_.frequency_hz, tuning);
  if (!InSpan(offset, tuning.sample_rate)) {
    modulator_.reset();  // what it sent meanwhile is lost
    if (frame_due) ++frame_index_;
    return;
  }
  if (!modulator_ || modulator_rate_ != tuning.sample_rate) {
    receiver::FskConfig config;
    config.sample_rate = tuning.sample_rate;
    config.symbol_rate = signal_.symbol_rate;
    config.deviation_hz = signal_.deviation_hz;
    config.gaussian_bt = signal_.gaussian_bt;
    config.offset_hz = offset;
    config.amplitude = AmplitudeForSnr(signal_.snr_db, noise_sigma_, tuning.sample_rate);
    modulator_ = std::make_unique<receiver::FskModulator>(config);
    modulator_rate_ = tuning.sample_rate;
  }
  modulator_->SetOffset(offset);
  if (frame_due) {
    if (modulator_->Pending() == 0) {
      const auto symbols = frames_(frame_index_, t_seconds);
      modulator_->Queue(symbols);
      ++frames_sent_;
    }
    ++frame_index_;
  }
  modulator_->Generate(out);
}

}  // namespace standin
