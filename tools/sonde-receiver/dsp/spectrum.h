#pragma once
// The scan's eyes: an averaged power spectrum of the wide stream (FFTW), and the peaks in it
// that look like a sonde: standing out of the noise floor, with a sonde's width (narrow
// spikes, the dongle's own spurs and the DC spike dropped).

#include <complex>
#include <memory>
#include <span>
#include <vector>

namespace receiver {

class SpectrumAverager {
 public:
  explicit SpectrumAverager(int fft_size);
  ~SpectrumAverager();
  SpectrumAverager(const SpectrumAverager&) = delete;
  SpectrumAverager& operator=(const SpectrumAverager&) = delete;

  void Add(std::span<const std::complex<float>> samples);  // any length; whole FFTs are taken
  int Count() const;                                       // FFTs averaged so far
  std::vector<float> PowerDb() const;  // fft_size bins, DC in the middle (bin fft_size/2)
  void Reset();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

struct Peak {
  double offset_hz;  // the peak's centre relative to the stream's centre
  double snr_db;     // above the noise floor
  double width_hz;   // where it is more than 3 dB above the floor
};

struct PeakOptions {
  double sample_rate = 2048000;
  double min_snr_db = 6;
  double min_width_hz = 2500;   // narrower is a carrier or a spur, not a sonde
  double max_width_hz = 30000;  // wider is broadcast or wideband junk
  double edge_fraction = 0.1;   // the filter's roll-off at both ends of the span: not looked at
  double dc_guard_hz = 10000;   // around the dongle's DC spike
};

// Strongest first.
std::vector<Peak> FindPeaks(const std::vector<float>& power_db, const PeakOptions& options);

}  // namespace receiver
