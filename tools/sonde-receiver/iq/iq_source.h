#pragma once
// Where the receiver's IQ comes from: a local dongle (librtlsdr), an rtl_tcp server, a
// recorded capture. All give the dongle's unsigned 8-bit I/Q pairs as complex floats in
// [-1, 1]; the source, not the caller, converts.

#include <complex>
#include <string>
#include <vector>

namespace receiver {

enum class ReadStatus {
  kOk,       // samples were appended
  kTimeout,  // nothing within the wait
  kGone,     // the dongle or the server went away: the source tries again by itself
  kEnd,      // a capture has ended: nothing more will come
};

class IqSource {
 public:
  virtual ~IqSource() = default;
  // False when this source cannot tune (a capture: it stays at its own centre).
  virtual bool Tune(double center_hz) = 0;
  virtual double CenterHz() const = 0;
  virtual double SampleRate() const = 0;
  // Appends at most `max` samples, waiting at most `timeout_ms`. Samples of the old centre
  // still in flight after Tune() are dropped by the source.
  virtual ReadStatus Read(std::vector<std::complex<float>>& out, std::size_t max,
                          int timeout_ms) = 0;
  // One line for the log when the source's state changed ("dongle gone, trying again every
  // 5 s", "rtl_tcp 127.0.0.1:1234: R820T, 29 gains"); empty when nothing changed.
  virtual std::string TakeEvent() = 0;
};

}  // namespace receiver
