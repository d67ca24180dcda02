#pragma once
// A sonde on the air: a carrier at its frequency, FSK-modulated by one frame every period
// (a bare carrier in between) or by frames back to back, at a level given against the noise in 10
// kHz (about a sonde's occupied bandwidth).

#include <functional>
#include <memory>

#include "band_scene.h"
#include "dsp/fsk_modulator.h"

namespace standin {

struct SondeSignal {
  double frequency_hz = 403e6;
  double symbol_rate = 4800;
  double deviation_hz = 2400;
  double gaussian_bt = 0.5;
  double frame_period_s = 1;
  double snr_db = 20;
  // Frames follow each other with no gap between them (a DFM): the period is their own length.
  bool back_to_back = false;
  bool inverted = false;  // 1 sent on the lower frequency
};

inline constexpr double kSnrBandwidthHz = 10000;
// The modulator's own rate is at least this: its images, a multiple of it away from the
// sonde, are then more than 30 dB down.
inline constexpr double kModulatorMinRate = 256000;

// The symbols of frame number `frame_index`, sent at `t_seconds` of the simulation.
using FrameSymbols =
    std::function<std::vector<std::uint8_t>(long long frame_index, double t_seconds)>;

// The amplitude that puts a carrier `snr_db` above the noise in kSnrBandwidthHz.
float AmplitudeForSnr(double snr_db, float noise_sigma, double sample_rate);

class SondeSource : public SignalSource {
 public:
  SondeSource(const SondeSignal& signal, float noise_sigma, FrameSymbols frames);
  void Add(const Tuning& tuning, double t_seconds, std::span<Sample> out) override;
  long long FramesSent() const { return frames_sent_; }

 private:
  SondeSignal signal_;
  float noise_sigma_;
  FrameSymbols frames_;
  // The modulator runs at a fraction of the stream's rate, at baseband; its samples are
  // interpolated up and mixed to the sonde's offset here: at the full 2 MS/s, three sondes
  // cost more than real time allows.
  std::unique_ptr<receiver::FskModulator> modulator_;
  double modulator_rate_ = 0;
  int decimation_ = 1;
  int sub_ = 0;  // the place between last_ and next_, in stream samples
  Sample last_{}, next_{};
  std::vector<Sample> low_;
  double mix_phase_ = 0;
  double next_frame_t_ = 0;
  double last_frame_s_ = 0;  // back to back: how long the last frame lasted
  long long frame_index_ = 0;
  long long frames_sent_ = 0;
};

}  // namespace standin
