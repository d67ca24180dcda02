#include "dsp/channel.h"

#include <liquid/liquid.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace receiver {
namespace {

constexpr float kStopbandDb = 60;

std::vector<float> KaiserTaps(double transition, double cutoff) {
  transition = std::clamp(transition, 0.001, 0.45);
  cutoff = std::clamp(cutoff, 0.001, 0.49);
  unsigned n = estimate_req_filter_len(static_cast<float>(transition), kStopbandDb);
  n = std::clamp(n, 7u, 1023u) | 1u;
  std::vector<float> taps(n);
  liquid_firdes_kaiser(n, static_cast<float>(cutoff), kStopbandDb, 0.0f, taps.data());
  // Unity gain at DC: the discriminator does not care, but the tests' levels do.
  float sum = 0;
  for (float t : taps) sum += t;
  for (float& t : taps) t /= sum;
  return taps;
}

}  // namespace

// The chain: NCO at the wide rate, an integer polyphase decimation that only guards the
// channel against aliases, a fractional resampler to the channel rate, the channel filter of
// the configured width there (cheap at the low rate), then the discriminator.
struct Channel::State {
  ChannelConfig config;
  unsigned decimation = 1;
  double mid_rate = 0;
  // The mixer: eight phasors a sample apart, each stepping eight samples at a time, so the
  // loop has no chain from one sample to the next and the compiler can vectorise it.
  static constexpr int kLanes = 8;
  float rot_re[kLanes] = {}, rot_im[kLanes] = {};
  float step_re = 1, step_im = 0;
  firdecim_crcf decim = nullptr;
  msresamp_crcf resamp = nullptr;
  firfilt_crcf filter = nullptr;
  std::vector<std::complex<float>> carry;  // wide samples short of a whole decimation
  std::vector<std::complex<float>> mixed, mid, resampled, filtered;
  std::complex<float> last{1, 0};
};

Channel::Channel(const ChannelConfig& config) : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.config = config;
  // Nonsense rates become usable ones rather than a division by zero.
  ChannelConfig& c = s.config;
  if (!(c.input_rate >= 8000) || !std::isfinite(c.input_rate)) c.input_rate = 2048000;
  if (!(c.channel_rate >= 8000) || !(c.channel_rate <= c.input_rate)) {
    c.channel_rate = std::min(48000.0, c.input_rate);
  }
  if (!std::isfinite(c.offset_hz)) c.offset_hz = 0;
  if (!(c.bandwidth_hz > 0) || !(c.bandwidth_hz < 0.9 * c.channel_rate)) {
    c.bandwidth_hz = 0.8 * c.channel_rate;
  }
  const ChannelConfig& config_ok = c;
  const double half = std::max(1000.0, config_ok.bandwidth_hz / 2);
  s.decimation = std::max(1u, static_cast<unsigned>(config_ok.input_rate / config_ok.channel_rate));
  s.mid_rate = config_ok.input_rate / s.decimation;
  // Passband to the channel's edge, stopband where the first alias would reach it.
  const double stop = std::max(half * 1.2, s.mid_rate - half);
  std::vector<float> taps =
      KaiserTaps((stop - half) / config_ok.input_rate, 0.5 * (stop + half) / config_ok.input_rate);
  s.decim = firdecim_crcf_create(s.decimation, taps.data(), static_cast<unsigned>(taps.size()));
  s.resamp =
      msresamp_crcf_create(static_cast<float>(config_ok.channel_rate / s.mid_rate), kStopbandDb);
  const double chan_stop = std::min(config_ok.channel_rate / 2, half * 1.4);
  std::vector<float> chan = KaiserTaps(std::max(0.02, (chan_stop - half) / config_ok.channel_rate),
                                       0.5 * (chan_stop + half) / config_ok.channel_rate);
  s.filter = firfilt_crcf_create(chan.data(), static_cast<unsigned>(chan.size()));
  for (int k = 0; k < State::kLanes; ++k) {
    s.rot_re[k] = 1;
    s.rot_im[k] = 0;
  }
  Retune(config_ok.offset_hz);
}

Channel::~Channel() {
  firdecim_crcf_destroy(state_->decim);
  msresamp_crcf_destroy(state_->resamp);
  firfilt_crcf_destroy(state_->filter);
}

void Channel::Retune(double offset_hz) {
  State& s = *state_;
  if (!std::isfinite(offset_hz)) return;
  s.config.offset_hz = offset_hz;
  // Lane k leads lane 0 by k samples; lane 0 keeps its phase so the signal stays continuous.
  const double w = -2 * std::numbers::pi * offset_hz / s.config.input_rate;
  const std::complex<double> lane0(s.rot_re[0], s.rot_im[0]);
  for (int k = 0; k < State::kLanes; ++k) {
    const std::complex<double> r = lane0 * std::polar(1.0, w * k);
    s.rot_re[k] = static_cast<float>(r.real());
    s.rot_im[k] = static_cast<float>(r.imag());
  }
  const std::complex<double> step = std::polar(1.0, w * State::kLanes);
  s.step_re = static_cast<float>(step.real());
  s.step_im = static_cast<float>(step.imag());
}

