#include "platform/win32/tcp_client_win32.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>

#include "platform/system.h"

namespace nimbrix {

namespace {

// What one read of the server's text may take: a chatty server cannot hold a send up.
constexpr int kDrainReads = 16;
constexpr int kDrainBuffer = 4096;

bool WinsockReady() {
  // Started once for the whole process and never stopped: the connection lives to the end.
  static const bool ready = [] {
    WSADATA data{};
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return ready;
}

int ErrorNumber(int error) {
  if (error == WSAEALREADY || error == WSAEINPROGRESS) return kSendInProgress;
  return kSendNetworkError;
}

}  // namespace

Win32TcpClient::Win32TcpClient(int sendTimeoutMs) : sendTimeoutMs_(sendTimeoutMs) {}

Win32TcpClient::~Win32TcpClient() {
  Close();
}

bool Win32TcpClient::Open(const std::string& host, int port) {
  if (IsOpen() || port <= 0 || port > 65535) return false;
  if (host.empty() || host.find('\0') != std::string::npos || !WinsockReady()) return false;

  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return false;
  std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> list(found, &freeaddrinfo);

  // Only the first IPv4 address is tried.
  sockaddr_in address{};
  for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
    if (a->ai_family == AF_INET && a->ai_addrlen >= sizeof address) {
      address = *reinterpret_cast<const sockaddr_in*>(a->ai_addr);
      break;
    }
  }
  if (address.sin_family != AF_INET) return false;
  address.sin_port = htons(static_cast<std::uint16_t>(port));

  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return false;
  if (connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    closesocket(s);
    return false;
  }
  // Lines go out as soon as they are written.
  const BOOL on = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  // From here on nothing blocks: sends wait in select() with the time-out, the drain not at all.
  u_long nonBlocking = 1;
  if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
    closesocket(s);
    return false;
  }
  socket_ = s;
  return true;
}

int Win32TcpClient::ReadIncoming() {
  if (brokenError_ != 0) return brokenError_;
  char buffer[kDrainBuffer];
  for (int i = 0; i < kDrainReads; ++i) {
    const int got = recv(socket_, buffer, sizeof buffer, 0);
    if (got > 0) {
      incoming_.Keep(std::string_view(buffer, static_cast<std::size_t>(got)));
      continue;
    }
    if (got == 0) return brokenError_ = kSendNetworkError;  // the server has closed its side
    const int error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK) return 0;
    if (error == WSAEINTR) continue;
    return brokenError_ = ErrorNumber(error);
  }
  return 0;
}

int Win32TcpClient::Send(std::string_view bytes) {
  if (!IsOpen()) return kSendNotConnected;
  if (const int error = ReadIncoming(); error != 0) return error;

  using Steady = std::chrono::steady_clock;
  std::size_t done = 0;
  while (done < bytes.size()) {
    // Wait for room, at most the time-out per portion.
    const auto deadline = Steady::now() + std::chrono::milliseconds(sendTimeoutMs_);
    for (;;) {
      auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Steady::now());
      if (left.count() < 0) left = std::chrono::microseconds(0);
      fd_set writable;
      fd_set failed;
      FD_ZERO(&writable);
      FD_ZERO(&failed);
      FD_SET(socket_, &writable);
      FD_SET(socket_, &failed);
      timeval wait{static_cast<long>(left.count() / 1000000),
                   static_cast<long>(left.count() % 1000000)};
      const int ready = select(0, nullptr, &writable, &failed, &wait);
      if (ready == SOCKET_ERROR) return ErrorNumber(WSAGetLastError());
      if (ready == 0) return kSendTimedOut;
      if (FD_ISSET(socket_, &failed)) return kSendNetworkError;
      break;
    }
    // Take what fits now and wait again for the rest.
    const std::size_t portion = std::min<std::size_t>(bytes.size() - done, 1 << 20);
    const int sent = send(socket_, bytes.data() + done, static_cast<int>(portion), 0);
    if (sent > 0) {
      done += static_cast<std::size_t>(sent);
    } else if (sent == 0) {
      return kSendNetworkError;  // no progress on a writable socket: do not spin
    } else {
      const int error = WSAGetLastError();
      if (error != WSAEWOULDBLOCK && error != WSAEINTR) return ErrorNumber(error);
    }
  }
  return 0;
}

std::string Win32TcpClient::TakeReceived() {
  if (IsOpen()) ReadIncoming();
  return incoming_.Take();
}

void Win32TcpClient::Close() {
  incoming_.Clear();
  brokenError_ = 0;
  if (socket_ == INVALID_SOCKET) return;
  closesocket(socket_);
  socket_ = INVALID_SOCKET;
}

std::unique_ptr<TcpClient> MakeSystemTcpClient() {
  return std::make_unique<Win32TcpClient>();
}

}  // namespace nimbrix
