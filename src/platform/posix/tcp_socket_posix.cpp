#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ipv4_address.h"
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

// A TcpSocket over BSD sockets, non-blocking from the start.
class PosixTcpSocket : public TcpSocket {
 public:
  ~PosixTcpSocket() override { Close(); }

  SocketStatus StartConnect(const std::string& host, int port) override {
    if (IsOpen() || port <= 0 || port > 65535) return SocketStatus::kFailed;
    const std::optional<std::uint32_t> ip = FirstIpv4Address(host);
    if (!ip) return SocketStatus::kFailed;
    return StartConnectTo(*ip, port);
  }

  SocketStatus StartConnectTo(std::uint32_t ip, int port) override {
    if (IsOpen() || port <= 0 || port > 65535) return SocketStatus::kFailed;
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd_ < 0) return SocketStatus::kFailed;
    // Lines go out as soon as they are written.
    const int on = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = ip;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      return SocketStatus::kDone;
    }
    // Interrupted or not, a non-blocking connect goes on in the background.
    if (errno == EINPROGRESS || errno == EINTR) return SocketStatus::kWouldBlock;
    Close();
    return SocketStatus::kFailed;
  }

  SocketStatus FinishConnect() override {
    int error = 0;
    socklen_t length = sizeof error;
    const bool failed = ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0;
    return failed || error != 0 ? SocketStatus::kFailed : SocketStatus::kDone;
  }

  SocketStatus WaitWritable(int timeoutMs) override {
    pollfd p{fd_, POLLOUT, 0};
    const int ready = ::poll(&p, 1, timeoutMs);
    if (ready > 0) return SocketStatus::kDone;  // an error shows at the next call
    if (ready == 0) return SocketStatus::kTimedOut;
    return errno == EINTR ? SocketStatus::kInterrupted : SocketStatus::kFailed;
  }

  SocketResult Send(std::string_view bytes) override {
    const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent >= 0) return {SocketStatus::kDone, static_cast<std::size_t>(sent)};
    return {StatusOf(errno)};
  }

  SocketResult Receive(char* buffer, std::size_t room) override {
    const ssize_t got = ::recv(fd_, buffer, room, 0);
    if (got > 0) return {SocketStatus::kDone, static_cast<std::size_t>(got)};
    if (got == 0) return {SocketStatus::kEndOfStream};
    return {StatusOf(errno)};
  }

  bool LimitUnacknowledged(int ms) override {
    const unsigned int limit = static_cast<unsigned int>(ms);
    return ::setsockopt(fd_, IPPROTO_TCP, TCP_USER_TIMEOUT, &limit, sizeof limit) == 0;
  }

  void Close() override {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
  }

  bool IsOpen() const override { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace

std::unique_ptr<TcpSocket> MakeSystemTcpSocket() {
  return std::make_unique<PosixTcpSocket>();
}

}  // namespace nimbrix
