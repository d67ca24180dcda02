#pragma once

#include <winsock2.h>

#include <string>
#include <string_view>

#include "platform/tcp_socket.h"

namespace nimbrix {

// A TcpSocket over Winsock, non-blocking from the start.
class Win32TcpSocket : public TcpSocket {
 public:
  Win32TcpSocket() = default;
  ~Win32TcpSocket() override;
  Win32TcpSocket(const Win32TcpSocket&) = delete;
  Win32TcpSocket& operator=(const Win32TcpSocket&) = delete;

  SocketStatus StartConnect(const std::string& host, int port) override;
  SocketStatus FinishConnect() override;
  SocketStatus WaitWritable(int timeoutMs) override;
  SocketResult Send(std::string_view bytes) override;
  SocketResult Receive(char* buffer, std::size_t room) override;
  // TCP_MAXRT, in whole seconds.
  bool LimitUnacknowledged(int ms) override;
  void Close() override;
  bool IsOpen() const override { return socket_ != INVALID_SOCKET; }

 private:
  SOCKET socket_ = INVALID_SOCKET;
};

}  // namespace nimbrix
