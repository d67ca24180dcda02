#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ipv4_address.h"
#include "platform/system.h"
#include "platform/win32/winsock_ready.h"

// How long Windows keeps retransmitting unacknowledged data before it gives the connection up,
// in seconds (Windows Vista and later). The mingw-w64 headers do not name it; the number is the
// one the Windows SDK gives in ws2ipdef.h. Where the system does not know it (Wine answers
// WSAENOPROTOOPT), the connection keeps the system's own limit and the station relies on the
// silence watch alone.
#ifndef TCP_MAXRT
#define TCP_MAXRT 5
#endif

namespace nimbrix {

namespace {

SocketStatus StatusOf(int error) {
  if (error == WSAEWOULDBLOCK) return SocketStatus::kWouldBlock;
  if (error == WSAEINTR) return SocketStatus::kInterrupted;
  // What Windows reports when TCP_MAXRT (or its own retransmission limit) ran out.
  if (error == WSAETIMEDOUT || error == WSAECONNABORTED) return SocketStatus::kUnacknowledged;
  if (error == WSAEALREADY || error == WSAEINPROGRESS) return SocketStatus::kInProgress;
  return SocketStatus::kFailed;
}

int PendingError(SOCKET s) {
  int error = 0;
  int length = sizeof error;
  if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) {
    return WSAGetLastError();
  }
  return error;
}

// A TcpSocket over Winsock, non-blocking from the start.
class Win32TcpSocket : public TcpSocket {
 public:
  ~Win32TcpSocket() override { Close(); }

  SocketStatus StartConnect(const std::string& host, int port) override {
    if (IsOpen() || port <= 0 || port > 65535 || !WinsockReady()) return SocketStatus::kFailed;
    const std::optional<std::uint32_t> ip = FirstIpv4Address(host);
    if (!ip) return SocketStatus::kFailed;
    return StartConnectTo(*ip, port);
  }

  SocketStatus StartConnectTo(std::uint32_t ip, int port) override {
    if (IsOpen() || port <= 0 || port > 65535 || !WinsockReady()) return SocketStatus::kFailed;
    socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket_ == INVALID_SOCKET) return SocketStatus::kFailed;
    // Lines go out as soon as they are written; nothing blocks.
    const BOOL on = TRUE;
    setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    u_long nonBlocking = 1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = ip;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (ioctlsocket(socket_, FIONBIO, &nonBlocking) == 0) {
      if (connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        return SocketStatus::kDone;
      }
      if (WSAGetLastError() == WSAEWOULDBLOCK) return SocketStatus::kWouldBlock;
    }
    Close();
    return SocketStatus::kFailed;
  }

  SocketStatus FinishConnect() override {
    return PendingError(socket_) == 0 ? SocketStatus::kDone : SocketStatus::kFailed;
  }

  SocketStatus WaitWritable(int timeoutMs) override {
    fd_set writable;
    fd_set failed;  // a connect that failed shows here, not as writable
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(socket_, &writable);
    FD_SET(socket_, &failed);
    const int ms = std::max(timeoutMs, 0);
    timeval wait{ms / 1000, (ms % 1000) * 1000};
    const int ready = select(0, nullptr, &writable, &failed, &wait);
    if (ready == SOCKET_ERROR) {
      return WSAGetLastError() == WSAEINTR ? SocketStatus::kInterrupted : SocketStatus::kFailed;
    }
    if (ready == 0) return SocketStatus::kTimedOut;
    if (!FD_ISSET(socket_, &failed)) return SocketStatus::kDone;
    const SocketStatus status = StatusOf(PendingError(socket_));
    return status == SocketStatus::kUnacknowledged ? status : SocketStatus::kFailed;
  }

  SocketResult Send(std::string_view bytes) override {
    const int portion = static_cast<int>(std::min<std::size_t>(bytes.size(), 1 << 20));
    const int sent = send(socket_, bytes.data(), portion, 0);
    if (sent != SOCKET_ERROR) return {SocketStatus::kDone, static_cast<std::size_t>(sent)};
    return {StatusOf(WSAGetLastError())};
  }

  SocketResult Receive(char* buffer, std::size_t room) override {
    const int size = static_cast<int>(std::min<std::size_t>(room, 1 << 20));
    const int got = recv(socket_, buffer, size, 0);
    if (got > 0) return {SocketStatus::kDone, static_cast<std::size_t>(got)};
    if (got == 0) return {SocketStatus::kEndOfStream};
    return {StatusOf(WSAGetLastError())};
  }

  // TCP_MAXRT counts whole seconds.
  bool LimitUnacknowledged(int ms) override {
    const DWORD seconds = static_cast<DWORD>((ms + 999) / 1000);
    return setsockopt(socket_, IPPROTO_TCP, TCP_MAXRT, reinterpret_cast<const char*>(&seconds),
                      sizeof seconds) == 0;
  }

  void Close() override {
    if (socket_ == INVALID_SOCKET) return;
    closesocket(socket_);
    socket_ = INVALID_SOCKET;
  }

  bool IsOpen() const override { return socket_ != INVALID_SOCKET; }

 private:
  SOCKET socket_ = INVALID_SOCKET;
};

}  // namespace

std::unique_ptr<TcpSocket> MakeSystemTcpSocket() {
  return std::make_unique<Win32TcpSocket>();
}

}  // namespace nimbrix
