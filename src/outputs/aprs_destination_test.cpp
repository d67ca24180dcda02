#include "outputs/aprs_destination.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "outputs/source_call.h"
#include "platform/fake/fake_socket.h"
#include "platform/fake/fakes.h"

namespace nimbrix {
namespace {

using fake::FakeClock;
using fake::FakeNameResolver;
using fake::FakeTcpSocket;
using State = DestinationStatus::State;

constexpr char kServer[] = "192.0.2.7:14580";
constexpr char kLogin[] = "user DL1ABC-9 pass 12345 vers NIMBRIX 0.22 filter b/ZZZZZ/\r\n";
constexpr char kVerified[] = "# logresp DL1ABC-9 verified, server T2TEST\r\n";
constexpr char kKeepAlive[] = "# aprsc 2.1.14 9 Dec 2026 20:41:05 GMT T2TEST\r\n";

std::string Report(int n) {
  return "DL1ABC-9>APZQW0,TCPIP*:@204105h4807.41N/01131.00EO" + std::to_string(n) + "\r\n";
}

// One extra destination "radiosondy,14580" on the virtual clock; the name is found as
// 192.0.2.7, where a server answers at once unless a test says otherwise.
struct Rig {
  explicit Rig(std::string ownCall = "", std::string beacon = "") {
    auto owned = std::make_unique<FakeTcpSocket>(clock);
    socket = owned.get();
    socket->servers[kServer] = 0;
    resolver->answers["radiosondy"] = {0, "192.0.2.7"};
    AprsDestinationSetup setup{"radiosondy,14580",
                               "radiosondy",
                               14580,
                               ownCall.empty() ? "DL1ABC-9" : ownCall,
                               ownCall.empty() ? kLogin : "user " + ownCall + " pass 1 vers X\r\n",
                               !ownCall.empty(),
                               beacon};
    destination = std::make_unique<AprsDestination>(setup, std::move(owned), resolver, clock);
  }
  // One cycle handing `lines`; the clock must not move inside it. Then a second passes.
  void Cycle(const std::vector<std::string>& lines = {}) {
    const std::int64_t before = clock.MonotonicMs();
    destination->Cycle(CycleFacts{sample, true, clock.UtcMs(), before, lines});
    EXPECT_EQ(clock.MonotonicMs(), before) << "a cycle waited";
    clock.Advance(1000);
  }
  // `seconds` cycles, each handing the next report; returns the reports handed.
  std::vector<std::string> Run(int seconds) {
    std::vector<std::string> handed;
    for (int i = 0; i < seconds; ++i) {
      handed.push_back(Report(next++));
      Cycle({handed.back()});
    }
    return handed;
  }
  std::vector<std::string> Records() { return destination->TakeRecords(); }

  FakeClock clock;
  FakeTcpSocket* socket = nullptr;
  std::shared_ptr<FakeNameResolver> resolver = std::make_shared<FakeNameResolver>(clock);
  std::unique_ptr<AprsDestination> destination;
  SondeSample sample;
  int next = 0;
};

std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const auto& line : lines) all += line;
  return all;
}

TEST(AprsDestination, LogsInThenSendsEveryLineByteForByte) {
  Rig rig;
  const auto handed = rig.Run(3);
  EXPECT_EQ(rig.socket->sent, kLogin + Joined(handed));
  const DestinationStatus status = rig.destination->Status();
  EXPECT_EQ(status.kind, "APRS-IS");
  EXPECT_EQ(status.name, "radiosondy,14580");
  EXPECT_EQ(status.state, State::kUp);
  EXPECT_EQ(status.sent, 3u);
  EXPECT_EQ(status.failed, 0u);
}

TEST(AprsDestination, ItsOwnCallReplacesTheSourceCallOnly) {
  Rig rig("DL1ABC-12");
  const std::string object =
      "DL1ABC-9>APZQW0,TCPIP*:;T1234567 *204105h4807.41N/01131.00EO>DL1ABC-9\r\n";
  rig.Cycle({object, Report(1)});
  const std::string login = "user DL1ABC-12 pass 1 vers X\r\n";
  EXPECT_EQ(rig.socket->sent,
            login + "DL1ABC-12>APZQW0,TCPIP*:;T1234567 *204105h4807.41N/01131.00EO>DL1ABC-9\r\n" +
                "DL1ABC-12>APZQW0,TCPIP*:@204105h4807.41N/01131.00EO1\r\n");
}

