// The sockets and the look-ups of the outputs beside the primary link over Winsock, on
// 127.0.0.1: an extra destination that logs in and delivers without the cycle waiting, the
// chase-car datagram, and look-ups that are polled, never waited for.

#include <gtest/gtest.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "outputs/aprs_destination.h"
#include "platform/system.h"
#include "platform/win32/loopback_listener.h"
#include "platform/win32/winsock_ready.h"

namespace nimbrix {
namespace {

using Steady = std::chrono::steady_clock;

// What arrives on `from` within `ms`, or until `expected` bytes are in.
std::string Read(SOCKET from, int ms, std::size_t expected) {
  std::string got;
  char buffer[4096];
  const auto end = Steady::now() + std::chrono::milliseconds(ms);
  while (got.size() < expected && Steady::now() < end) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(from, &readable);
    timeval wait{0, 50000};
    if (select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
    const int n = recv(from, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    got.append(buffer, static_cast<std::size_t>(n));
  }
  return got;
}

LookupResult PollUntilDone(PendingLookup& lookup) {
  const auto end = Steady::now() + std::chrono::seconds(20);
  LookupResult result = lookup.Poll();
  while (result.state == LookupResult::State::kPending && Steady::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    result = lookup.Poll();
  }
  return result;
}

TEST(NameResolverWin32, FindsAnAddressBesideTheCaller) {
  const auto resolver = MakeSystemNameResolver();
  const LookupResult found = PollUntilDone(*resolver->Start("127.0.0.1"));
  ASSERT_EQ(found.state, LookupResult::State::kFound);
  EXPECT_EQ(found.address, htonl(INADDR_LOOPBACK));
  EXPECT_EQ(PollUntilDone(*resolver->Start("")).state, LookupResult::State::kFailed);
}

TEST(UdpSocketWin32, OneDatagramToTheAddressGiven) {
  ASSERT_TRUE(WinsockReady());
  const SOCKET listener = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
  int length = sizeof address;
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  auto sender = MakeSystemUdpSocket();
  ASSERT_TRUE(sender->Open());
  EXPECT_EQ(sender->SendTo(htonl(INADDR_LOOPBACK), ntohs(address.sin_port), "{\"type\":1}"),
            SocketStatus::kDone);
  EXPECT_EQ(Read(listener, 5000, 10), "{\"type\":1}");
  closesocket(listener);
}

TEST(AprsDestinationWin32, LogsInAndDeliversOverWinsock) {
  int port = 0;
  const SOCKET server = ListenOnLoopback(port);
  auto clock = MakeSystemClock();
  const std::string login = "user N0CALL-5 pass 1 vers x\r\n";
  AprsDestination destination({"127.0.0.1,port", "127.0.0.1", port, "N0CALL-5", login, true, ""},
                              MakeSystemTcpSocket(), MakeSystemNameResolver(), *clock);
  const SondeSample sample;
  const std::vector<std::string> none;
  const std::vector<std::string> lines = {"N0CALL-11>APZQW0,TCPIP*:>hi\r\n"};
  const auto end = Steady::now() + std::chrono::seconds(20);
  while (destination.Status().state != DestinationStatus::State::kUp && Steady::now() < end) {
    destination.Cycle({sample, true, 0, clock->MonotonicMs(), none});
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_EQ(destination.Status().state, DestinationStatus::State::kUp);
  destination.Cycle({sample, true, 0, clock->MonotonicMs(), lines});
  const SOCKET connection = accept(server, nullptr, nullptr);
  ASSERT_NE(connection, INVALID_SOCKET);
  const std::string expected = login + "N0CALL-5>APZQW0,TCPIP*:>hi\r\n";
  EXPECT_EQ(Read(connection, 5000, expected.size()), expected);
  EXPECT_EQ(destination.Status().sent, 1u);
  closesocket(connection);
  closesocket(server);
}

}  // namespace
}  // namespace nimbrix
