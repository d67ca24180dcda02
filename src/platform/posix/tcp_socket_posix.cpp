#include "platform/posix/tcp_socket_posix.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/system.h"

namespace nimbrix {

namespace {

SocketStatus StatusOf(int error) {
  switch (error) {
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
      return SocketStatus::kWouldBlock;
    case EINTR:
      return SocketStatus::kInterrupted;
    case ETIMEDOUT:  // TCP_USER_TIMEOUT (or the retransmissions) ran out
      return SocketStatus::kUnacknowledged;
    case EALREADY:
    case EINPROGRESS:
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
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return false;
  std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, &::freeaddrinfo);
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

PosixTcpSocket::~PosixTcpSocket() {
  Close();
}

SocketStatus PosixTcpSocket::StartConnect(const std::string& host, int port) {
  if (IsOpen() || port <= 0 || port > 65535) return SocketStatus::kFailed;
  sockaddr_in address{};
  if (!Resolve(host, port, address)) return SocketStatus::kFailed;
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd_ < 0) return SocketStatus::kFailed;
  // Lines go out as soon as they are written.
  const int on = 1;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
    return SocketStatus::kDone;
  }
  // Interrupted or not, a non-blocking connect goes on in the background.
  if (errno == EINPROGRESS || errno == EINTR) return SocketStatus::kWouldBlock;
  Close();
  return SocketStatus::kFailed;
}

SocketStatus PosixTcpSocket::FinishConnect() {
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
    return SocketStatus::kFailed;
  }
  return SocketStatus::kDone;
}

SocketStatus PosixTcpSocket::WaitWritable(int timeoutMs) {
  pollfd p{fd_, POLLOUT, 0};
  const int ready = ::poll(&p, 1, timeoutMs);
  if (ready > 0) return SocketStatus::kDone;  // an error shows at the next call
  if (ready == 0) return SocketStatus::kTimedOut;
  return errno == EINTR ? SocketStatus::kInterrupted : SocketStatus::kFailed;
}

SocketResult PosixTcpSocket::Send(std::string_view bytes) {
  const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  if (sent >= 0) return {SocketStatus::kDone, static_cast<std::size_t>(sent)};
  return {StatusOf(errno)};
}

SocketResult PosixTcpSocket::Receive(char* buffer, std::size_t room) {
  const ssize_t got = ::recv(fd_, buffer, room, 0);
  if (got > 0) return {SocketStatus::kDone, static_cast<std::size_t>(got)};
  if (got == 0) return {SocketStatus::kEndOfStream};
  return {StatusOf(errno)};
}

bool PosixTcpSocket::LimitUnacknowledged(int ms) {
  const unsigned int limit = static_cast<unsigned int>(ms);
  return ::setsockopt(fd_, IPPROTO_TCP, TCP_USER_TIMEOUT, &limit, sizeof limit) == 0;
}

void PosixTcpSocket::Close() {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
}

std::unique_ptr<TcpSocket> MakeSystemTcpSocket() {
  return std::make_unique<PosixTcpSocket>();
}

}  // namespace nimbrix