// The beacon goes to a destination once it is up, however late that is, and every 30 minutes
// after, under its own call; the primary's copy among the cycle's lines is not sent again.
TEST(AprsDestination, TheBeaconOnceUpAndEveryHalfHour) {
  const std::string beacon = "DL1ABC-9>APZQW0,TCPIP*:!4807.40N/01134.07E`/A=001706 NIMBRIX\r\n";
  Rig rig("DL1ABC-12", beacon);
  rig.socket->servers[kServer] = 3000;  // up only in the fourth cycle
  rig.Cycle({beacon, Report(0)});       // the primary's beacon at start: this one is not up yet
  for (int second = 1; second < 2 * 1800 + 10; ++second) rig.Cycle({Report(second)});
  const std::string own = "DL1ABC-12>APZQW0,TCPIP*:!4807.40N/01134.07E`/A=001706 NIMBRIX\r\n";
  std::vector<std::size_t> at;
  for (std::size_t i = rig.socket->sent.find(own); i != std::string::npos;
       i = rig.socket->sent.find(own, i + 1)) {
    at.push_back(i);
  }
  ASSERT_EQ(at.size(), 3u);  // once up, then after 30 and 60 minutes
  EXPECT_EQ(at[0], std::string("user DL1ABC-12 pass 1 vers X\r\n").size());
  EXPECT_EQ(rig.socket->sent.find(beacon), std::string::npos);
}

TEST(SourceCall, OnlyThePartBeforeTheFirstArrowChanges) {
  struct Case {
    const char* line;
    const char* call;
    const char* expected;
  };
  const Case cases[] = {
      {"A>B:x\r\n", "C-1", "C-1>B:x\r\n"},
      {"A>B:;OBJ>X    *x>y\r\n", "C", "C>B:;OBJ>X    *x>y\r\n"},
      {"no arrow\r\n", "C", "no arrow\r\n"},
      {">B:x", "C", "C>B:x"},
      {"A>B:x", "", "A>B:x"},
  };
  for (const auto& c : cases) EXPECT_EQ(WithSourceCall(c.line, c.call), c.expected) << c.line;
}

// Whatever the destination does, the cycle goes on at once (Rig::Cycle checks the clock) and
// the socket is never asked to wait.
TEST(AprsDestination, AFaultyDestinationCostsTheCycleNothing) {
  struct Case {
    const char* name;
    void (*make)(Rig&);
  };
  const Case cases[] = {
      {"refuses", [](Rig& r) { r.socket->servers.clear(); }},
      {"black-holes the connect",
       [](Rig& r) { r.socket->servers[kServer] = FakeTcpSocket::kNever; }},
      {"name look-up hangs",
       [](Rig& r) {
         r.resolver->answers["radiosondy"] = {FakeNameResolver::kNever, ""};
       }},
      {"name not found",
       [](Rig& r) {
         r.resolver->answers["radiosondy"] = {0, ""};
       }},
      {"closes", [](Rig& r) { r.socket->afterArrived = SocketStatus::kEndOfStream; }},
      {"never drains", [](Rig& r) { r.socket->capacity = 100; }},
      {"black-holes data",
       [](Rig& r) {
         r.socket->serverText[kServer] = {kKeepAlive};
         r.socket->sendResults = {SocketStatus::kDone, SocketStatus::kDone,
                                  SocketStatus::kWouldBlock, SocketStatus::kWouldBlock};
       }},
  };
  for (const auto& c : cases) {
    Rig rig;
    c.make(rig);
    rig.Run(300);
    for (int wait : rig.socket->waits) EXPECT_EQ(wait, 0) << c.name;
    const DestinationStatus status = rig.destination->Status();
    EXPECT_EQ(status.sent + status.failed, 300u) << c.name;
  }
}

