#include <gtest/gtest.h>
#include <ws2tcpip.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/system.h"
#include "platform/win32/loopback_listener.h"
#include "uplink/connection.h"

namespace nimbrix {
namespace {

// A listener on 127.0.0.1 that accepts one connection and then does what the test asks.
class Loopback {
 public:
  Loopback() { listener_ = ListenOnLoopback(port_); }
  ~Loopback() {
    if (peer_ != INVALID_SOCKET) closesocket(peer_);
    closesocket(listener_);
    WSACleanup();
  }
  int port() const { return port_; }
  SOCKET Accept() {
    peer_ = accept(listener_, nullptr, nullptr);
    return peer_;
  }
  // Everything the peer sends until it closes.
  std::string ReadAll() {
    std::string bytes;
    char buffer[65536];
    for (;;) {
      const int got = recv(peer_, buffer, sizeof buffer, 0);
      if (got <= 0) return bytes;
      bytes.append(buffer, static_cast<std::size_t>(got));
    }
  }
  void ClosePeer(bool reset) {
    if (reset) {
      linger hard{1, 0};
      setsockopt(peer_, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
    }
    closesocket(peer_);
    peer_ = INVALID_SOCKET;
  }

 private:
  SOCKET listener_ = INVALID_SOCKET;
  SOCKET peer_ = INVALID_SOCKET;
  int port_ = 0;
};

// The connection as the station has it: the policy over this system's socket and clock.
Clock& SystemClock() {
  static const std::unique_ptr<Clock> clock = MakeSystemClock();
  return *clock;
}

TEST(Win32Connection, RefusesUnusablePortsAndHosts) {
  Loopback server;
  struct Case {
    const char* host;
    int port;
  };
  const Case cases[] = {{"127.0.0.1", 0}, {"127.0.0.1", -1}, {"127.0.0.1", 65536}, {"", 80}};
  for (const Case& c : cases) {
    SystemConnection client(SystemClock());
    EXPECT_FALSE(client.Open(c.host, c.port)) << c.host << ":" << c.port;
    EXPECT_FALSE(client.IsOpen());
    EXPECT_EQ(client.Send("x"), kSendNotConnected);
  }
  SystemConnection client(SystemClock());
  EXPECT_FALSE(client.Open(std::string("127.0.0.1\0x", 11), server.port()));
}

TEST(Win32Connection, RefusedConnectionFails) {
  int port = 0;
  {
    Loopback closed;
    port = closed.port();
  }
  SystemConnection client(SystemClock());
  EXPECT_FALSE(client.Open("127.0.0.1", port));
  EXPECT_FALSE(client.IsOpen());
}

TEST(Win32Connection, SendsExactlyTheBytesAndKeepsTheFirstConnection) {
  Loopback server;
  SystemConnection client(SystemClock());
  ASSERT_TRUE(client.Open("127.0.0.1", server.port()));
  server.Accept();
  EXPECT_FALSE(client.Open("127.0.0.1", server.port()));  // already open: left as it is
  ASSERT_TRUE(client.IsOpen());

  const std::string login = "user N0CALL pass 1 vers NIMBRIX 0.22\r\n";
  std::string big(3 << 20, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 251);
  std::string received;
  std::thread reader([&] { received = server.ReadAll(); });
  EXPECT_EQ(client.Send(login), 0);
  EXPECT_EQ(client.Send(big), 0);
  EXPECT_EQ(client.Send(""), 0);
  client.Close();
  EXPECT_FALSE(client.IsOpen());
  reader.join();
  EXPECT_TRUE(received == login + big) << "received " << received.size() << " bytes";
  EXPECT_EQ(client.Send("late\r\n"), kSendNotConnected);
}

TEST(Win32Connection, WhatTheServerSendsIsDroppedBeforeSending) {
  Loopback server;
  SystemConnection client(SystemClock());
  ASSERT_TRUE(client.Open("127.0.0.1", server.port()));
  const SOCKET peer = server.Accept();
  const std::string greeting = "# aprsc 2.1.14\r\n";
  for (int i = 0; i < 100; ++i) send(peer, greeting.data(), static_cast<int>(greeting.size()), 0);
  Sleep(50);
  EXPECT_EQ(client.Send("line\r\n"), 0);
}

// What the server sends, as TakeReceived hands it over once it has arrived.
std::string TakeUntil(Connection& client, std::size_t size) {
  std::string got;
  const ULONGLONG end = GetTickCount64() + 10000;
  while (got.size() < size && GetTickCount64() < end) {
    got += client.TakeReceived();
    if (got.size() < size) Sleep(1);
  }
  return got;
}

TEST(Win32Connection, ServerTextIsKeptUntilTakenAndAnEndSeenThereFailsTheNextSend) {
  Loopback server;
  SystemConnection client(SystemClock());
  EXPECT_EQ(client.TakeReceived(), "");
  ASSERT_TRUE(client.Open("127.0.0.1", server.port()));
  const SOCKET peer = server.Accept();
  const std::string answer = "# aprsc 2.1.21\r\n# logresp N0CALL unverified, server T2TEST\r\n";
  send(peer, answer.data(), static_cast<int>(answer.size()), 0);
  EXPECT_EQ(TakeUntil(client, answer.size()), answer);

  const std::string flood(kKeptIncomingBytes * 4, 'z');
  send(peer, flood.data(), static_cast<int>(flood.size()), 0);
  std::size_t total = 0;
  for (int i = 0; i < 10000 && total < kKeptIncomingBytes; ++i) {
    for (int n = 0; n < 8; ++n) ASSERT_EQ(client.Send(""), 0);
    const std::string kept = client.TakeReceived();
    ASSERT_LE(kept.size(), kKeptIncomingBytes);
    total += kept.size();
    if (kept.empty()) Sleep(1);
  }
  EXPECT_GE(total, kKeptIncomingBytes);

  server.ClosePeer(false);
  Sleep(50);
  for (int i = 0; i < 100; ++i) client.TakeReceived();  // reads up to the end of the stream
  EXPECT_EQ(client.Send("line\r\n"), kSendNetworkError);
  EXPECT_EQ(client.Send("line\r\n"), kSendNetworkError);
}

TEST(Win32Connection, ClosedOrResetByTheServerIsANetworkError) {
  for (bool reset : {false, true}) {
    Loopback server;
    SystemConnection client(SystemClock());
    ASSERT_TRUE(client.Open("127.0.0.1", server.port()));
    server.Accept();
    server.ClosePeer(reset);
    Sleep(50);
    EXPECT_EQ(client.Send("line\r\n"), kSendNetworkError) << (reset ? "reset" : "closed");
    EXPECT_TRUE(client.IsOpen());  // the caller decides what to do with it
  }
}

TEST(Win32Connection, AServerThatStopsReadingTimesTheSendOut) {
  Loopback server;
  SystemConnection client(SystemClock(), LinkLimits{.sendMs = 200});
  ASSERT_TRUE(client.Open("127.0.0.1", server.port()));
  server.Accept();  // never read: the buffers fill up
  const std::string flood(64 << 20, 'x');
  const DWORD start = GetTickCount();
  EXPECT_EQ(client.Send(flood), kSendTimedOut);
  EXPECT_LT(GetTickCount() - start, 20000u);
}

}  // namespace
}  // namespace nimbrix
