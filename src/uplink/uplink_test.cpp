#include "uplink/uplink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/fake/fakes.h"
#include "uplink/server_entry.h"

namespace nimbrix {
namespace {

using fake::FakePlatform;

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
  void Trying(int index, const std::string& entry) override {
    journal.Add("trying " + std::to_string(index) + " " + entry);
  }
  void OpenFailed(const std::string& host) override { journal.Add("open failed " + host); }
  void Connected(int index, const std::string& entry) override {
    journal.Add("connected " + std::to_string(index) + " " + entry);
  }
  void NoServerReachable() override { journal.Add("no server"); }
  bool QuitWanted() override {
    journal.Add("quit?");
    return quitAfterPasses > 0 && --quitAfterPasses == 0;
  }
  void SendFailed(int error, std::string_view line) override {
    journal.Add("send failed " + std::to_string(error) + " " + std::string(line));
  }
  fake::Journal& journal;
  int quitAfterPasses = 0;  // 0: never
};

struct Link {
  explicit Link(std::initializer_list<std::string> entries) {
    for (const std::string& e : entries) servers.sSERVER[++servers.nSERVERS] = e;
  }
  std::vector<std::string>& journal() { return p.journal.events; }
  FakePlatform p;
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

}  // namespace
}  // namespace nimbrix
