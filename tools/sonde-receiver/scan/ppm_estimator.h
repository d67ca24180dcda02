#pragma once
// The dongle's frequency error, learnt from the RS41s: each frame says the frequency it is
// sent on (kHz), and we know where we see it. The error is the median over the recent
// frames, so one odd frame or a sonde set a few kHz off does not move it. Positive when the
// dongle sees frequencies too low (its crystal runs fast), as rtl_sdr's -p takes it.

#include <cstddef>
#include <deque>
#include <optional>
#include <string>

namespace receiver {

class PpmEstimator {
 public:
  explicit PpmEstimator(double initial_ppm = 0, std::size_t window = 31);

  // One RS41 frame: what it says it sends on, and where we saw it.
  void AddRs41(int tx_frequency_khz, double seen_hz, const std::string& serial);
  double Ppm() const { return ppm_; }
  bool Learnt() const { return !errors_.empty(); }
  // The serial of the frame that last moved the estimate.
  const std::string& From() const { return from_; }

  // The frequency the sonde sends on, with the dongle's error taken off.
  double CorrectedHz(double seen_hz) const;
  int CorrectedKhz(double seen_hz) const;

  // A new estimate more than `threshold_ppm` away from the last one announced, once.
  std::optional<double> TakeChange(double threshold_ppm = 1.0);

 private:
  std::size_t window_;
  std::deque<double> errors_;
  double ppm_;
  double announced_;
  std::string from_;
};

}  // namespace receiver
