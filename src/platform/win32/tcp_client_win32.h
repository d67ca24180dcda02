#pragma once

#include <winsock2.h>

#include <string>
#include <string_view>

#include "platform/incoming_text.h"
#include "platform/tcp_client.h"

namespace nimbrix {

// The APRS-IS connection over Winsock. The send time-out is a parameter so tests can wait
// milliseconds instead of a minute.
class Win32TcpClient : public TcpClient {
 public:
  explicit Win32TcpClient(int sendTimeoutMs = kSendTimeoutMs);
  ~Win32TcpClient() override;
  Win32TcpClient(const Win32TcpClient&) = delete;
  Win32TcpClient& operator=(const Win32TcpClient&) = delete;

  bool Open(const std::string& host, int port) override;
  int Send(std::string_view bytes) override;
  std::string TakeReceived() override;
  void Close() override;
  bool IsOpen() const override { return socket_ != INVALID_SOCKET; }

 private:
  // Reads what the server has sent, without waiting, into incoming_; 0, or the error that a
  // broken connection gives, which is kept for the next send.
  int ReadIncoming();

  int sendTimeoutMs_;
  SOCKET socket_ = INVALID_SOCKET;
  int brokenError_ = 0;
  IncomingText incoming_;
};

}  // namespace nimbrix
