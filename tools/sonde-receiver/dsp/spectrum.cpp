#include "dsp/spectrum.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <numbers>

namespace receiver {
namespace {
// FFTW's planner is not thread-safe; the scan may make spectra from several threads.
std::mutex& PlannerMutex() {
  static std::mutex mutex;
  return mutex;
}
}  // namespace

struct SpectrumAverager::State {
  int size = 0;
  fftwf_complex* in = nullptr;
  fftwf_complex* out = nullptr;
  fftwf_plan plan = nullptr;
  std::vector<float> window;
  std::vector<double> sum;  // power per bin, FFT order
  int filled = 0;           // samples in `in` waiting for a whole FFT
  int count = 0;
};

SpectrumAverager::SpectrumAverager(int fft_size) : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.size = std::max(16, fft_size);
  s.in = fftwf_alloc_complex(static_cast<std::size_t>(s.size));
  s.out = fftwf_alloc_complex(static_cast<std::size_t>(s.size));
  {
    std::lock_guard lock(PlannerMutex());
    s.plan = fftwf_plan_dft_1d(s.size, s.in, s.out, FFTW_FORWARD, FFTW_ESTIMATE);
  }
  s.window.resize(static_cast<std::size_t>(s.size));
  double power = 0;
  for (int i = 0; i < s.size; ++i) {
    s.window[i] = static_cast<float>(0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / s.size));
    power += s.window[i] * s.window[i];
  }
  // Scaled so that white noise of unit power reads 0 dB in every bin.
  const float scale = static_cast<float>(1.0 / std::sqrt(power));
  for (float& w : s.window) w *= scale;
  s.sum.assign(static_cast<std::size_t>(s.size), 0.0);
}

SpectrumAverager::~SpectrumAverager() {
  std::lock_guard lock(PlannerMutex());
  fftwf_destroy_plan(state_->plan);
  fftwf_free(state_->in);
  fftwf_free(state_->out);
}

void SpectrumAverager::Add(std::span<const std::complex<float>> samples) {
  State& s = *state_;
  for (std::size_t i = 0; i < samples.size();) {
    const std::size_t take =
        std::min(samples.size() - i, static_cast<std::size_t>(s.size - s.filled));
    for (std::size_t k = 0; k < take; ++k) {
      const std::complex<float> x = samples[i + k];
      const float w = s.window[static_cast<std::size_t>(s.filled) + k];
      const bool ok = std::isfinite(x.real()) && std::isfinite(x.imag());
      s.in[s.filled + static_cast<int>(k)][0] = ok ? x.real() * w : 0.0f;
      s.in[s.filled + static_cast<int>(k)][1] = ok ? x.imag() * w : 0.0f;
    }
    s.filled += static_cast<int>(take);
    i += take;
    if (s.filled == s.size) {
      fftwf_execute(s.plan);
      for (int b = 0; b < s.size; ++b) {
        s.sum[b] += static_cast<double>(s.out[b][0]) * s.out[b][0] +
                    static_cast<double>(s.out[b][1]) * s.out[b][1];
      }
      s.filled = 0;
      ++s.count;
    }
  }
}

int SpectrumAverager::Count() const {
  return state_->count;
}

std::vector<float> SpectrumAverager::PowerDb() const {
  const State& s = *state_;
  std::vector<float> db(static_cast<std::size_t>(s.size));
  const double n = std::max(1, s.count);
  for (int b = 0; b < s.size; ++b) {
    const int shifted = (b + s.size / 2) % s.size;  // DC to the middle
    db[shifted] = static_cast<float>(10 * std::log10(s.sum[b] / n + 1e-20));
  }
  return db;
}

void SpectrumAverager::Reset() {
  state_->sum.assign(state_->sum.size(), 0.0);
  state_->count = 0;
  state_->filled = 0;
}

std::vector<Peak> FindPeaks(const std::vector<float>& power_db, const PeakOptions& options) {
  std::vector<Peak> peaks;
  const int n = static_cast<int>(power_db.size());
  if (n < 16 || options.sample_rate <= 0) return peaks;
  const double bin_hz = options.sample_rate / n;
  auto freq = [&](double bin) { return (bin - n / 2) * bin_hz; };

  // A light smoothing (3 bins) steadies the few-average spectrum's noise.
  std::vector<float> smooth(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    float v = 0;
    int k = 0;
    for (int j = std::max(0, i - 1); j <= std::min(n - 1, i + 1); ++j, ++k) {
      v += std::isfinite(power_db[j]) ? power_db[j] : -200.0f;
    }
    smooth[i] = v / static_cast<float>(k);
  }
  std::vector<float> sorted = smooth;
  std::nth_element(sorted.begin(), sorted.begin() + n / 2, sorted.end());
  const float floor_db = sorted[n / 2];

  const int first = static_cast<int>(std::ceil(n * std::clamp(options.edge_fraction, 0.0, 0.45)));
  const int last = n - 1 - first;
  auto usable = [&](int i) {
    return i >= first && i <= last && std::abs(freq(i)) >= options.dc_guard_hz;
  };
  const float threshold = floor_db + 3.0f;
  const double floor_lin = std::pow(10.0, floor_db / 10.0);

  for (int i = 0; i < n;) {
    if (!usable(i) || smooth[i] <= threshold) {
      ++i;
      continue;
    }
    int end = i;
    while (end + 1 < n && usable(end + 1) && smooth[end + 1] > threshold) ++end;
    // The region i..end: its power above the floor, its centroid, its equivalent width.
    double excess_sum = 0, weighted = 0, excess_max = 0;
    float top = -1e9f;
    for (int j = i; j <= end; ++j) {
      const double excess =
          std::max(0.0, std::pow(10.0, (std::isfinite(power_db[j]) ? power_db[j] : -200.0) / 10.0) -
                            floor_lin);
      excess_sum += excess;
      weighted += excess * j;
      excess_max = std::max(excess_max, excess);
      top = std::max(top, smooth[j]);
    }
    const double width = (end - i + 1) * bin_hz;
    // A carrier's power is all in a bin or two, a sonde's spread over its band.
    const double equivalent = excess_max > 0 ? excess_sum / excess_max * bin_hz : 0;
    const double snr = top - floor_db;
    if (excess_sum > 0 && snr >= options.min_snr_db && equivalent >= options.min_width_hz &&
        width <= options.max_width_hz) {
      peaks.push_back({freq(weighted / excess_sum), snr, width});
    }
    i = end + 1;
  }
  std::sort(peaks.begin(), peaks.end(),
            [](const Peak& a, const Peak& b) { return a.snr_db > b.snr_db; });
  return peaks;
}

}  // namespace receiver
