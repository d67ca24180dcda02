#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/incoming_text.h"
#include "platform/tcp_client.h"

namespace nimbrix {

// How the client waits for room to send: poll() and the monotonic clock, or a virtual clock in
// tests, which can then prove the minute-long wait without waiting a minute.
class WritableWait {
 public:
  virtual ~WritableWait() = default;
  virtual std::int64_t NowMs() = 0;
  // poll()'s answer for POLLOUT on fd: above 0 ready, 0 timed out, below 0 failed (errno set).
  virtual int Wait(int fd, int timeoutMs) = 0;
};

// The APRS-IS connection over BSD sockets. The send time-out is a parameter so tests can
// wait milliseconds instead of a minute.
class PosixTcpClient : public TcpClient {
 public:
  explicit PosixTcpClient(int sendTimeoutMs = kSendTimeoutMs, WritableWait* wait = nullptr);
  ~PosixTcpClient() override;
  PosixTcpClient(const PosixTcpClient&) = delete;
  PosixTcpClient& operator=(const PosixTcpClient&) = delete;

  bool Open(const std::string& host, int port) override;
  int Send(std::string_view bytes) override;
  std::string TakeReceived() override;
  void Close() override;
  bool IsOpen() const override { return fd_ >= 0; }

 private:
  // Reads what the server has sent, without waiting, into incoming_; 0, or the error that a
  // broken connection gives, which is kept for the next send.
  int ReadIncoming();

  int sendTimeoutMs_;
  WritableWait* wait_;
  int fd_ = -1;
  int brokenError_ = 0;
  IncomingText incoming_;
};

}  // namespace nimbrix
