// The sockets and the look-ups of the outputs beside the primary link, over this system's own
// calls on 127.0.0.1: an extra destination that logs in and delivers without the cycle waiting,
// the chase-car datagram, and look-ups that are polled, never waited for.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "outputs/aprs_destination.h"
#include "outputs/udp_summary.h"
#include "platform/system.h"

namespace nimbrix {
namespace {

using Steady = std::chrono::steady_clock;

// A bound socket on 127.0.0.1 with an ephemeral port.
struct Bound {
  explicit Bound(int type) {
    fd = ::socket(AF_INET, type, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t length = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    port = ntohs(a.sin_port);
  }
  ~Bound() { ::close(fd); }
  // What arrives on `from` within `ms`, or until `expected` bytes are in.
  static std::string Read(int from, int ms, std::size_t expected) {
    std::string got;
    char buffer[4096];
    pollfd p{from, POLLIN, 0};
    const auto end = Steady::now() + std::chrono::milliseconds(ms);
    while (got.size() < expected && Steady::now() < end && ::poll(&p, 1, 50) >= 0) {
      if (!(p.revents & POLLIN)) continue;
      const ssize_t n = ::recv(from, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
  }
  int fd = -1;
  int port = 0;
};

LookupResult PollUntilDone(PendingLookup& lookup) {
  const auto end = Steady::now() + std::chrono::seconds(20);
  LookupResult result = lookup.Poll();
  while (result.state == LookupResult::State::kPending && Steady::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    result = lookup.Poll();
  }
  return result;
}

TEST(NameResolverPosix, FindsAnAddressBesideTheCaller) {
  const auto resolver = MakeSystemNameResolver();
  const LookupResult found = PollUntilDone(*resolver->Start("127.0.0.1"));
  ASSERT_EQ(found.state, LookupResult::State::kFound);
  EXPECT_EQ(found.address, htonl(INADDR_LOOPBACK));
  EXPECT_EQ(PollUntilDone(*resolver->Start("")).state, LookupResult::State::kFailed);
  EXPECT_EQ(PollUntilDone(*resolver->Start("no such host.invalid")).state,
            LookupResult::State::kFailed);
}

// A look-up dropped while its thread still runs leaves that thread to finish alone.
TEST(NameResolverPosix, ALookUpMayBeDroppedWhileItRuns) {
  auto resolver = MakeThreadNameResolver([](const std::string&) -> std::optional<std::uint32_t> {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return 1;
  });
  const auto started = Steady::now();
  resolver->Start("x").reset();
  resolver.reset();
  EXPECT_LT(Steady::now() - started, std::chrono::milliseconds(150));
}

TEST(UdpSocketPosix, OneDatagramToTheAddressGiven) {
  Bound listener(SOCK_DGRAM);
  auto socket = MakeSystemUdpSocket();
  ASSERT_TRUE(socket->Open());
  EXPECT_EQ(socket->SendTo(htonl(INADDR_LOOPBACK), listener.port, "{\"type\":1}"),
            SocketStatus::kDone);
  EXPECT_EQ(Bound::Read(listener.fd, 5000, 10), "{\"type\":1}");
  EXPECT_EQ(socket->SendTo(htonl(INADDR_LOOPBACK), 0, "x"), SocketStatus::kFailed);
}

// The real socket under an extra destination: connect, login and lines, each cycle returning
// at once; then a server that closed is found and tried again.
TEST(AprsDestinationPosix, LogsInAndDeliversOverTheSystemsSocket) {
  Bound server(SOCK_STREAM);
  ::listen(server.fd, 4);
  auto clock = MakeSystemClock();
  const std::string login = "user N0CALL-5 pass 1 vers x\r\n";
  AprsDestination destination(
      {"127.0.0.1,port", "127.0.0.1", server.port, "N0CALL-5", login, true, ""},
      MakeSystemTcpSocket(), MakeSystemNameResolver(), *clock);
  const SondeSample sample;
  const std::vector<std::string> none;
  const std::vector<std::string> lines = {"N0CALL-11>APZQW0,TCPIP*:>hi\r\n"};
  const auto end = Steady::now() + std::chrono::seconds(20);
  while (destination.Status().state != DestinationStatus::State::kUp && Steady::now() < end) {
    const auto before = Steady::now();
    destination.Cycle({sample, true, 0, clock->MonotonicMs(), none});
    EXPECT_LT(Steady::now() - before, std::chrono::milliseconds(500));
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_EQ(destination.Status().state, DestinationStatus::State::kUp);
  destination.Cycle({sample, true, 0, clock->MonotonicMs(), lines});
  const int connection = ::accept(server.fd, nullptr, nullptr);
  ASSERT_GE(connection, 0);
  const std::string expected = login + "N0CALL-5>APZQW0,TCPIP*:>hi\r\n";
  EXPECT_EQ(Bound::Read(connection, 5000, expected.size()), expected);
  EXPECT_EQ(destination.Status().sent, 1u);

  ::close(connection);
  while (destination.Status().state == DestinationStatus::State::kUp && Steady::now() < end) {
    destination.Cycle({sample, true, 0, clock->MonotonicMs(), none});
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(destination.Status().stateText, "connection lost: closed by the server");
  const auto records = destination.TakeRecords();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].rfind("SEND Error 57 ", 0), 0u);
}

}  // namespace
}  // namespace nimbrix
