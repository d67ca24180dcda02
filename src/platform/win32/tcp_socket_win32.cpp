#include "platform/win32/tcp_socket_win32.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cstdint>
#include <memory>

#include "platform/system.h"

// How long Windows keeps retransmitting unacknowledged data before it gives the connection up,
// in seconds (Windows Vista and later). The mingw-w64 headers do not name it; the number is the
// one the Windows SDK gives in ws2ipdef.h. Where the system does not know it (older Windows,
// Wine), setsockopt fails and the connection keeps the system's own limit: the station then
// relies on the silence watch alone.
#ifndef TCP_MAXRT
#define TCP_MAXRT 5
#endif

namespace nimbrix {

namespace {

bool WinsockReady() {
  // Started once for the whole process and never stopped: the connection lives to the end.
  static const bool ready = [] {
    WSADATA data{};
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return ready;
}

SocketStatus StatusOf(int error) {
  switch (error) {
    case WSAEWOULDBLOCK:
      return SocketStatus::kWouldBlock;
    case WSAEINTR:
      return SocketStatus::kInterrupted;
    // What Windows reports when TCP_MAXRT (or its own retransmission limit) ran out.
    case WSAETIMEDOUT:
    case WSAECONNABORTED:
      return SocketStatus::kUnacknowledged;
    case WSAEALREADY:
    case WSAEINPROGRESS:
      return SocketStatus::kInProgress;
    default:
      return SocketStatus::kFailed;
  }
}

// The first IPv4 address of `host`, with `port`; false when it has none.
bool Resolve(const std::string& host, int port, sockaddr_in& address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return false;
  std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> list(found, &freeaddrinfo);
  for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
    if (a->ai_family == AF_INET && a->ai_addrlen >= sizeof address) {
      address = *reinterpret_cast<const sockaddr_in*>(a->ai_addr);
      address.sin_port = htons(static_cast<std::uint16_t>(port));
      return true;
    }
  }
  return false;
}

}  // namespace

Win32TcpSocket::~Win32TcpSocket() {
  Close();
}

SocketStatus Win32TcpSocket::StartConnect(const std::string& host, int port) {
  if (IsOpen() || port <= 0 || port > 65535 || !WinsockReady()) return SocketStatus::kFailed;
  sockaddr_in address{};
  if (!Resolve(host, port, address)) return SocketStatus::kFailed;
  socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (socket_ == INVALID_SOCKET) return SocketStatus::kFailed;
  // Lines go out as soon as they are written; nothing blocks.
  const BOOL on = TRUE;
  setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  u_long nonBlocking = 1;
  if (ioctlsocket(socket_, FIONBIO, &nonBlocking) != 0) {
    Close();
    return SocketStatus::kFailed;
  }
  if (connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
    return SocketStatus::kDone;
  }
  if (WSAGetLastError() == WSAEWOULDBLOCK) return SocketStatus::kWouldBlock;
  Close();
  return SocketStatus::kFailed;
}

SocketStatus Win32TcpSocket::FinishConnect() {
  int error = 0;
  int length = sizeof error;
  if (getsockopt(socket_, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0 ||
      error != 0) {
    return SocketStatus::kFailed;
  }
  return SocketStatus::kDone;
}

SocketStatus Win32TcpSocket::WaitWritable(int timeoutMs) {
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
  if (FD_ISSET(socket_, &failed)) {
    int error = 0;
    int length = sizeof error;
    getsockopt(socket_, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
    const SocketStatus status = StatusOf(error);
    return status == SocketStatus::kUnacknowledged ? status : SocketStatus::kFailed;
  }
  return SocketStatus::kDone;
}

SocketResult Win32TcpSocket::Send(std::string_view bytes) {
  const int portion = static_cast<int>(std::min<std::size_t>(bytes.size(), 1 << 20));
  const int sent = send(socket_, bytes.data(), portion, 0);
  if (sent != SOCKET_ERROR) return {SocketStatus::kDone, static_cast<std::size_t>(sent)};
  return {StatusOf(WSAGetLastError())};
}

SocketResult Win32TcpSocket::Receive(char* buffer, std::size_t room) {
  const int size = static_cast<int>(std::min<std::size_t>(room, 1 << 20));
  const int got = recv(socket_, buffer, size, 0);
  if (got > 0) return {SocketStatus::kDone, static_cast<std::size_t>(got)};
  if (got == 0) return {SocketStatus::kEndOfStream};
  return {StatusOf(WSAGetLastError())};
}

bool Win32TcpSocket::LimitUnacknowledged(int ms) {
  const DWORD seconds = static_cast<DWORD>((ms + 999) / 1000);
  return setsockopt(socket_, IPPROTO_TCP, TCP_MAXRT, reinterpret_cast<const char*>(&seconds),
                    sizeof seconds) == 0;
}

void Win32TcpSocket::Close() {
  if (socket_ == INVALID_SOCKET) return;
  closesocket(socket_);
  socket_ = INVALID_SOCKET;
}

std::unique_ptr<TcpSocket> MakeSystemTcpSocket() {
  return std::make_unique<Win32TcpSocket>();
}

}  // namespace nimbrix
