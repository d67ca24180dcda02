
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

#include "platform/system.h"
#include "uplink/connection.h"

namespace nimbrix {
namespace {

// A socket on 127.0.0.1 with an ephemeral port; listening unless told otherwise.
class Peer {
 public:
  explicit Peer(bool listening = true, int receiveBuffer = 0) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (receiveBuffer > 0) {  // inherited by accepted sockets; also stops auto-tuning
      ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t length = sizeof a;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length);
    port_ = ntohs(a.sin_port);
    if (listening) ::listen(fd_, 4);
  }
  ~Peer() {
    if (conn_ >= 0) ::close(conn_);
    ::close(fd_);
  }
  int port() const { return port_; }
  void Accept() { conn_ = ::accept(fd_, nullptr, nullptr); }
  int conn() const { return conn_; }
  // What arrives until `expected` bytes are in, or nothing more comes for a while.
  std::string Receive(std::size_t expected) {
    std::string got;
    char buffer[4096];
    pollfd p{conn_, POLLIN, 0};
    // Up to the expected size, then a short look for anything extra.
    while (::poll(&p, 1, got.size() < expected ? 2000 : 50) > 0) {
      const ssize_t n = ::recv(conn_, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
  }
  void CloseConnection(bool reset) {
    if (reset) {
      const linger l{1, 0};
      ::setsockopt(conn_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    }
    ::close(conn_);
    conn_ = -1;
  }

 private:
  int fd_ = -1, conn_ = -1, port_ = 0;
};

// The connection as the station has it: the policy over this system's socket and clock.
Clock& SystemClock() {
  static const std::unique_ptr<Clock> clock = MakeSystemClock();
  return *clock;
}

TEST(PosixConnection, BytesArriveExactly) {
  Peer server;
  SystemConnection client(SystemClock());
  ASSERT_TRUE(client.Open("127.0.0.1", server.port()));
  server.Accept();
  const std::string line("user N0CALL pass 1\r\n\0\x1b\xff tail", 25);
  EXPECT_EQ(client.Send(line), 0);
  EXPECT_EQ(client.Send("second\r\n"), 0);
  const std::string all = line + "second\r\n";
  EXPECT_EQ(server.Receive(all.size()), all);
  EXPECT_EQ(client.Send(""), 0);
}

TEST(PosixConnection, ServerTrafficIsDroppedNotBlocking) {
  Peer server;
  SystemConnection client(SystemClock());
  ASSERT_TRUE(client.Open("localhost", server.port()));
  server.Accept();
  const std::string greeting(300000, '#');  // more than one send drains
  ::send(server.conn(), greeting.data(), greeting.size(), MSG_DONTWAIT);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(client.Send("x\r\n"), 0);
  EXPECT_EQ(server.Receive(9), "x\r\nx\r\nx\r\n");
}

// What the server sends, as TakeReceived hands it over once it has arrived.
std::string TakeUntil(Connection& client, std::size_t size) {
  std::string got;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (got.size() < size && std::chrono::steady_clock::now() < end) {
    got += client.TakeReceived();
    if (got.size() < size) ::usleep(1000);
  }
  return got;
}

TEST(PosixConnection, ServerTextIsKeptUntilTaken) {
  Peer server;
  SystemConnection client(SystemClock());
  EXPECT_EQ(client.TakeReceived(), "") << "not open";
  ASSERT_TRUE(client.Open("127.0.0.1", server.port()));
  server.Accept();
  const std::string answer = "# aprsc 2.1.21\r\n# logresp N0CALL verified, server T2TEST\r\n";
  ::send(server.conn(), answer.data(), answer.size(), 0);
  EXPECT_EQ(TakeUntil(client, answer.size()), answer);
  EXPECT_EQ(client.TakeReceived(), "");

  // What the read before a send finds is kept for the next look, not dropped.
  ::send(server.conn(), "# keepalive\r\n", 13, 0);
  std::string got;
  while (got.empty()) {
    ASSERT_EQ(client.Send("x\r\n"), 0);
    got = client.TakeReceived();
  }
  EXPECT_EQ(TakeUntil(client, 13 - got.size()), std::string("# keepalive\r\n").substr(got.size()));

  // A flood is kept only up to the bound between two looks; the rest is read and dropped.
  const std::string flood(kKeptIncomingBytes * 4, 'z');
  ::send(server.conn(), flood.data(), flood.size(), 0);
  std::size_t total = 0;
  for (int i = 0; i < 10000 && total < kKeptIncomingBytes; ++i) {
    for (int n = 0; n < 8; ++n) ASSERT_EQ(client.Send(""), 0);  // each read takes up to 64 KiB
    const std::string kept = client.TakeReceived();
    ASSERT_LE(kept.size(), kKeptIncomingBytes);
    ASSERT_EQ(kept.find_first_not_of('z'), std::string::npos);
    total += kept.size();
    if (kept.empty()) ::usleep(1000);
  }
  EXPECT_GE(total, kKeptIncomingBytes);
}

TEST(PosixConnection, EndOfStreamSeenByALookFailsTheNextSend) {
  for (bool reset : {false, true}) {
    Peer server;
    SystemConnection client(SystemClock());
    ASSERT_TRUE(client.Open("127.0.0.1", server.port()));
    server.Accept();
    ::send(server.conn(), "# bye\r\n", 7, 0);
    EXPECT_EQ(TakeUntil(client, 7), "# bye\r\n");
    server.CloseConnection(reset);
    ::usleep(20000);  // let the FIN or RST arrive
    EXPECT_EQ(client.TakeReceived(), "");
    EXPECT_EQ(client.Send("lost\r\n"), kSendNetworkError) << reset;
    EXPECT_EQ(client.Send("lost\r\n"), kSendNetworkError) << reset;
    // A new connection starts clean.
    client.Close();
    Peer next;
    ASSERT_TRUE(client.Open("127.0.0.1", next.port()));
    next.Accept();
    EXPECT_EQ(client.Send("fresh\r\n"), 0);
    EXPECT_EQ(next.Receive(7), "fresh\r\n");
  }
}

TEST(PosixConnection, OpenRefusals) {
  Peer server;
  Peer closed(false);  // bound but not listening: connections are refused
  SystemConnection client(SystemClock());
  EXPECT_FALSE(client.Open("127.0.0.1", closed.port()));
  EXPECT_FALSE(client.Open("127.0.0.1", 0));
  EXPECT_FALSE(client.Open("127.0.0.1", -14580));
  EXPECT_FALSE(client.Open("", server.port()));
  EXPECT_FALSE(client.Open(std::string("127.0.0.1\0evil", 14), server.port()));
  EXPECT_FALSE(client.IsOpen());
  EXPECT_EQ(client.Send("x"), kSendNotConnected);

  // A second open fails and leaves the first connection working.
  ASSERT_TRUE(client.Open("127.0.0.1", server.port()));
  server.Accept();
  EXPECT_FALSE(client.Open("127.0.0.1", server.port()));
  EXPECT_TRUE(client.IsOpen());
  EXPECT_EQ(client.Send("still\r\n"), 0);
  EXPECT_EQ(server.Receive(7), "still\r\n");
  client.Close();
  client.Close();
  EXPECT_FALSE(client.IsOpen());
  EXPECT_EQ(client.Send("x"), kSendNotConnected);
}

TEST(PosixConnection, PeerGoneFailsTheNextSend) {
  for (bool reset : {false, true}) {
    Peer server;
    SystemConnection client(SystemClock());
    ASSERT_TRUE(client.Open("127.0.0.1", server.port()));
    server.Accept();
    server.CloseConnection(reset);
    ::usleep(20000);  // let the FIN or RST arrive
    EXPECT_EQ(client.Send("lost\r\n"), kSendNetworkError) << reset;
    EXPECT_TRUE(client.IsOpen());  // closing is the caller's decision
  }
}

TEST(PosixConnection, PeerThatNeverReadsTimesOut) {
  Peer server(true, 4096);
  SystemConnection client(SystemClock(), LinkLimits{.sendMs = 150});
  ASSERT_TRUE(client.Open("127.0.0.1", server.port()));
  server.Accept();
  const std::string flood(16 << 20, 'x');  // more than both socket buffers hold
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(client.Send(flood), kSendTimedOut);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(150));
  EXPECT_LT(took, std::chrono::seconds(5));
  EXPECT_TRUE(client.IsOpen());
}

// This process's socket that is connected to `port` on the loopback.
int SocketConnectedTo(int port) {
  for (int fd = 3; fd < 4096; ++fd) {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    const bool connected = ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0;
    if (connected && peer.sin_family == AF_INET && ntohs(peer.sin_port) == port) return fd;
  }
  return -1;
}

TEST(PosixConnection, EveryConnectionGetsTheUnacknowledgedDataLimit) {
  Peer server;
  SystemConnection client(SystemClock());
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(client.Open("127.0.0.1", server.port()));
    server.Accept();
    const int fd = SocketConnectedTo(server.port());
    ASSERT_GE(fd, 0);
    unsigned int limit = 0;
    socklen_t size = sizeof limit;
    ASSERT_EQ(::getsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &limit, &size), 0);
    EXPECT_EQ(limit, 30000u);
    int noDelay = 0;
    size = sizeof noDelay;
    ASSERT_EQ(::getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, &size), 0);
    EXPECT_NE(noDelay, 0);
    client.Close();
  }
}

TEST(PosixConnection, AnEndOfStreamFoundByTheWatchIsTold) {
  Peer server;
  SystemConnection client(SystemClock());
  ASSERT_TRUE(client.Open("127.0.0.1", server.port()));
  server.Accept();
  EXPECT_EQ(client.CheckAlive(), LinkFault::kNone);
  server.CloseConnection(false);
  LinkFault fault = LinkFault::kNone;
  for (int i = 0; i < 2000 && fault == LinkFault::kNone; ++i) {
    fault = client.CheckAlive();
    if (fault == LinkFault::kNone) ::usleep(1000);
  }
  EXPECT_EQ(fault, LinkFault::kClosed);
  EXPECT_EQ(client.Send("lost\r\n"), kSendNetworkError);
  client.Close();
  EXPECT_EQ(client.CheckAlive(), LinkFault::kNone) << "closed: nothing to tell";
}

}  // namespace
}  // namespace nimbrix
