#pragma once
// IQ from an rtl_tcp server. Single-threaded: every socket wait happens inside Read() or
// Tune() and is bounded. The connection is made on the first Read(); when the server closes,
// stalls or greets wrongly, Read() says kGone and the source connects again by itself.

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "iq/iq_source.h"

namespace receiver {

struct RtlTcpOptions {
  std::string host = "127.0.0.1";
  int port = 1234;
  double sample_rate = 2048000;
  double center_hz = 403000000;
  std::optional<double> gain_db;  // automatic when empty
  int ppm = 0;
  bool bias_tee = false;
  int connect_timeout_ms = 3000;
  int greeting_timeout_ms = 3000;
  int stall_timeout_ms = 3000;   // no bytes for this long: the server is taken as gone
  int retry_interval_ms = 5000;  // between connection attempts once it is gone
  // rtl_tcp marks nothing in the stream when the centre changes. The samples of the old centre
  // are what sits in our socket when the command goes out, plus what the server and the
  // dongle hold: rtl_tcp's USB transfer being filled (librtlsdr's default: 256 KiB, 128 Ki
  // samples, 64 ms at 2.048 MS/s) and the tuner's settling. So we drop what is buffered and
  // then this many samples more; the same after connecting, for the server's previous tuning.
  std::size_t tune_drop_samples = 131072;
};

class RtlTcpSource : public IqSource {
 public:
  explicit RtlTcpSource(RtlTcpOptions options);
  ~RtlTcpSource() override;
  RtlTcpSource(const RtlTcpSource&) = delete;
  RtlTcpSource& operator=(const RtlTcpSource&) = delete;

  bool Tune(double center_hz) override;
  double CenterHz() const override { return center_hz_; }
  double SampleRate() const override { return options_.sample_rate; }
  ReadStatus Read(std::vector<std::complex<float>>& out, std::size_t max, int timeout_ms) override;
  std::string TakeEvent() override;

  bool Connected() const { return fd_ >= 0; }

 private:
  using Clock = std::chrono::steady_clock;

  bool Connect();
  bool SendAll(const std::uint8_t* data, std::size_t size);
  void Lose(const std::string& reason);
  std::size_t TakePending(std::vector<std::complex<float>>& out, std::size_t max);
  std::string Name() const;

  RtlTcpOptions options_;
  double center_hz_;
  int fd_ = -1;
  std::vector<std::uint8_t> pending_;  // received bytes from pending_head_ on, at a pair boundary
  std::size_t pending_head_ = 0;
  std::size_t drop_bytes_ = 0;  // always even, so I and Q never swap
  Clock::time_point last_data_{};
  Clock::time_point next_attempt_{};
  bool gone_announced_ = false;
  bool ever_connected_ = false;
  std::deque<std::string> events_;
};

// "HOST:PORT", "HOST" (port 1234, rtl_tcp's own) or "[V6ADDR]:PORT" into the options' host
// and port; false, leaving them alone, for anything else.
bool ParseRtlTcpAddress(const std::string& text, RtlTcpOptions& options);

// "5 s", "250 ms": the retry interval as the log says it.
std::string IntervalText(int milliseconds);

}  // namespace receiver
