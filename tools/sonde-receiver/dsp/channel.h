#pragma once
// One sonde's channel taken out of the wide IQ stream: mixed down by an NCO, filtered and
// decimated to the channel rate, FM-demodulated. The demodulated samples are the
// instantaneous frequency in Hz (0 at the channel's centre), so a frequency error shows as
// their mean and the kind's deviation as their swing.

#include <complex>
#include <memory>
#include <span>
#include <vector>

namespace receiver {

struct ChannelConfig {
  double input_rate = 2048000;  // the wide stream's sample rate, Hz
  double offset_hz = 0;         // the channel's centre relative to the stream's centre
  double channel_rate = 48000;  // the demodulated samples' rate, Hz
  // The channel filter's two-sided width. A sonde further off than half of it less its own
  // swing is partly cut away and its mean reads short: look first through a wide channel.
  double bandwidth_hz = 16000;
};

class Channel {
 public:
  explicit Channel(const ChannelConfig& config);
  ~Channel();
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;

  // Moves the channel (drift, the dongle's error once known); the filters keep their state.
  void Retune(double offset_hz);
  double OffsetHz() const;
  double ChannelRate() const;

  // Appends the demodulated samples of this block of the wide stream.
  void Process(std::span<const std::complex<float>> wide, std::vector<float>& demod);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace receiver
