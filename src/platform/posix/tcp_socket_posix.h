#pragma once

#include <string>
#include <string_view>

#include "platform/tcp_socket.h"

namespace nimbrix {

// A TcpSocket over BSD sockets, non-blocking from the start.
class PosixTcpSocket : public TcpSocket {
 public:
  PosixTcpSocket() = default;
  ~PosixTcpSocket() override;
  PosixTcpSocket(const PosixTcpSocket&) = delete;
  PosixTcpSocket& operator=(const PosixTcpSocket&) = delete;

  SocketStatus StartConnect(const std::string& host, int port) override;
  SocketStatus FinishConnect() override;
  SocketStatus WaitWritable(int timeoutMs) override;
  SocketResult Send(std::string_view bytes) override;
  SocketResult Receive(char* buffer, std::size_t room) override;
  // TCP_USER_TIMEOUT.
  bool LimitUnacknowledged(int ms) override;
  void Close() override;
  bool IsOpen() const override { return fd_ >= 0; }

  int fd() const { return fd_; }

 private:
  int fd_ = -1;
};

}  // namespace nimbrix
