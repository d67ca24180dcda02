#include "app/primary_link.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/fake/fake_platform.h"

namespace nimbrix {
namespace {

using State = DestinationStatus::State;

// A view that keeps the primary's state as it stands when each link event is told.
struct StateAtEachEvent : StationView {
  void Link(const LinkEvent&, const std::string& record) override {
    said.push_back(link->Status().stateText + (record.empty() ? "" : " +record"));
  }
  const PrimaryLink* link = nullptr;
  std::vector<std::string> said;
};

// What the page and the log see of the primary link: its state is moved on before the views
// hear of the event that moved it, and the lines it was handed are counted when the outputs
// are fed.
TEST(PrimaryLinkTest, TheViewsSeeTheStateTheEventMadeAndTheLinesAreCounted) {
  fake::FakePlatform f;
  ServerList servers;
  servers.sSERVER[1] = "a.example,14580";
  servers.sSERVER[2] = "b.example,14580";
  servers.nSERVERS = 2;
  f.tcp.reachable = {"b.example:14580"};
  StateAtEachEvent view;
  ErrorLog records{f.files};
  PrimaryLink primary(f.platform(), servers, "user N0CALL\r\n", "N0CALL", view, records);
  view.link = &primary;

  ASSERT_EQ(ConnectServers(primary.uplink()), ConnectOutcome::kConnected);
  const std::vector<std::string> said = {"connecting", "cannot connect +record", "connecting",
                                         "connected"};
  EXPECT_EQ(view.said, said);
  EXPECT_NE(f.files.contents[kErrorLogPath].find("OPEN Error"), std::string::npos);

  const struct {
    std::vector<HandedLine> handed;
    unsigned sent;
    unsigned failed;
  } cases[] = {
      {{}, 0, 0},
      {{{"A", SendOutcome::kSent}, {"B", SendOutcome::kSent}}, 2, 0},
      {{{"C", SendOutcome::kLost}}, 0, 1},
      {{{"D", SendOutcome::kQuit}}, 0, 0},
  };
  std::int64_t at = 1000;
  for (const auto& c : cases) {
    const DestinationStatus before = primary.Status();
    primary.Count(c.handed, ++at);
    const DestinationStatus& now = primary.Status();
    EXPECT_EQ(now.sent - before.sent, c.sent);
    EXPECT_EQ(now.failed - before.failed, c.failed);
    EXPECT_EQ(now.lastSuccessUtcMs, c.sent > 0 ? at : before.lastSuccessUtcMs);
    EXPECT_TRUE(now.primary);
    EXPECT_EQ(now.name, "b.example,14580");
  }
}

}  // namespace
}  // namespace nimbrix
