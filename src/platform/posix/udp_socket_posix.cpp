#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/ipv4_address.h"
#include "platform/system.h"

namespace nimbrix {

namespace {

class PosixUdpSocket : public UdpSocket {
 public:
  ~PosixUdpSocket() override { Close(); }

  bool Open() override {
    if (IsOpen()) return true;
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd_ < 0) return false;
    // Chase-car software listens on the local network's broadcast address.
    const int on = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    return true;
  }

  SocketStatus SendTo(std::uint32_t address, int port, std::string_view datagram) override {
    if (!IsOpen() || port <= 0 || port > 65535) return SocketStatus::kFailed;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = address;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    const ssize_t sent = ::sendto(fd_, datagram.data(), datagram.size(), MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (sent == static_cast<ssize_t>(datagram.size())) return SocketStatus::kDone;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS)) {
      return SocketStatus::kWouldBlock;
    }
    return sent < 0 && errno == EINTR ? SocketStatus::kInterrupted : SocketStatus::kFailed;
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

std::unique_ptr<UdpSocket> MakeSystemUdpSocket() {
  return std::make_unique<PosixUdpSocket>();
}

std::unique_ptr<NameResolver> MakeSystemNameResolver() {
  return MakeThreadNameResolver(&FirstIpv4Address);
}

}  // namespace nimbrix
