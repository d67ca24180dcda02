#include "uplink/connection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fake/fake_socket.h"
#include "platform/fake/fakes.h"

namespace nimbrix {
namespace {

using fake::FakeClock;
using fake::FakeTcpSocket;

constexpr char kLine[] = "N0CALL>APZQW0,TCPIP*:>x\r\n";
constexpr char kGreeting[] = "# aprsc 2.1.14-g5e3b8d7\r\n";

// The policy on the virtual clock, over a socket to "aprs:1" that answers at once.
struct Rig {
  explicit Rig(LinkLimits limits = {}) : connection(socket, clock, limits) {
    socket.servers["aprs:1"] = 0;
  }
  std::int64_t now() const { return clock.elapsedMs(); }
  // Opens the connection to a server that greets, and reads the greeting: it talks.
  void OpenToATalkingServer() {
    socket.serverText["aprs:1"] = {kGreeting};
    ASSERT_TRUE(connection.Open("aprs", 1));
    ASSERT_EQ(connection.CheckAlive(), LinkFault::kNone);
  }
  FakeClock clock;
  FakeTcpSocket socket{clock};
  Connection connection;
};

// --- the send rule ---------------------------------------------------------------------------

TEST(ConnectionSend, WaitsOneMinuteForRoomThenGivesUpWith24) {
  struct Case {
    const char* name;
    std::deque<int> interrupts;
    std::vector<int> expectedWaits;
  };
  const std::vector<Case> cases = {
      {"never writable", {}, {60000}},
      {"signals do not extend the minute", {20000, 30000}, {60000, 40000, 10000}},
  };
  for (const auto& c : cases) {
    Rig rig;
    ASSERT_TRUE(rig.connection.Open("aprs", 1));
    rig.socket.writableAfterMs = FakeTcpSocket::kNever;
    rig.socket.interruptAfterMs = c.interrupts;
    EXPECT_EQ(rig.connection.Send("N0CALL>APZQW0:>x\r\n"), kSendTimedOut) << c.name;
    EXPECT_EQ(rig.now(), 60000) << c.name;
    EXPECT_EQ(rig.socket.waits, c.expectedWaits) << c.name;
    EXPECT_EQ(rig.socket.sent, "") << c.name;
    EXPECT_TRUE(rig.connection.IsOpen()) << c.name;
  }
}

// Work due every 700 ms on the clock (the station's frames for its other outputs).
struct EveryWork : WaitWork {
  explicit EveryWork(FakeClock& c) : clock(c) {}
  std::int64_t NextDueMs() const override { return next; }
  void Run() override {
    runs.push_back(clock.MonotonicMs());
    next = clock.MonotonicMs() + 700;
  }
  FakeClock& clock;
  std::int64_t next = 700;
  std::vector<std::int64_t> runs;
};

// A wait with work to do is cut where the work is due; it keeps its deadline and its outcome.
TEST(ConnectionWaits, WorkRunsInsideTheWaitsWhichKeepTheirDeadlines) {
  struct Case {
    const char* name;
    int writableAfterMs;  // for the send
    int connectAfterMs;
    int expectedSend;
    std::int64_t expectedEndMs;
    std::size_t expectedRuns;
  };
  const Case cases[] = {
      {"a send that never finds room", FakeTcpSocket::kNever, 0, kSendTimedOut, 60000, 85},
      {"a connect that takes 3 s, then room at once", 0, 3000, 0, 3000, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeClock clock;
    FakeTcpSocket socket{clock};
    socket.servers["aprs:1"] = c.connectAfterMs;
    WaitWorkSlot slot;
    EveryWork work(clock);
    slot.Set(&work);
    Connection connection(socket, clock, {}, {}, &slot);
    ASSERT_TRUE(connection.Open("aprs", 1));
    socket.writableAfterMs = c.writableAfterMs;
    EXPECT_EQ(connection.Send(kLine), c.expectedSend);
    EXPECT_EQ(clock.MonotonicMs(), c.expectedEndMs);
    EXPECT_EQ(work.runs.size(), c.expectedRuns);
    for (std::size_t i = 0; i < work.runs.size(); ++i) {
      EXPECT_EQ(work.runs[i], static_cast<std::int64_t>(700 * (i + 1)));
    }
  }
}

// Once the program has been asked to stop, the signal that asked ends a wait at once: the station
// does not sit out a minute (or a connect's ten seconds) before it can end.
TEST(ConnectionStop, ASignalThatAsksToStopEndsTheWaitAtOnce) {
  bool stopping = false;
  FakeClock clock;
  FakeTcpSocket socket{clock};
  socket.servers["aprs:1"] = 0;
  socket.servers["slow:1"] = FakeTcpSocket::kNever;
  Connection connection(socket, clock, {}, [&stopping] { return stopping; });
  ASSERT_TRUE(connection.Open("aprs", 1));
  socket.writableAfterMs = FakeTcpSocket::kNever;
  socket.interruptAfterMs = {2000, 3000};
  stopping = true;
  EXPECT_NE(connection.Send(kLine), 0);
  EXPECT_EQ(clock.elapsedMs(), 2000);
  EXPECT_EQ(socket.sent, "");

  connection.Close();
  socket.interruptAfterMs = {1500};
  EXPECT_FALSE(connection.Open("slow", 1));
  EXPECT_EQ(clock.elapsedMs(), 3500);

  stopping = false;  // a signal that asks for nothing goes on waiting, as before
  socket.interruptAfterMs = {1000};
  EXPECT_FALSE(connection.Open("slow", 1));
  EXPECT_EQ(clock.elapsedMs(), 13500);
}

TEST(ConnectionSend, RoomJustBeforeTheMinuteIsUsed) {
  Rig rig;
  ASSERT_TRUE(rig.connection.Open("aprs", 1));
  rig.socket.writableAfterMs = 59999;
  const std::string line = "N0CALL>APZQW0,TCPIP*:>late but sent\r\n";
  EXPECT_EQ(rig.connection.Send(line), 0);
  EXPECT_EQ(rig.socket.sent, line);
  EXPECT_EQ(rig.now(), 59999);
}

TEST(ConnectionSend, EachPortionHasItsOwnMinute) {
  Rig rig;
  ASSERT_TRUE(rig.connection.Open("aprs", 1));
  rig.socket.writableAfterMs = 50000;
  rig.socket.room = 10;  // the 25 bytes go in three portions
  EXPECT_EQ(rig.connection.Send(kLine), 0);
  EXPECT_EQ(rig.socket.sent, kLine);
  EXPECT_EQ(rig.socket.waits, (std::vector<int>{60000, 60000, 60000}));
  EXPECT_EQ(rig.now(), 150000);
}

TEST(ConnectionSend, WhatTheSystemSaysBecomesAnErrorNumber) {
  using S = SocketStatus;
  struct Case {
    const char* name;
    std::deque<S> sends;
    int expected;
    std::string sent;  // what got out before the failure
  };
  const std::vector<Case> cases = {
      {"sent", {S::kDone}, 0, kLine},
      {"reset", {S::kFailed}, kSendNetworkError, ""},
      {"blocking call in progress", {S::kInProgress}, kSendInProgress, ""},
      {"given up, unacknowledged", {S::kUnacknowledged}, kSendLinkDead, ""},
      {"interrupted, then sent", {S::kInterrupted, S::kWouldBlock, S::kDone}, 0, kLine},
  };
  for (const auto& c : cases) {
    Rig rig;
    ASSERT_TRUE(rig.connection.Open("aprs", 1));
    rig.socket.sendResults = c.sends;
    EXPECT_EQ(rig.connection.Send(kLine), c.expected) << c.name;
    EXPECT_EQ(rig.socket.sent, c.sent) << c.name;
    EXPECT_TRUE(rig.connection.IsOpen()) << c.name;
  }
  Rig rig;
  ASSERT_TRUE(rig.connection.Open("aprs", 1));
  rig.socket.room = 0;  // writable, yet nothing moves: no endless loop
  EXPECT_EQ(rig.connection.Send(kLine), kSendNetworkError);
  EXPECT_EQ(rig.connection.Send(""), 0) << "nothing to send is no failure";
}

TEST(ConnectionSend, NoConnectionGives52) {
  Rig rig;
  EXPECT_EQ(rig.connection.Send(kLine), kSendNotConnected);
  rig.socket.servers.clear();
  EXPECT_FALSE(rig.connection.Open("aprs", 1));
  EXPECT_EQ(rig.connection.Send(kLine), kSendNotConnected);
}

TEST(ConnectionSend, TheServersTextIsReadFirstAndKeptForTheLogin) {
  Rig rig;
  rig.socket.serverText["aprs:1"] = {kGreeting, "# logresp N0CALL verified, server T\r\n"};
  ASSERT_TRUE(rig.connection.Open("aprs", 1));
  EXPECT_EQ(rig.connection.Send(kLine), 0);
  EXPECT_TRUE(rig.socket.arrived.empty()) << "drained before the send";
  EXPECT_EQ(rig.connection.TakeReceived(),
            std::string(kGreeting) + "# logresp N0CALL verified, server T\r\n");
  EXPECT_EQ(rig.connection.TakeReceived(), "");
}

TEST(ConnectionSend, AFloodIsKeptOnlyUpToTheBoundAndDoesNotHoldTheSend) {
  Rig rig;
  ASSERT_TRUE(rig.connection.Open("aprs", 1));
  rig.socket.arrived.assign(100, std::string(4096, 'z'));  // more than one look reads
  EXPECT_EQ(rig.connection.Send(kLine), 0);
  EXPECT_EQ(rig.socket.sent, kLine);
  EXPECT_FALSE(rig.socket.arrived.empty()) << "one look reads a bounded amount";
  EXPECT_EQ(rig.connection.TakeReceived().size(), kKeptIncomingBytes);
}

TEST(ConnectionSend, AReadFaultFailsEverySendUntilClosed) {
  using S = SocketStatus;
  struct Case {
    S read;
    int error;
    LinkFault fault;
  };
  const std::vector<Case> cases = {
      {S::kEndOfStream, kSendNetworkError, LinkFault::kClosed},
      {S::kFailed, kSendNetworkError, LinkFault::kNetworkError},
      {S::kInProgress, kSendInProgress, LinkFault::kNetworkError},
      {S::kUnacknowledged, kSendLinkDead, LinkFault::kUnacknowledged},
  };
  for (const auto& c : cases) {
    Rig rig;
    rig.socket.serverText["aprs:1"] = {"# bye\r\n"};
    ASSERT_TRUE(rig.connection.Open("aprs", 1));
    rig.socket.afterArrived = c.read;
    EXPECT_EQ(rig.connection.TakeReceived(), "# bye\r\n") << c.error;
    EXPECT_EQ(rig.connection.Send(kLine), c.error);
    EXPECT_EQ(rig.connection.Send(kLine), c.error);
    EXPECT_EQ(rig.connection.CheckAlive(), c.fault);
    EXPECT_EQ(rig.socket.sent, "") << "nothing goes into a broken connection";
    rig.connection.Close();
    ASSERT_TRUE(rig.connection.Open("aprs", 1));
    EXPECT_EQ(rig.connection.CheckAlive(), LinkFault::kNone) << "a new connection starts clean";
    EXPECT_EQ(rig.connection.Send(kLine), 0);
  }
}

// --- the watch for a dead link ---------------------------------------------------------------

TEST(ConnectionWatch, SilenceOf59_9SecondsIsAliveAnd60SecondsIsDead) {
  Rig rig;
  rig.OpenToATalkingServer();
  rig.clock.Advance(59900);
  EXPECT_EQ(rig.connection.CheckAlive(), LinkFault::kNone);
  rig.clock.Advance(100);
  EXPECT_EQ(rig.connection.CheckAlive(), LinkFault::kSilent);

  // Dead it stays, whatever arrives later; the line does not go into it.
  rig.socket.arrived.push_back("# late\r\n");
  EXPECT_EQ(rig.connection.CheckAlive(), LinkFault::kSilent);
  EXPECT_EQ(rig.connection.Send(kLine), kSendLinkDead);
  EXPECT_EQ(rig.socket.sent, "");
  EXPECT_EQ(rig.connection.TakeReceived(), kGreeting);
}

TEST(ConnectionWatch, AServerThatNeverTalkedIsNotJudgedBySilence) {
  Rig rig;
  ASSERT_TRUE(rig.connection.Open("aprs", 1));
  for (int minute = 0; minute < 10; ++minute) {
    rig.clock.Advance(60000);
    EXPECT_EQ(rig.connection.CheckAlive(), LinkFault::kNone) << minute;
    EXPECT_EQ(rig.connection.Send(kLine), 0) << minute;
  }
  EXPECT_EQ(rig.socket.unacknowledgedLimitMs, 30000) << "that one is left to the system";
}

TEST(ConnectionWatch, KeepAliveLinesCutOverReadsKeepItAlive) {
  Rig rig;
  rig.socket.serverText["aprs:1"] = {"# aprsc 2.1"};  // the greeting's start only
  ASSERT_TRUE(rig.connection.Open("aprs", 1));
  EXPECT_EQ(rig.connection.CheckAlive(), LinkFault::kNone);
  // Each piece of a line counts as the server talking, whether or not its end has come.
  const std::vector<std::string> pieces = {"4\r\n# 8 Dec 2026 20:", "41:25 GMT T2TEST", "\r\n"};
  for (const std::string& piece : pieces) {
    rig.clock.Advance(50000);
    rig.socket.arrived.push_back(piece);
    EXPECT_EQ(rig.connection.CheckAlive(), LinkFault::kNone) << piece;
  }
  // The reads before a send count as well as the watch's own.
  rig.clock.Advance(50000);
  rig.socket.arrived.push_back("# 8 Dec 2026 20:45:05 GMT T2TEST\r\n");
  EXPECT_EQ(rig.connection.Send(kLine), 0);
  rig.clock.Advance(59999);
  EXPECT_EQ(rig.connection.CheckAlive(), LinkFault::kNone);
  rig.clock.Advance(1);
  EXPECT_EQ(rig.connection.CheckAlive(), LinkFault::kSilent);
  EXPECT_EQ(rig.connection.TakeReceived(),
            "# aprsc 2.14\r\n# 8 Dec 2026 20:41:25 GMT T2TEST\r\n"
            "# 8 Dec 2026 20:45:05 GMT T2TEST\r\n");
}

TEST(ConnectionWatch, TextThatWaitedInTheSocketCountsWhenItIsRead) {
  // The station was busy (a long send, a slow decoder): what arrived meanwhile is read first.
  Rig rig;
  rig.OpenToATalkingServer();
  rig.clock.Advance(90000);
  rig.socket.arrived.push_back("# 8 Dec 2026 20:42:25 GMT T2TEST\r\n");
  EXPECT_EQ(rig.connection.CheckAlive(), LinkFault::kNone);
}

TEST(ConnectionWatch, ANewConnectionStartsItsOwnWatch) {
  Rig rig;
  rig.OpenToATalkingServer();
  rig.clock.Advance(60000);
  EXPECT_EQ(rig.connection.CheckAlive(), LinkFault::kSilent);
  rig.connection.Close();
  EXPECT_EQ(rig.connection.CheckAlive(), LinkFault::kNone) << "closed";
  rig.socket.serverText.clear();
  ASSERT_TRUE(rig.connection.Open("aprs", 1));
  rig.clock.Advance(120000);
  EXPECT_EQ(rig.connection.CheckAlive(), LinkFault::kNone) << "this server has not talked yet";
  EXPECT_EQ(rig.connection.Send(kLine), 0);
}

TEST(ConnectionWatch, TheSystemGivingUpUnacknowledgedDataIsTold) {
  Rig rig;
  ASSERT_TRUE(rig.connection.Open("aprs", 1));
  EXPECT_EQ(rig.socket.unacknowledgedLimitMs, 30000);
  rig.socket.afterArrived = SocketStatus::kUnacknowledged;
  EXPECT_EQ(rig.connection.CheckAlive(), LinkFault::kUnacknowledged);
  EXPECT_EQ(rig.connection.Send(kLine), kSendLinkDead);
  EXPECT_EQ(rig.socket.sent, "");

  // Found by a send as well: by the wait for room, or by the send itself.
  for (bool inTheWait : {true, false}) {
    Rig other;
    ASSERT_TRUE(other.connection.Open("aprs", 1));
    auto& results = inTheWait ? other.socket.waitResults : other.socket.sendResults;
    results = {SocketStatus::kUnacknowledged};
    EXPECT_EQ(other.connection.Send(kLine), kSendLinkDead) << inTheWait;
    EXPECT_EQ(other.connection.CheckAlive(), LinkFault::kUnacknowledged) << inTheWait;
    EXPECT_EQ(other.connection.Send(kLine), kSendLinkDead) << inTheWait;
    EXPECT_EQ(other.socket.sent, "") << inTheWait;
  }
}

TEST(ConnectionSend, AWaitThatFailsIsANetworkError) {
  Rig rig;
  ASSERT_TRUE(rig.connection.Open("aprs", 1));
  rig.socket.waitResults = {SocketStatus::kFailed};
  EXPECT_EQ(rig.connection.Send(kLine), kSendNetworkError);
  EXPECT_EQ(rig.connection.CheckAlive(), LinkFault::kNone) << "not kept: the next send tries";
  EXPECT_EQ(rig.connection.Send(kLine), 0);
}

TEST(ConnectionWatch, WhereTheSystemCannotLimitUnacknowledgedDataTheConnectionStillOpens) {
  Rig rig;
  rig.socket.canLimit = false;
  EXPECT_TRUE(rig.connection.Open("aprs", 1));
  EXPECT_EQ(rig.connection.Send(kLine), 0);
}

// --- the connect -----------------------------------------------------------------------------

TEST(ConnectionOpen, AConnectEndsWithinTenSeconds) {
  struct Case {
    const char* name;
    int answersAfterMs;
    std::deque<int> interrupts;
    bool opens;
    std::int64_t took;
    std::vector<int> waits;
  };
  const std::vector<Case> cases = {
      {"at once", 0, {}, true, 0, {}},
      {"after 9.999 s", 9999, {}, true, 9999, {10000}},
      {"never (every SYN dropped)", FakeTcpSocket::kNever, {}, false, 10000, {10000}},
      {"too late", 10001, {}, false, 10000, {10000}},
      {"signals do not extend it",
       FakeTcpSocket::kNever,
       {3000, 4000},
       false,
       10000,
       {10000, 7000, 3000}},
  };
  for (const auto& c : cases) {
    Rig rig;
    rig.socket.servers["slow:1"] = c.answersAfterMs;
    rig.socket.interruptAfterMs = c.interrupts;
    EXPECT_EQ(rig.connection.Open("slow", 1), c.opens) << c.name;
    EXPECT_EQ(rig.connection.IsOpen(), c.opens) << c.name;
    EXPECT_EQ(rig.now(), c.took) << c.name;
    EXPECT_EQ(rig.socket.waits, c.waits) << c.name;
  }
}

TEST(ConnectionOpen, RefusalsCostNoTime) {
  Rig rig;
  EXPECT_FALSE(rig.connection.Open("refusing", 1));
  EXPECT_EQ(rig.socket.connects, 1);
  // Unusable ports and hosts never reach the system.
  EXPECT_FALSE(rig.connection.Open("aprs", 0));
  EXPECT_FALSE(rig.connection.Open("aprs", -14580));
  EXPECT_FALSE(rig.connection.Open("aprs", 65536));
  EXPECT_FALSE(rig.connection.Open("", 1));
  EXPECT_FALSE(rig.connection.Open(std::string("aprs\0evil", 9), 1));
  EXPECT_EQ(rig.socket.connects, 1);
  EXPECT_EQ(rig.now(), 0);

  // A second open fails and leaves the first connection as it was.
  ASSERT_TRUE(rig.connection.Open("aprs", 1));
  EXPECT_FALSE(rig.connection.Open("aprs", 1));
  EXPECT_TRUE(rig.connection.IsOpen());
  EXPECT_EQ(rig.connection.Send(kLine), 0);
  rig.connection.Close();
  rig.connection.Close();
  EXPECT_FALSE(rig.connection.IsOpen());
}

}  // namespace
}  // namespace nimbrix
