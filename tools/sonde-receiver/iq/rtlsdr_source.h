#pragma once
// IQ from a local dongle through librtlsdr. The dongle's bytes arrive on a thread of its own
// (rtlsdr_read_async) into a bounded ring; when the reader falls behind, new bytes are
// dropped and counted. A lost dongle makes Read() say kGone and is opened again every
// `retry_interval_ms`. Without librtlsdr in the build, Available() is false and every Read()
// says kGone.

#include <memory>
#include <optional>
#include <string>

#include "iq/iq_source.h"

namespace receiver {

struct RtlSdrOptions {
  std::string device = "0";  // an index, or the dongle's serial string
  double sample_rate = 2048000;
  double center_hz = 403000000;
  std::optional<double> gain_db;  // automatic when empty
  int ppm = 0;
  bool bias_tee = false;
  std::size_t ring_samples = 2048000;  // about a second at the usual rate
  int retry_interval_ms = 5000;
  // After a retune: what sits in the ring is dropped, and this much more for the USB
  // transfer being filled while the tuner moved (librtlsdr's is 128 Ki samples).
  std::size_t tune_drop_samples = 131072;
};

// How a --device string picks a dongle: an index when it is all digits, else a serial.
struct RtlSdrDeviceChoice {
  std::optional<int> index;
  std::string serial;
};
RtlSdrDeviceChoice ParseRtlSdrDevice(const std::string& device);

class RtlSdrSource : public IqSource {
 public:
  static bool Available();  // librtlsdr is in this build

  explicit RtlSdrSource(RtlSdrOptions options);
  ~RtlSdrSource() override;
  RtlSdrSource(const RtlSdrSource&) = delete;
  RtlSdrSource& operator=(const RtlSdrSource&) = delete;

  bool Tune(double center_hz) override;
  double CenterHz() const override;
  double SampleRate() const override;
  ReadStatus Read(std::vector<std::complex<float>>& out, std::size_t max, int timeout_ms) override;
  std::string TakeEvent() override;

  long long Dropped() const;  // bytes the reader was too slow for

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace receiver
