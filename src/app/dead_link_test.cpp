// A connection found dead, as the station shows it on row 24 and records it in nimbrix.err.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/fake/fake_platform.h"
#include "app/link_view.h"
#include "app/main_cycle.h"
#include "app/primary_link.h"
#include "app/terminal_view.h"
#include "platform/fake/fake_socket.h"
#include "uplink/connection.h"
#include "uplink/error_records.h"
#include "uplink/uplink.h"

namespace nimbrix {
namespace {

const std::string kLogin = "user N0CALL-11 pass 12345 vers NIMBRIX filter b/ZZZZZ/\r\n";
const std::string kReport = "N0CALL-11>APZQW0,TCPIP*:@204205h4807.41N/07159.26WO\r\n";

TEST(DeadLinkLine, NamesTheEntryAndTheReason) {
  EXPECT_EQ(DeadLinkLine({1, "rotate.aprs.net,14580", "rotate.aprs.net", "no data for 60 s"}),
            "Lost # 1 => rotate.aprs.net,14580 (no data for 60 s)");
  EXPECT_EQ(DeadLinkLine({10, "h,1", "h", "closed by the server"}),
            "Lost # 10 => h,1 (closed by the server)");
}

// The station's link over the real connection policy, on a socket of the virtual clock:
// "a.example" greets and then falls silent, "b.example" answers.
struct Station {
  Station() {
    for (const char* e : {"a.example,14580", "b.example,14580"}) {
      servers.sSERVER[++servers.nSERVERS] = e;
    }
    socket.servers = {{"a.example:14580", 0}, {"b.example:14580", 0}};
    socket.serverText["a.example:14580"] = {"# aprsc 2.1.14\r\n"};
  }
  std::string& log() { return p.files.contents[kErrorLogPath]; }
  fake::FakePlatform p;
  fake::FakeTcpSocket socket{p.clock, &p.journal};
  Connection connection{socket, p.clock};
  ServerList servers;
  TerminalView view{p.console};
  ErrorLog errors{p.files};
  PrimaryLinkStatus status;
  LinkView link{view, p.console, p.clock, errors, servers, status};
  Uplink uplink{p.clock, connection, servers, link, kLogin, "N0CALL-11"};
};

TEST(DeadLink, ASilentServerIsShownAndTheNextReportTakesTheFailedSendRoad) {
  Station s;
  ASSERT_EQ(ConnectServers(s.uplink), ConnectOutcome::kConnected);
  WatchLink(s.uplink);  // the greeting arrives: this server talks
  s.p.clock.Advance(59999);
  WatchLink(s.uplink);
  EXPECT_EQ(s.p.console.RowTrimmed(24), "Using # 1 => a.example,14580");
  s.p.clock.Advance(1);
  WatchLink(s.uplink);
  EXPECT_EQ(s.p.console.RowTrimmed(24), "Lost # 1 => a.example,14580 (no data for 60 s)");
  EXPECT_EQ(s.log(), "") << "a dead connection is recorded by the line that cannot go";

  s.p.clock.Advance(7000);
  s.p.journal.events.clear();
  ASSERT_EQ(SendLine(s.uplink, kReport), SendOutcome::kSent);
  EXPECT_EQ(s.log(), "SEND Error 62 12-08-2026 - 20:42:13 -> " + kReport + "\r\n" +
                         "OPEN Error @12-08-2026 - 20:42:14 -> a.example\r\n");
  const std::vector<std::string> expected = {
      "file nimbrix.err += SEND Error 62 12-08-2026 - 20:42:13 -> "
      "N0CALL-11>APZQW0,TCPIP*:@204205h4807.41N/07159.26WO\\r\\n\\r\\n",
      "console Trying a.example,14580" + std::string(28, ' '),
      "console erase",
      "sleep 1000",
      "socket close",
      "file nimbrix.err += OPEN Error @12-08-2026 - 20:42:14 -> a.example\\r\\n",
      "console Trying b.example,14580" + std::string(28, ' '),
      "console erase",
      "socket connect b.example:14580",
      "sleep 1000",
      "socket send user N0CALL-11 pass 12345 vers NIMBRIX filter b/ZZZZZ/\\r\\n",
      "console Using # 2 => b.example,14580" + std::string(35, ' '),
      "console erase",
      "socket send N0CALL-11>APZQW0,TCPIP*:@204205h4807.41N/07159.26WO\\r\\n",
  };
  EXPECT_EQ(s.p.journal.events, expected);

  // Nothing more is recorded for that connection: later lines go out on the new one.
  WatchLink(s.uplink);
  ASSERT_EQ(SendLine(s.uplink, kReport), SendOutcome::kSent);
  EXPECT_EQ(std::count(s.log().begin(), s.log().end(), '\n'), 3) << s.log();
  EXPECT_TRUE(s.socket.sent.ends_with(kLogin + kReport + kReport));
}

// The main cycle looks at the link once per cycle and shows what it finds at once.
TEST(DeadLink, TheCycleShowsItInTheCycleThatFindsIt) {
  fake::FakePlatform f;
  Platform platform = f.platform();
  ServerList servers;
  servers.sSERVER[1] = "a.example,14580";
  servers.nSERVERS = 1;
  f.tcp.reachable = {"a.example:14580"};
  TerminalView view(f.console);
  ErrorLog errors{f.files};
  PrimaryLink primary(platform, servers, kLogin, "N0CALL-11", view, errors);
  ASSERT_EQ(ConnectServers(primary.uplink()), ConnectOutcome::kConnected);
  const StationConfig config;
  MainCycle cycle(platform, config, primary, view);

  ASSERT_TRUE(cycle.Step());
  f.tcp.fault = LinkFault::kUnacknowledged;
  f.journal.events.clear();
  ASSERT_TRUE(cycle.Step());
  const auto& e = f.journal.events;
  const auto lost = std::find(e.begin(), e.end(),
                              "console Lost # 1 => a.example,14580 (data unacknowledged for 30 s)");
  ASSERT_NE(lost, e.end());
  EXPECT_NE(std::find(lost, e.end(), "sleep 950"), e.end()) << "before the cycle's pause";
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(cycle.Step());
  EXPECT_EQ(std::count_if(e.begin(), e.end(),
                          [](const std::string& x) { return x.rfind("console Lost", 0) == 0; }),
            1);
  EXPECT_EQ(f.files.contents[kErrorLogPath], "");
}

}  // namespace
}  // namespace nimbrix
