#pragma once

#include <cstdint>
#include <string_view>

#include "platform/tcp_socket.h"

namespace nimbrix {

// One non-blocking datagram socket that may send to broadcast addresses: the system's own calls
// and no policy.
class UdpSocket {
 public:
  UdpSocket() = default;
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;
  virtual ~UdpSocket() = default;
  virtual bool Open() = 0;
  // Sends one datagram to `address` (IPv4, network byte order) and `port` without waiting:
  // kDone when the system took it whole, kWouldBlock when it has no room for it now.
  virtual SocketStatus SendTo(std::uint32_t address, int port, std::string_view datagram) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
};

}  // namespace nimbrix
