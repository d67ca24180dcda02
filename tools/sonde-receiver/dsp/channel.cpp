#include "dsp/channel.h"

#include <liquid/liquid.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace receiver {
namespace {

constexpr float kStopbandDb = 60;

std::vector<float> KaiserTaps(double transition, double cutoff) {
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
  nco_crcf nco = nullptr;
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
  const double half = std::max(1000.0, config.bandwidth_hz / 2);
  s.decimation = std::max(1u, static_cast<unsigned>(config.input_rate / config.channel_rate));
  s.mid_rate = config.input_rate / s.decimation;
  // Passband to the channel's edge, stopband where the first alias would reach it.
  const double stop = std::max(half * 1.2, s.mid_rate - half);
  std::vector<float> taps =
      KaiserTaps((stop - half) / config.input_rate, 0.5 * (stop + half) / config.input_rate);
  s.decim = firdecim_crcf_create(s.decimation, taps.data(), static_cast<unsigned>(taps.size()));
  s.resamp =
      msresamp_crcf_create(static_cast<float>(config.channel_rate / s.mid_rate), kStopbandDb);
  const double chan_stop = std::min(config.channel_rate / 2, half * 1.4);
  std::vector<float> chan = KaiserTaps(std::max(0.02, (chan_stop - half) / config.channel_rate),
                                       0.5 * (chan_stop + half) / config.channel_rate);
  s.filter = firfilt_crcf_create(chan.data(), static_cast<unsigned>(chan.size()));
  s.nco = nco_crcf_create(LIQUID_VCO);
  Retune(config.offset_hz);
}

Channel::~Channel() {
  nco_crcf_destroy(state_->nco);
  firdecim_crcf_destroy(state_->decim);
  msresamp_crcf_destroy(state_->resamp);
  firfilt_crcf_destroy(state_->filter);
}

void Channel::Retune(double offset_hz) {
  state_->config.offset_hz = offset_hz;
  nco_crcf_set_frequency(state_->nco, static_cast<float>(2 * std::numbers::pi * offset_hz /
                                                         state_->config.input_rate));
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
  if (!wide.empty()) {
    nco_crcf_mix_block_down(s.nco, const_cast<std::complex<float>*>(wide.data()),
                            s.mixed.data() + s.carry.size(), static_cast<unsigned>(wide.size()));
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
