#pragma once

// For the backend tests: a listening socket on 127.0.0.1 with a port chosen by the system.

#include <winsock2.h>

namespace nimbrix {

inline SOCKET ListenOnLoopback(int& port) {
  WSADATA data{};
  WSAStartup(MAKEWORD(2, 2), &data);
  const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
  listen(listener, 4);
  int length = sizeof address;
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  port = ntohs(address.sin_port);
  return listener;
}

}  // namespace nimbrix
