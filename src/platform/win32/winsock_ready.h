#pragma once

#include <winsock2.h>

namespace nimbrix {

// Winsock, started once for the whole process and never stopped: sockets and look-ups live to
// the end.
inline bool WinsockReady() {
  static const bool ready = [] {
    WSADATA data{};
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return ready;
}

}  // namespace nimbrix
