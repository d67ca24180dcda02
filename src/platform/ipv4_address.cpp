#include "platform/ipv4_address.h"

// getaddrinfo() is the same call on both systems; only its header differs.
#ifdef _WIN32
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <memory>

namespace nimbrix {

std::optional<std::uint32_t> FirstIpv4Address(const std::string& host) {
  if (host.empty() || host.find('\0') != std::string::npos) return std::nullopt;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
    return std::nullopt;
  }
  std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> list(found, &freeaddrinfo);
  for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
    if (a->ai_family == AF_INET && a->ai_addrlen >= sizeof(sockaddr_in)) {
      return reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr;
    }
  }
  return std::nullopt;
}

}  // namespace nimbrix
