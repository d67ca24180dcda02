#include "uplink/uplink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/fake/fake_socket.h"
#include "platform/fake/fakes.h"
#include "uplink/connection.h"
#include "uplink/fake/fake_tcp_client.h"
#include "uplink/server_entry.h"

namespace nimbrix {
namespace {

// The fakes the link runs on, writing to one journal.
struct LinkFakes {
  fake::Journal journal;
  fake::FakeClock clock{LocalTime{2026, 12, 8, 20, 41, 5, 0}, &journal};
  fake::FakeTcpClient tcp{&journal};
};

TEST(SplitServerEntry, HostAndPort) {
  struct Case {
    std::string entry, host;
    int port;
  };
  const std::vector<Case> cases = {
      {"rotate.aprs.net,14580", "rotate.aprs.net", 14580},
      {"rotate.aprs.net", "rotate.aprs.net", 0},  // no comma: no port, whole entry is the host
      {"host,", "host", 0},
      {",14580", "", 14580},
      {"host, \t14580", "host", 14580},
      {"host,14580 backup", "host", 14580},
      {"host,14580abc,more", "host", 14580},
      {"host,abc,14580", "host", 0},    // only the text up to the second comma counts
      {"host,14580.5", "host", 14580},  // half to even
      {"host,14581.5", "host", 14582},
      {"host,32767", "host", 32767},
      {"host,32768", "host", -32768},
      {"host,65535", "host", -1},
      {"host,65536", "host", 0},
      {"host,65537", "host", 1},
      {"host,-1", "host", -1},
      {"host,-32769", "host", 32767},
      {"host,9007199254755572", "host", 14580},  // 2^53 + 14580: low bits kept exactly
      {"host,1e300", "host", 0},
      {"host,1e999", "host", 0},  // infinity
      {"host,-1e999", "host", 0},
  };
  for (const Case& c : cases) {
    const ServerEntry e = SplitServerEntry(c.entry);
    EXPECT_EQ(e.host, c.host) << c.entry;
    EXPECT_EQ(e.port, c.port) << c.entry;
  }
}

// What the link tells its owner, as values in the shared journal, with the connection's and
// the clock's own entries in between.
struct RecordedEvents : LinkEvents {
  explicit RecordedEvents(fake::Journal& journal) : journal(journal) {}
  void Tell(const LinkEvent& e) override {
    switch (e.kind) {
      case LinkEvent::Kind::kTrying:
        return journal.Add("trying " + std::to_string(e.index) + " " + e.entry);
      case LinkEvent::Kind::kOpenFailed:
        return journal.Add("open failed " + e.host);
      case LinkEvent::Kind::kConnected:
        return journal.Add("connected " + std::to_string(e.index) + " " + e.entry);
      case LinkEvent::Kind::kNoServer:
        return journal.Add("no server");
      case LinkEvent::Kind::kSendFailed:
        return journal.Add("send failed " + std::to_string(e.error) + " " + e.line);
      case LinkEvent::Kind::kDead:
        return journal.Add("link dead " + std::to_string(e.dead.index) + " " + e.dead.entry + " " +
                           e.dead.host + ": " + e.dead.reason);
      case LinkEvent::Kind::kLoginAnswer:
        return;
    }
  }
  bool QuitWanted() override {
    journal.Add("quit?");
    return quitAfterPasses > 0 && --quitAfterPasses == 0;
  }
  bool Stopping() override { return stopping; }
  fake::Journal& journal;
  bool stopping = false;
  int quitAfterPasses = 0;  // 0: never
};

struct Link {
  explicit Link(std::initializer_list<std::string> entries) {
    for (const std::string& e : entries) servers.sSERVER[++servers.nSERVERS] = e;
  }
  std::vector<std::string>& journal() { return p.journal.events; }
  LinkFakes p;
  ServerList servers;
  RecordedEvents events{p.journal};
  Uplink uplink{p.clock, p.tcp, servers, events, "LOGIN\r\n", "N0CALL"};
};

TEST(LinkEvents, AFailoverTellsEachStepInOrder) {
  Link link({"a,1", "b,2"});
  link.p.tcp.reachable = {"a:1", "b:2"};
  ASSERT_EQ(ConnectServers(link.uplink), ConnectOutcome::kConnected);
  link.journal().clear();
  link.p.tcp.sendErrors = {57};

  EXPECT_EQ(SendLine(link.uplink, "LINE\r\n"), SendOutcome::kSent);

  const std::vector<std::string> expected = {
      "tcp send 57 LINE\\r\\n",
      "send failed 57 LINE\r\n",
      "trying 1 a,1",
      "tcp open a:1",
      "sleep 1000",
      "tcp close",
      "open failed a",
      "trying 2 b,2",
      "tcp open b:2",
      "sleep 1000",
      "tcp send 0 LOGIN\\r\\n",
      "connected 2 b,2",
      "tcp send 0 LINE\\r\\n",
  };
  EXPECT_EQ(link.journal(), expected);
}

TEST(LinkEvents, OutcomesOfConnectAndSend) {
  {  // nothing to try
    Link link({});
    EXPECT_EQ(ConnectServers(link.uplink), ConnectOutcome::kNoServers);
    EXPECT_EQ(SendLine(link.uplink, "X\r\n"), SendOutcome::kLost);
    EXPECT_EQ(link.journal(),
              (std::vector<std::string>{"tcp send 52 X\\r\\n", "send failed 52 X\r\n",
                                        "tcp send 52 X\\r\\n", "send failed 52 X\r\n"}));
  }
  {  // the operator quits after the second failed pass: no resend follows
    Link link({"a,1"});
    link.events.quitAfterPasses = 2;
    EXPECT_EQ(ConnectServers(link.uplink), ConnectOutcome::kQuit);
    EXPECT_EQ(std::count(link.journal().begin(), link.journal().end(), "no server"), 2);
    link.p.tcp.reachable = {"a:1"};
    ASSERT_EQ(ConnectServers(link.uplink), ConnectOutcome::kConnected);
    link.p.tcp.reachable.clear();
    link.p.tcp.sendErrors = {57};
    link.events.quitAfterPasses = 1;
    link.journal().clear();
    EXPECT_EQ(SendLine(link.uplink, "L\r\n"), SendOutcome::kQuit);
    EXPECT_EQ(link.journal().back(), "quit?");
  }
  {  // the resend fails too: the line is lost, both failures are told
    Link link({"a,1"});
    link.p.tcp.reachable = {"a:1"};
    ASSERT_EQ(ConnectServers(link.uplink), ConnectOutcome::kConnected);
    link.p.tcp.sendErrors = {24, 0, 57};  // the line, the login line, the resend
    EXPECT_EQ(SendLine(link.uplink, "L\r\n"), SendOutcome::kLost);
    std::vector<std::string> failures;
    for (const auto& e : link.journal())
      if (e.rfind("send failed", 0) == 0) failures.push_back(e);
    EXPECT_EQ(failures, (std::vector<std::string>{"send failed 24 L\r\n", "send failed 57 L\r\n"}));
  }
}

// A line beside the reports goes out only on an open connection, and a failure never starts a
// search for a server: it is told, and the next report's send reconnects.
TEST(LinkEvents, ALineBesideTheReportsNeverLooksForAServer) {
  {
    Link link({"a,1"});
    EXPECT_EQ(SendLineIfUp(link.uplink, "O\r\n"), SendOutcome::kLost);
    EXPECT_EQ(link.journal(), std::vector<std::string>{});
  }
  Link link({"a,1", "b,2"});
  link.p.tcp.reachable = {"a:1", "b:2"};
  ASSERT_EQ(ConnectServers(link.uplink), ConnectOutcome::kConnected);
  link.journal().clear();
  EXPECT_EQ(SendLineIfUp(link.uplink, "O\r\n"), SendOutcome::kSent);
  link.p.tcp.sendErrors = {57};
  EXPECT_EQ(SendLineIfUp(link.uplink, "P\r\n"), SendOutcome::kLost);
  EXPECT_EQ(link.journal(), (std::vector<std::string>{"tcp send 0 O\\r\\n", "tcp send 57 P\\r\\n",
                                                      "send failed 57 P\r\n"}));
  link.events.stopping = true;
  link.p.tcp.sendErrors = {57};
  EXPECT_EQ(SendLineIfUp(link.uplink, "Q\r\n"), SendOutcome::kQuit);
}

TEST(LinkEvents, TheLoginVerdictIsReturnedOnceAndNothingAfterIt) {
  Link link({"a,1"});
  link.p.tcp.reachable = {"a:1"};
  link.p.tcp.serverText["a:1"] = {"# aprsc 2.1\r\n", "# logresp N0CALL verified, server T\r\n",
                                  "# logresp N0CALL unverified, server T\r\n"};
  ASSERT_EQ(ConnectServers(link.uplink), ConnectOutcome::kConnected);
  EXPECT_EQ(WatchLoginAnswer(link.uplink).kind, LoginVerdict::Kind::kPending);
  EXPECT_EQ(WatchLoginAnswer(link.uplink).kind, LoginVerdict::Kind::kVerified);
  EXPECT_EQ(WatchLoginAnswer(link.uplink).kind, LoginVerdict::Kind::kPending);
  EXPECT_EQ(link.p.tcp.takes, 2) << "after the verdict the server's text is not looked at";
}

// The link over the real connection policy, on a socket of the virtual clock: "a" talks and
// then falls silent, "b" answers.
struct LiveLink {
  LiveLink() {
    for (const char* e : {"a,1", "b,2"}) servers.sSERVER[++servers.nSERVERS] = e;
    socket.servers = {{"a:1", 0}, {"b:2", 0}};
    socket.serverText["a:1"] = {"# aprsc 2.1.14\r\n"};
  }
  std::vector<std::string>& journal() { return p.journal.events; }
  // One cycle's look at the link, then the cycle's second.
  void Cycle() {
    WatchLink(uplink);
    p.clock.Advance(1000);
  }
  LinkFakes p;
  fake::FakeTcpSocket socket{p.clock, &p.journal};
  Connection connection{socket, p.clock};
  ServerList servers;
  RecordedEvents events{p.journal};
  Uplink uplink{p.clock, connection, servers, events, "LOGIN\r\n", "N0CALL"};
};

TEST(DeadLink, ASilentServerIsToldOnceAndTheNextLineGoesToTheNextServer) {
  LiveLink link;
  ASSERT_EQ(ConnectServers(link.uplink), ConnectOutcome::kConnected);
  link.journal().clear();
  const std::int64_t greeted = link.p.clock.elapsedMs();
  link.Cycle();  // reads the greeting
  while (link.p.clock.elapsedMs() - greeted < 60000) link.Cycle();
  EXPECT_TRUE(link.journal().empty()) << "59 s of silence say nothing";
  for (int i = 0; i < 5; ++i) link.Cycle();
  EXPECT_EQ(link.journal(), (std::vector<std::string>{"link dead 1 a,1 a: no data for 60 s"}));
  link.journal().clear();
  const SendOutcome outcome = SendLine(link.uplink, "LINE\r\n");

  EXPECT_EQ(outcome, SendOutcome::kSent);
  const std::vector<std::string> expected = {
      "send failed 62 LINE\r\n",
      "trying 1 a,1",
      "sleep 1000",
      "socket close",
      "open failed a",
      "trying 2 b,2",
      "socket connect b:2",
      "sleep 1000",
      "socket send LOGIN\\r\\n",
      "connected 2 b,2",
      "socket send LINE\\r\\n",
  };
  EXPECT_EQ(link.journal(), expected);
  link.journal().clear();
  EXPECT_EQ(SendLine(link.uplink, "NEXT\r\n"), SendOutcome::kSent);
  link.Cycle();
  EXPECT_EQ(link.journal(), std::vector<std::string>{"socket send NEXT\\r\\n"});
}

TEST(DeadLink, UnacknowledgedDataFoundByASendIsToldBeforeTheFailure) {
  LiveLink link;
  link.socket.serverText.clear();  // a server that never talks
  ASSERT_EQ(ConnectServers(link.uplink), ConnectOutcome::kConnected);
  for (int i = 0; i < 300; ++i) link.Cycle();
  link.journal().clear();
  link.socket.sendResults = {SocketStatus::kUnacknowledged};

  EXPECT_EQ(SendLine(link.uplink, "LINE\r\n"), SendOutcome::kSent);
  ASSERT_GE(link.journal().size(), 3u);
  EXPECT_EQ(link.journal()[0], "link dead 1 a,1 a: data unacknowledged for 30 s");
  EXPECT_EQ(link.journal()[1], "send failed 62 LINE\r\n");
  EXPECT_EQ(link.journal()[2], "trying 1 a,1");
  EXPECT_EQ(link.journal().back(), "socket send LINE\\r\\n");
  EXPECT_EQ(std::count_if(link.journal().begin(), link.journal().end(),
                          [](const std::string& e) { return e.rfind("link dead", 0) == 0; }),
            1);
}

TEST(DeadLink, OneTellingPerDeadConnection) {
  LiveLink link;
  link.socket.servers = {{"a:1", 0}};  // only "a": the reconnect waits a pass, then takes it again
  ASSERT_EQ(ConnectServers(link.uplink), ConnectOutcome::kConnected);
  link.socket.afterArrived = SocketStatus::kEndOfStream;
  for (int i = 0; i < 3; ++i) link.Cycle();
  EXPECT_EQ(std::count(link.journal().begin(), link.journal().end(),
                       "link dead 1 a,1 a: closed by the server"),
            1);
  link.journal().clear();
  EXPECT_EQ(SendLine(link.uplink, "L\r\n"), SendOutcome::kSent);
  EXPECT_EQ(link.journal().front(), "send failed 57 L\r\n") << "a closed connection gives 57";
  EXPECT_EQ(std::count(link.journal().begin(), link.journal().end(), "no server"), 1);

  // The new connection to the same entry has its own watch: when it dies, that is told again.
  link.journal().clear();
  link.socket.afterArrived = SocketStatus::kFailed;
  link.Cycle();
  link.Cycle();
  EXPECT_EQ(link.journal(), std::vector<std::string>{"link dead 1 a,1 a: network error"});
}

TEST(DeadLink, NothingIsToldWithoutAConnection) {
  Link link({});
  WatchLink(link.uplink);
  EXPECT_TRUE(link.journal().empty());
}

TEST(LinkEvents, AStopRequestEndsTheLinkAtOnceAndRecordsNothing) {
  {  // a send that fails because the stop cut its wait short
    Link link({"a,1", "b,2"});
    link.p.tcp.reachable = {"a:1", "b:2"};
    ASSERT_EQ(ConnectServers(link.uplink), ConnectOutcome::kConnected);
    link.journal().clear();
    link.p.tcp.sendErrors = {24};
    link.events.stopping = true;
    EXPECT_EQ(SendLine(link.uplink, "L\r\n"), SendOutcome::kQuit);
    EXPECT_EQ(link.journal(), std::vector<std::string>{"tcp send 24 L\\r\\n"});
  }
  {  // a connect that the stop cut short: no pause, no OPEN Error, no next entry
    Link link({"a,1", "b,2"});
    link.events.stopping = true;
    EXPECT_EQ(ConnectServers(link.uplink), ConnectOutcome::kQuit);
    EXPECT_EQ(link.journal(), (std::vector<std::string>{"trying 1 a,1", "tcp open a:1"}));
  }
}

}  // namespace
}  // namespace nimbrix