TEST(AprsDestination, RetriesAfterFiveSecondsDoublingToAMinute) {
  Rig rig;
  rig.socket->servers.clear();
  std::vector<std::int64_t> attempts;  // each with its record (the probes between have none)
  std::vector<std::string> records;
  for (int s = 0; s < 260; ++s) {
    rig.Cycle();
    for (std::string& r : rig.Records()) {
      attempts.push_back(rig.clock.MonotonicMs() / 1000 - 1);
      records.push_back(std::move(r));
    }
  }
  EXPECT_EQ(attempts, (std::vector<std::int64_t>{0, 5, 15, 35, 75, 135, 195, 255}));
  ASSERT_EQ(records.size(), attempts.size());
  EXPECT_EQ(records[0].rfind("OPEN Error @", 0), 0u);
  EXPECT_NE(records[0].find("-> radiosondy\r\n"), std::string::npos);
  EXPECT_EQ(rig.destination->Status().state, State::kFailing);
  EXPECT_EQ(rig.destination->Status().stateText, "cannot connect");
}

// A server that is back is found within about ten seconds, whatever the back-off has grown to:
// a probe between the attempts, which costs no record and leaves the back-off as it was.
TEST(AprsDestination, AServerThatIsBackIsFoundWithinTenSeconds) {
  struct Case {
    int backAtS;   // the server answers again from then on
    int foundByS;  // the destination is up again by then
  } cases[] = {{80, 91}, {140, 151}, {200, 211}};
  for (const Case& c : cases) {
    Rig rig;
    rig.socket->servers.clear();
    int records = 0;
    int upAt = -1;
    for (int s = 0; s < 260 && upAt < 0; ++s) {
      if (s == c.backAtS) rig.socket->servers[kServer] = 0;
      rig.Cycle();
      records += static_cast<int>(rig.Records().size());
      if (rig.destination->Status().state == State::kUp) upAt = s;
    }
    EXPECT_GE(upAt, c.backAtS) << c.backAtS;
    EXPECT_LE(upAt, c.foundByS) << c.backAtS;
    // The attempts' records only: 0, 5, 15, 35, 75, 135, 195 s, as far as it got.
    int expected = 0;
    for (int at : {0, 5, 15, 35, 75, 135, 195}) expected += at < c.backAtS ? 1 : 0;
    EXPECT_EQ(records, expected) << c.backAtS;
  }
}

TEST(AprsDestination, ALookUpOrConnectThatHangsFailsAfterTenSeconds) {
  struct Case {
    const char* name;
    void (*make)(Rig&);
  };
  const Case cases[] = {
      {"look-up",
       [](Rig& r) {
         r.resolver->answers["radiosondy"] = {FakeNameResolver::kNever, ""};
       }},
      {"connect", [](Rig& r) { r.socket->servers[kServer] = FakeTcpSocket::kNever; }},
  };
  for (const auto& c : cases) {
    Rig rig;
    c.make(rig);
    for (int s = 0; s < 10; ++s) rig.Cycle();
    EXPECT_TRUE(rig.Records().empty()) << c.name;
    rig.Cycle();
    const auto records = rig.Records();
    ASSERT_EQ(records.size(), 1u) << c.name;
    EXPECT_EQ(records[0].rfind("OPEN Error @", 0), 0u) << c.name;
  }
}

TEST(AprsDestination, LinesMissedWhileDownAreCountedNotKept) {
  Rig rig;
  rig.socket->servers.clear();
  rig.Run(3);  // refused at 0 s; the next attempt is at 5 s
  rig.socket->servers[kServer] = 0;
  rig.Run(2);  // 3 s, 4 s: still waiting
  const auto after = rig.Run(2);
  EXPECT_EQ(rig.socket->sent, kLogin + Joined(after));
  EXPECT_EQ(rig.destination->Status().failed, 5u);
  EXPECT_EQ(rig.destination->Status().sent, 2u);
}

