#include "scan/band_plan.h"

#include <algorithm>
#include <cmath>

namespace receiver {

BandPlan::BandPlan(const BandPlanConfig& config) : config_(config) {
  const double usable = config.sample_rate * std::clamp(config.usable_fraction, 0.1, 1.0);
  const double half = usable / 2;
  const double guard = std::clamp(config.dc_guard_hz, 0.0, half / 4);
  const double low = std::min(config.low_hz, config.high_hz);
  const double high = std::max(config.low_hz, config.high_hz);
  // A neighbour at most this far away still sees the blind middle of a span in its own clear
  // part, with a little to spare.
  const double step = std::max(half - guard * 2, 1.0);
  const double first = low + half;
  const double last = high - half;
  std::vector<double> centers;
  if (last <= first + step) {
    // The band fits (almost) in one span: two, side by side, cover each other's DC guard.
    const double mid = (low + high) / 2;
    const double apart = std::min(step, std::max(last - first, guard * 4));
    centers = {mid - apart / 2, mid + apart / 2};
  } else {
    const int count = static_cast<int>(std::ceil((last - first) / step)) + 1;
    const double spacing = (last - first) / (count - 1);
    for (int i = 0; i < count; ++i) centers.push_back(first + spacing * i);
  }
  for (double center : centers) spans_.push_back({center, center - half, center + half});
  config_.dc_guard_hz = guard;
}

double BandPlan::Margin(std::size_t index, double hz) const {
  if (index >= spans_.size()) return -1;
  const Span& span = spans_[index];
  const double to_edge = std::min(hz - span.low_hz, span.high_hz - hz);
  const double to_dc = std::abs(hz - span.center_hz) - config_.dc_guard_hz;
  return std::min(to_edge, to_dc);
}

bool BandPlan::Covers(std::size_t index, double hz) const {
  return Margin(index, hz) > 0;
}

std::optional<std::size_t> BandPlan::BestSpanFor(double hz) const {
  std::optional<std::size_t> best;
  double best_margin = 0;
  for (std::size_t i = 0; i < spans_.size(); ++i) {
    const double margin = Margin(i, hz);
    if (margin > best_margin) {
      best = i;
      best_margin = margin;
    }
  }
  return best;
}

}  // namespace receiver
