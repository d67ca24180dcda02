#include "app/link_view.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "app/fake/fake_platform.h"
#include "app/terminal_view.h"
#include "uplink/error_records.h"
#include "uplink/uplink.h"
#include "version/version.h"

namespace nimbrix {
namespace {

using fake::FakePlatform;

const std::string kLogin =
    std::string("user N0CALL-11 pass 12345 vers ") + kVersionText + " filter b/ZZZZZ/\r\n";
const std::string k28(28, ' ');
const std::string k35(35, ' ');

// The link as the station runs it: its events drawn on row 24 of a screen and recorded in the
// error log.
struct Rig {
  explicit Rig(std::initializer_list<std::string> entries, int current = 1) {
    for (const std::string& e : entries) servers.sSERVER[++servers.nSERVERS] = e;
    servers.nCURSERVER = static_cast<std::int16_t>(current);
  }
  FakePlatform p;
  ServerList servers;
  TerminalView view{p.console};
  ErrorLog errors{p.files};
  PrimaryLinkStatus status;
  LinkView link{view, p.console, p.clock, errors, servers, status};
  Uplink uplink{p.clock, p.tcp, servers, link, kLogin, "N0CALL-11"};
  std::string& log() { return p.files.contents[kErrorLogPath]; }
  std::vector<std::string>& events() { return p.journal.events; }
};

TEST(ConnectServers, RefusedFirstEntryThenSecond) {
  Rig rig({"a.example,14580", "b.example,14580", "c.example,14580"});
  rig.p.tcp.reachable = {"b.example:14580"};

  EXPECT_EQ(ConnectServers(rig.uplink), ConnectOutcome::kConnected);

  EXPECT_EQ(rig.servers.nCURSERVER, 2);
  const std::vector<std::string> expected = {
      "console Trying a.example,14580" + k28,
      "console erase",
      "tcp open a.example:14580",
      "sleep 1000",
      "file nimbrix.err += OPEN Error @12-08-2026 - 20:41:06 -> a.example\\r\\n",
      "console Trying b.example,14580" + k28,
      "console erase",
      "tcp open b.example:14580",
      "sleep 1000",
      (std::string("tcp send 0 user N0CALL-11 pass 12345 vers ") + kVersionText +
       " filter b/ZZZZZ/\\r\\n"),
      "console Using # 2 => b.example,14580" + k35,
      "console erase",
  };
  EXPECT_EQ(rig.events(), expected);
  EXPECT_EQ(rig.p.console.transcript, "Trying a.example,14580" + k28 + "\nTrying b.example,14580" +
                                          k28 + "\nUsing # 2 => b.example,14580" + k35);
  EXPECT_EQ(rig.p.console.RowTrimmed(24), "Using # 2 => b.example,14580");
  EXPECT_EQ(rig.p.console.cursorRow(), 24);
  EXPECT_EQ(rig.p.tcp.sent, kLogin);
}

TEST(ConnectServers, EmptyListReturnsAtOnce) {
  for (int current : {1, 2}) {
    Rig rig({}, current);
    EXPECT_EQ(ConnectServers(rig.uplink), ConnectOutcome::kNoServers);
    EXPECT_TRUE(rig.events().empty());
  }
  Rig beyond({"a,1"}, 2);  // index past the list: nothing to try
  EXPECT_EQ(ConnectServers(beyond.uplink), ConnectOutcome::kNoServers);
  EXPECT_TRUE(beyond.events().empty());
}

TEST(ConnectServers, PassWrapsRoundToTheFirstEntry) {
  Rig rig({"a,1", "b,2", "c,3"}, 2);
  rig.p.tcp.reachable = {"a:1"};
  ConnectServers(rig.uplink);
  EXPECT_EQ(rig.p.tcp.opens, (std::vector<std::string>{"b:2", "c:3", "a:1"}));
  EXPECT_EQ(rig.servers.nCURSERVER, 1);
}

TEST(ConnectServers, UnusableEntriesFailAndAreLogged) {
  // No comma, port 0, a port that is negative in 16 bits; a number followed by text works.
  Rig rig({"nocomma", "zero,0", "big,32768", "ok,14580 x,y"});
  rig.p.tcp.reachable = {"ok:14580"};
  ConnectServers(rig.uplink);
  EXPECT_EQ(rig.p.tcp.opens,
            (std::vector<std::string>{"nocomma:0", "zero:0", "big:-32768", "ok:14580"}));
  EXPECT_EQ(rig.log(),
            "OPEN Error @12-08-2026 - 20:41:06 -> nocomma\r\n"
            "OPEN Error @12-08-2026 - 20:41:07 -> zero\r\n"
            "OPEN Error @12-08-2026 - 20:41:08 -> big\r\n");
  EXPECT_EQ(rig.servers.nCURSERVER, 4);
}

TEST(ConnectServers, FailedPassWaitsAndEscEnds) {
  Rig rig({"a,1", "b,2"});
  rig.p.console.keys = {"x", kKeyEscape, "s"};
  EXPECT_EQ(ConnectServers(rig.uplink), ConnectOutcome::kQuit);
  // "x" is consumed after the first pass, ESC after the second; "s" stays for the cycle.
  EXPECT_EQ(rig.p.clock.sleeps, (std::vector<int>{1000, 1000, 5000, 1000, 1000, 5000}));
  EXPECT_EQ(rig.p.tcp.opens, (std::vector<std::string>{"a:1", "b:2", "a:1", "b:2"}));
  EXPECT_EQ(rig.p.console.keys, std::deque<std::string>{"s"});
  EXPECT_EQ(rig.p.console.Row(24),
            "No servers available. Press ESC to quit or wait to try again...     " +
                std::string(80 - 68, ' '));
  EXPECT_EQ(rig.p.console.transcript.substr(rig.p.console.transcript.size() - 68),
            "No servers available. Press ESC to quit or wait to try again...     ");
}

TEST(ConnectServers, NextPassAfterTheWaitWithoutKey) {
  Rig rig({"a,1", "b,2"});
  rig.p.clock.onSleep = [&](std::int64_t) {
    if (rig.p.clock.sleeps.back() == 5000) rig.p.tcp.reachable = {"b:2"};
  };
  EXPECT_EQ(ConnectServers(rig.uplink), ConnectOutcome::kConnected);
  EXPECT_EQ(rig.p.tcp.opens, (std::vector<std::string>{"a:1", "b:2", "a:1", "b:2"}));
  EXPECT_EQ(rig.servers.nCURSERVER, 2);
}

TEST(ConnectServers, HostileEntryAndLoginStayOnOneLine) {
  Rig rig({"ev\x1b[2Jil,14580", "ok,1"});
  rig.uplink.loginLine =
      (std::string("user N0\nCALL pass 1\r vers ") + kVersionText + " filter b/ZZZZZ/\r\n");
  rig.p.tcp.reachable = {"ok:1"};
  ConnectServers(rig.uplink);
  EXPECT_EQ(rig.p.console.transcript.find('\x1b'), std::string::npos);
  EXPECT_NE(rig.p.console.transcript.find("Trying ev?[2Jil,14580"), std::string::npos);
  EXPECT_EQ(rig.log(), "OPEN Error @12-08-2026 - 20:41:06 -> ev[2Jil\r\n");
  EXPECT_EQ(rig.p.tcp.sent,
            (std::string("user N0CALL pass 1 vers ") + kVersionText + " filter b/ZZZZZ/\r\n"));
}

TEST(SendLine, HealthyConnectionSendsExactBytes) {
  Rig rig({"a,1"});
  rig.p.tcp.reachable = {"a:1"};
  ConnectServers(rig.uplink);
  SendLine(rig.uplink, "N0CALL>APZQW0,TCPIP*:>hi\r\n");
  EXPECT_EQ(rig.p.tcp.lines.back(), "N0CALL>APZQW0,TCPIP*:>hi\r\n");
  EXPECT_EQ(rig.log(), "");
}

TEST(SendLine, ResetLogsReconnectsAndResends) {
  Rig rig({"a,1", "b,2"});
  rig.p.tcp.reachable = {"a:1", "b:2"};
  ConnectServers(rig.uplink);
  rig.events().clear();
  rig.p.tcp.sendErrors = {57};

  SendLine(rig.uplink, "LINE\r\n");

  const std::vector<std::string> expected = {
      "tcp send 57 LINE\\r\\n",
      "file nimbrix.err += SEND Error 57 12-08-2026 - 20:41:06 -> LINE\\r\\n\\r\\n",
      "console Trying a,1" + k28,
      "console erase",
      "tcp open a:1",
      "sleep 1000",
      "tcp close",
      "file nimbrix.err += OPEN Error @12-08-2026 - 20:41:07 -> a\\r\\n",
      "console Trying b,2" + k28,
      "console erase",
      "tcp open b:2",
      "sleep 1000",
      "tcp send 0 " + std::string((std::string("user N0CALL-11 pass 12345 vers ") + kVersionText +
                                   " filter b/ZZZZZ/\\r\\n")),
      "console Using # 2 => b,2" + k35,
      "console erase",
      "tcp send 0 LINE\\r\\n",
  };
  EXPECT_EQ(rig.events(), expected);
  EXPECT_EQ(rig.servers.nCURSERVER, 2);
}

TEST(SendLine, FailureOnLastEntryWaitsThenReconnectsToIt) {
  Rig rig({"a,1", "b,2"}, 2);
  rig.p.tcp.reachable = {"b:2"};
  ConnectServers(rig.uplink);
  rig.p.tcp.opens.clear();
  rig.p.clock.sleeps.clear();
  rig.p.tcp.sendErrors = {24};
  SendLine(rig.uplink, "L\r\n");
  // b fails (still open), a is refused, the pass waits, then b again.
  EXPECT_EQ(rig.p.tcp.opens, (std::vector<std::string>{"b:2", "a:1", "b:2"}));
  EXPECT_EQ(rig.p.clock.sleeps, (std::vector<int>{1000, 1000, 5000, 1000}));
  EXPECT_EQ(rig.p.tcp.lines.back(), "L\r\n");
}

TEST(SendLine, FailedResendIsLoggedToo) {
  Rig rig({"a,1"});
  rig.p.tcp.reachable = {"a:1"};
  ConnectServers(rig.uplink);
  rig.p.tcp.sendErrors = {57, 0, 24};  // the line, the login line, the resend
  SendLine(rig.uplink, "STATUS\r\n");
  EXPECT_EQ(rig.log(),
            "SEND Error 57 12-08-2026 - 20:41:06 -> STATUS\r\n\r\n"
            "OPEN Error @12-08-2026 - 20:41:07 -> a\r\n"
            "SEND Error 24 12-08-2026 - 20:41:13 -> STATUS\r\n\r\n");
}

TEST(SendLine, EmptyListLogsBothAttempts) {
  Rig rig({});
  SendLine(rig.uplink, "X\r\n");
  EXPECT_EQ(rig.log(),
            "SEND Error 52 12-08-2026 - 20:41:05 -> X\r\n\r\n"
            "SEND Error 52 12-08-2026 - 20:41:05 -> X\r\n\r\n");
  EXPECT_TRUE(rig.p.tcp.opens.empty());
}

}  // namespace
}  // namespace nimbrix