// A server that stops reading: a line that does not fit is dropped, a part-sent line is
// finished before any other byte, and nothing is ever waited for.
TEST(AprsDestination, ALineThatDoesNotFitIsDroppedAndAPartSentLineFinishedFirst) {
  Rig rig;
  const std::size_t login = std::string(kLogin).size();
  const std::size_t line = Report(0).size();
  rig.socket->capacity = login + line + line / 2;
  const auto handed = rig.Run(4);  // 0 whole, 1 half, 2 and 3 dropped
  EXPECT_EQ(rig.socket->sent, kLogin + handed[0] + handed[1].substr(0, line / 2));
  rig.socket->capacity = 10 * line;
  const auto later = rig.Run(1);
  EXPECT_EQ(rig.socket->sent, kLogin + handed[0] + handed[1] + later[0]);
  EXPECT_EQ(rig.destination->Status().sent, 3u);
  EXPECT_EQ(rig.destination->Status().failed, 2u);
  EXPECT_TRUE(rig.Records().empty());
}

TEST(AprsDestination, ADeadLinkIsRecordedOnceAndConnectedAnew) {
  struct Case {
    const char* name;
    void (*kill)(Rig&);
    int seconds;  // until it is found
    const char* record;
    const char* stateText;
  };
  const Case cases[] = {
      {"silent", [](Rig&) {}, 60, "SEND Error 62 ", "connection lost: no data for 60 s"},
      {"closed", [](Rig& r) { r.socket->afterArrived = SocketStatus::kEndOfStream; }, 1,
       "SEND Error 57 ", "connection lost: closed by the server"},
      {"unacknowledged", [](Rig& r) { r.socket->afterArrived = SocketStatus::kUnacknowledged; }, 1,
       "SEND Error 62 ", "connection lost: data unacknowledged for 30 s"},
  };
  for (const auto& c : cases) {
    Rig rig;
    rig.socket->serverText[kServer] = {kVerified};
    rig.Run(2);
    ASSERT_EQ(rig.destination->Status().stateText, "login verified") << c.name;
    c.kill(rig);
    rig.Run(c.seconds);
    EXPECT_EQ(rig.destination->Status().state, State::kFailing) << c.name;
    EXPECT_EQ(rig.destination->Status().stateText, c.stateText) << c.name;
    EXPECT_EQ(rig.destination->Status().lastMessage, "") << c.name;
    const auto records = rig.Records();
    ASSERT_EQ(records.size(), 1u) << c.name;
    EXPECT_EQ(records[0].rfind(c.record, 0), 0u) << c.name << records[0];
    const int connects = rig.socket->connects;
    rig.socket->afterArrived = SocketStatus::kWouldBlock;
    rig.Run(6);
    EXPECT_EQ(rig.socket->connects, connects + 1) << c.name;
    EXPECT_EQ(rig.destination->Status().state, State::kUp) << c.name;
  }
}

TEST(AprsDestination, TheLoginAnswerIsWatched) {
  Rig rig;
  rig.socket->serverText[kServer] = {"# logresp DL1ABC-9 unverified, server T2TEST\r\n"};
  rig.Run(2);
  const DestinationStatus status = rig.destination->Status();
  EXPECT_EQ(status.state, State::kFailing);
  EXPECT_EQ(status.stateText, "login unverified");
  EXPECT_EQ(status.lastMessage, "# logresp DL1ABC-9 unverified, server T2TEST");
  const auto records = rig.Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].rfind("LOGIN Error @", 0), 0u);
  EXPECT_NE(records[0].find("-> radiosondy: # logresp DL1ABC-9 unverified"), std::string::npos);
}

TEST(AprsDestination, AStopClosesAndSaysSo) {
  Rig rig;
  rig.Run(1);
  rig.destination->Stop(rig.clock.MonotonicMs() + 5000);
  EXPECT_FALSE(rig.socket->IsOpen());
  EXPECT_EQ(rig.destination->Status().state, State::kOff);
  rig.Run(10);
  EXPECT_EQ(rig.socket->connects, 1);
}

}  // namespace
}  // namespace nimbrix
