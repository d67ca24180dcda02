#include "dsp/symbol_slicer.h"

#include <algorithm>
#include <cmath>
#include <deque>

namespace receiver {

// Clock: the next symbol boundary, in samples, moved a little toward every zero crossing.
// Decision: the sign of the mean-free signal summed over the middle of the symbol, where a
// Gaussian-filtered symbol has reached its level.
struct SymbolSlicer::State {
  double sps = 10;         // samples per symbol
  double mean_window = 0;  // samples in the running mean once it has filled
  double mean = 0;
  double mean_count = 0;
  double n = 0;              // samples seen
  double next_boundary = 0;  // sample time of the next symbol boundary
  double prev = 0;           // the previous mean-free sample
  double acc = 0;
  int smooth_len = 1;
  std::deque<double> smooth;
  double smooth_sum = 0;
  bool have_prev = false;
  bool mean_fixed = false;
};

namespace {
constexpr double kClockGain = 0.08;
constexpr double kMeanSymbols = 1000;  // long against a run of equal symbols
}  // namespace

SymbolSlicer::SymbolSlicer(double sample_rate, double symbol_rate)
    : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.sps = (symbol_rate > 0 && sample_rate > symbol_rate) ? sample_rate / symbol_rate : 2.0;
  s.mean_window = s.sps * kMeanSymbols;
  s.smooth_len = std::max(1, static_cast<int>(s.sps / 4));
  s.next_boundary = s.sps;
}

SymbolSlicer::~SymbolSlicer() = default;

double SymbolSlicer::MeanHz() const {
  return state_->mean;
}

void SymbolSlicer::FixMean(double hz) {
  state_->mean = hz;
  state_->mean_fixed = true;
}

void SymbolSlicer::ShiftMean(double hz) {
  State& s = *state_;
  if (!std::isfinite(hz)) return;
  s.mean += hz;
  // What is already smoothed was taken around the old mean.
  for (double& v : s.smooth) v -= hz;
  s.smooth_sum -= hz * static_cast<double>(s.smooth.size());
  s.prev -= hz;
}

void SymbolSlicer::Process(std::span<const float> demod, std::vector<std::uint8_t>& symbols) {
  State& s = *state_;
  for (float raw : demod) {
    const double x_in = std::isfinite(raw) ? raw : 0.0;
    // The mean: a plain average until the window is full, a one-pole average after.
    if (!s.mean_fixed) {
      if (s.mean_count < s.mean_window) s.mean_count += 1;
      s.mean += (x_in - s.mean) / s.mean_count;
    }

    s.smooth.push_back(x_in - s.mean);
    s.smooth_sum += s.smooth.back();
    if (static_cast<int>(s.smooth.size()) > s.smooth_len) {
      s.smooth_sum -= s.smooth.front();
      s.smooth.pop_front();
    }
    const double x = s.smooth_sum / static_cast<double>(s.smooth.size());

    if (s.have_prev && ((s.prev < 0) != (x < 0)) && s.prev != x) {
      const double crossing = s.n - 1 + s.prev / (s.prev - x);
      double phase = (crossing - s.next_boundary) / s.sps;
      phase -= std::round(phase);  // to the nearest boundary, -0.5..0.5 of a symbol
      s.next_boundary += kClockGain * phase * s.sps;
    }
    s.prev = x;
    s.have_prev = true;

    const double place = 1.0 - (s.next_boundary - s.n) / s.sps;  // 0..1 through the symbol
    if (place > 0.25 && place < 0.75) s.acc += x;

    s.n += 1;
    while (s.n >= s.next_boundary) {
      symbols.push_back(s.acc > 0 ? 1 : 0);
      s.acc = 0;
      s.next_boundary += s.sps;
    }
  }
}

}  // namespace receiver
