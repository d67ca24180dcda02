#include "app/report_sending.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/fake/fake_platform.h"
#include "app/link_view.h"
#include "app/terminal_view.h"

namespace nimbrix {
namespace {

struct Sending : ::testing::Test {
  Sending() {
    servers.sSERVER[1] = "a,1";
    servers.nSERVERS = 1;
    p.tcp.reachable = {"a:1"};
    p.tcp.Open("a", 1);  // connected already, without the connect's pause
    p.journal.events.clear();
  }
  fake::FakePlatform p;
  ServerList servers;
  TerminalView view{p.console};
  ErrorLog errors{p.files};
  PrimaryLinkStatus status;
  LinkView link{view, p.console, p.clock, errors, servers, status};
  Uplink uplink{p.clock, p.tcp, servers, link, "user N0CALL\r\n", "N0CALL"};
};

TEST_F(Sending, PausesThenTheTimeOnRow21ThenTheLines) {
  // 20:41:05 on the clock, four pauses: the report goes out, and is shown, at 20:41:09.
  const ReportPlan plan{4, "POSITION\r\n", "STATUS\r\n", std::nullopt};
  EXPECT_EQ(SendPlannedReports(plan, uplink, view, p.clock), SendOutcome::kSent);
  const std::vector<std::string> expected = {
      "sleep 1000",
      "sleep 1000",
      "sleep 1000",
      "sleep 1000",
      "console Last transmission: 20:41:09",
      "console erase",
      "tcp send 0 POSITION\\r\\n",
      "tcp send 0 STATUS\\r\\n",
  };
  EXPECT_EQ(p.journal.events, expected);
  EXPECT_EQ(p.console.RowTrimmed(21), "Last transmission: 20:41:09");
  EXPECT_EQ(view.screen().Row(21), "Last transmission: 20:41:09");
}

TEST_F(Sending, NothingPlannedDoesNothing) {
  EXPECT_EQ(SendPlannedReports(ReportPlan{}, uplink, view, p.clock), SendOutcome::kSent);
  EXPECT_TRUE(p.journal.events.empty());
  EXPECT_EQ(view.screen().Row(21), "");
}

TEST_F(Sending, AStatusAloneLeavesRow21AsItWas) {
  EXPECT_EQ(
      SendPlannedReports(ReportPlan{0, "", "STATUS\r\n", std::nullopt}, uplink, view, p.clock),
      SendOutcome::kSent);
  EXPECT_EQ(p.tcp.lines, std::vector<std::string>{"STATUS\r\n"});
  EXPECT_EQ(p.console.RowTrimmed(21), "");
}

TEST_F(Sending, ASondeWithoutAnObjectNameIsToldOnRow21AndNothingIsSent) {
  const ReportPlan plan{0, "", "STATUS\r\n", "DFM-xxxxxxxx"};
  EXPECT_EQ(SendPlannedReports(plan, uplink, view, p.clock), SendOutcome::kSent);
  EXPECT_EQ(p.tcp.lines, std::vector<std::string>{"STATUS\r\n"});
  EXPECT_EQ(view.screen().Row(21), "No APRS object name for serial DFM-xxxxxxxx");
  EXPECT_TRUE(p.clock.sleeps.empty());
}

TEST_F(Sending, QuitWhileLookingForAServerSendsNothingMore) {
  p.tcp.sendErrors = {57};
  p.tcp.reachable.clear();  // no server answers the reconnect
  p.console.keys = {kKeyEscape};
  EXPECT_EQ(SendPlannedReports(ReportPlan{0, "POSITION\r\n", "STATUS\r\n", std::nullopt}, uplink,
                               view, p.clock),
            SendOutcome::kQuit);
  EXPECT_TRUE(p.tcp.lines.empty());
  for (const auto& e : p.journal.events) EXPECT_EQ(e.find("STATUS"), std::string::npos) << e;
}

}  // namespace
}  // namespace nimbrix
