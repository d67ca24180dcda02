#include <winsock2.h>
#include <ws2tcpip.h>

#include <memory>

#include "platform/ipv4_address.h"
#include "platform/system.h"
#include "platform/win32/winsock_ready.h"

namespace nimbrix {

namespace {

class Win32UdpSocket : public UdpSocket {
 public:
  ~Win32UdpSocket() override { Close(); }

  bool Open() override {
    if (IsOpen()) return true;
    if (!WinsockReady()) return false;
    socket_ = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (socket_ == INVALID_SOCKET) return false;
    u_long nonBlocking = 1;
    // Chase-car software listens on the local network's broadcast address.
    const BOOL on = TRUE;
    setsockopt(socket_, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on);
    if (ioctlsocket(socket_, FIONBIO, &nonBlocking) != 0) {
      Close();
      return false;
    }
    return true;
  }

  SocketStatus SendTo(std::uint32_t address, int port, std::string_view datagram) override {
    if (!IsOpen() || port <= 0 || port > 65535 || datagram.size() > 65507) {
      return SocketStatus::kFailed;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = address;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    const int sent = sendto(socket_, datagram.data(), static_cast<int>(datagram.size()), 0,
                            reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (sent == static_cast<int>(datagram.size())) return SocketStatus::kDone;
    if (sent == SOCKET_ERROR) {
      const int error = WSAGetLastError();
      if (error == WSAEWOULDBLOCK || error == WSAENOBUFS) return SocketStatus::kWouldBlock;
      if (error == WSAEINTR) return SocketStatus::kInterrupted;
    }
    return SocketStatus::kFailed;
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

std::unique_ptr<UdpSocket> MakeSystemUdpSocket() {
  return std::make_unique<Win32UdpSocket>();
}

// getaddrinfo needs Winsock started, in whichever thread asks first.
std::unique_ptr<NameResolver> MakeSystemNameResolver() {
  return MakeThreadNameResolver([](const std::string& host) -> std::optional<std::uint32_t> {
    if (!WinsockReady()) return std::nullopt;
    return FirstIpv4Address(host);
  });
}

}  // namespace nimbrix
