#pragma once

#include <string>
#include <string_view>

#include "platform/tcp_client.h"

namespace nimbrix {

// The APRS-IS connection over BSD sockets. The send time-out is a parameter so tests can
// wait milliseconds instead of a minute.
class PosixTcpClient : public TcpClient {
 public:
  explicit PosixTcpClient(int sendTimeoutMs = kSendTimeoutMs);
  ~PosixTcpClient() override;
  PosixTcpClient(const PosixTcpClient&) = delete;
  PosixTcpClient& operator=(const PosixTcpClient&) = delete;

  bool Open(const std::string& host, int port) override;
  int Send(std::string_view bytes) override;
  void Close() override;
  bool IsOpen() const override { return fd_ >= 0; }

 private:
  // Reads and drops what the server has sent; 0, or the error that a broken connection gives.
  int DrainIncoming();

  int sendTimeoutMs_;
  int fd_ = -1;
};

}  // namespace nimbrix