double Channel::OffsetHz() const {
  return state_->config.offset_hz;
}

double Channel::ChannelRate() const {
  return state_->config.channel_rate;
}

void Channel::Process(std::span<const std::complex<float>> wide, std::vector<float>& demod) {
  State& s = *state_;
  const std::size_t total = s.carry.size() + wide.size();
  const std::size_t blocks = total / s.decimation;
  s.mixed.resize(total);
  std::copy(s.carry.begin(), s.carry.end(), s.mixed.begin());
  {
    // Plain float arithmetic: std::complex's multiply checks for NaN at every sample.
    const float* in = reinterpret_cast<const float*>(wide.data());
    float* out = reinterpret_cast<float*>(s.mixed.data() + s.carry.size());
    std::size_t i = 0;
    const std::size_t n = wide.size();
    auto advance = [&s] {
      for (int k = 0; k < State::kLanes; ++k) {
        const float re = s.rot_re[k] * s.step_re - s.rot_im[k] * s.step_im;
        const float im = s.rot_re[k] * s.step_im + s.rot_im[k] * s.step_re;
        s.rot_re[k] = re;
        s.rot_im[k] = im;
      }
    };
    for (; i + State::kLanes <= n; i += State::kLanes) {
      for (int k = 0; k < State::kLanes; ++k) {
        const float xr = in[2 * (i + k)], xi = in[2 * (i + k) + 1];
        out[2 * (i + k)] = xr * s.rot_re[k] - xi * s.rot_im[k];
        out[2 * (i + k) + 1] = xr * s.rot_im[k] + xi * s.rot_re[k];
      }
      advance();
    }
    // A tail shorter than the lanes: lane k serves sample k, then the lanes shift along.
    const std::size_t tail = n - i;
    for (std::size_t k = 0; k < tail; ++k) {
      const float xr = in[2 * (i + k)], xi = in[2 * (i + k) + 1];
      out[2 * (i + k)] = xr * s.rot_re[k] - xi * s.rot_im[k];
      out[2 * (i + k) + 1] = xr * s.rot_im[k] + xi * s.rot_re[k];
    }
    if (tail > 0) {
      float re[State::kLanes], im[State::kLanes];
      const float sr = s.step_re, si = s.step_im;
      for (int k = 0; k < State::kLanes; ++k) {
        const std::size_t from = (k + tail) % State::kLanes;
        re[k] = s.rot_re[from];
        im[k] = s.rot_im[from];
        if (k + tail >= static_cast<std::size_t>(State::kLanes)) {
          const float r2 = re[k] * sr - im[k] * si;
          im[k] = re[k] * si + im[k] * sr;
          re[k] = r2;
        }
      }
      std::copy(re, re + State::kLanes, s.rot_re);
      std::copy(im, im + State::kLanes, s.rot_im);
    }
    // Rounding makes the phasors' length wander; put them back on the unit circle.
    for (int k = 0; k < State::kLanes; ++k) {
      const float mag = std::sqrt(s.rot_re[k] * s.rot_re[k] + s.rot_im[k] * s.rot_im[k]);
      if (mag > 0 && std::isfinite(mag)) {
        s.rot_re[k] /= mag;
        s.rot_im[k] /= mag;
      } else {
        s.rot_re[k] = 1;
        s.rot_im[k] = 0;
      }
    }
  }
  const std::size_t used = blocks * s.decimation;
  s.carry.assign(s.mixed.begin() + static_cast<std::ptrdiff_t>(used), s.mixed.end());
  if (blocks == 0) return;
  s.mid.resize(blocks);
  firdecim_crcf_execute_block(s.decim, s.mixed.data(), static_cast<unsigned>(blocks), s.mid.data());
  const double ratio = s.config.channel_rate / s.mid_rate;
  s.resampled.resize(static_cast<std::size_t>(std::ceil(blocks * ratio)) + 16);
  unsigned produced = 0;
  msresamp_crcf_execute(s.resamp, s.mid.data(), static_cast<unsigned>(blocks), s.resampled.data(),
                        &produced);
  s.filtered.resize(produced);
  if (produced > 0) {
    firfilt_crcf_execute_block(s.filter, s.resampled.data(), produced, s.filtered.data());
  }
  const float hz_per_rad = static_cast<float>(s.config.channel_rate / (2 * std::numbers::pi));
  demod.reserve(demod.size() + produced);
  for (unsigned i = 0; i < produced; ++i) {
    const std::complex<float> x = s.filtered[i];
    const std::complex<float> d = x * std::conj(s.last);
    float hz = 0;
    if (std::isfinite(d.real()) && std::isfinite(d.imag()) && (d.real() != 0 || d.imag() != 0)) {
      hz = std::atan2(d.imag(), d.real()) * hz_per_rad;
    }
    demod.push_back(hz);
    if (std::isfinite(x.real()) && std::isfinite(x.imag())) s.last = x;
  }
}

}  // namespace receiver
