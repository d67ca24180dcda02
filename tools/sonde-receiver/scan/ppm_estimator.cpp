#include "scan/ppm_estimator.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace receiver {

namespace {
// Farther than this from the band, a frame's tx_frequency or our view of it is wrong.
constexpr double kMaxPlausiblePpm = 200;
}  // namespace

PpmEstimator::PpmEstimator(double initial_ppm, std::size_t window)
    : window_(std::max<std::size_t>(window, 1)), ppm_(initial_ppm), announced_(initial_ppm) {}

void PpmEstimator::AddRs41(int tx_frequency_khz, double seen_hz, const std::string& serial) {
  const double tx_hz = tx_frequency_khz * 1000.0;
  if (tx_hz < 1e6 || !std::isfinite(seen_hz)) return;
  const double error = (tx_hz - seen_hz) / tx_hz * 1e6;
  if (std::abs(error) > kMaxPlausiblePpm) return;
  errors_.push_back(error);
  while (errors_.size() > window_) errors_.pop_front();
  std::vector<double> sorted(errors_.begin(), errors_.end());
  std::sort(sorted.begin(), sorted.end());
  const std::size_t n = sorted.size();
  ppm_ = n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
  from_ = serial;
}

double PpmEstimator::CorrectedHz(double seen_hz) const {
  return seen_hz / (1 - ppm_ * 1e-6);
}

int PpmEstimator::CorrectedKhz(double seen_hz) const {
  return static_cast<int>(std::lround(CorrectedHz(seen_hz) / 1000));
}

std::optional<double> PpmEstimator::TakeChange(double threshold_ppm) {
  if (!Learnt() || std::abs(ppm_ - announced_) <= threshold_ppm) return std::nullopt;
  announced_ = ppm_;
  return ppm_;
}

}  // namespace receiver
