#include "app/startup.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/terminal_view.h"
#include "platform/fake/fakes.h"
#include "version/version.h"

namespace nimbrix {
namespace {

using fake::FakeClock;
using fake::FakeConsole;
using fake::FakeHttpClient;

class CheckForNewVersionTest : public ::testing::Test {
 protected:
  void SetUp() override { config.sUSER = "DL1ABC"; }
  void Run() {
    TerminalView view(console);
    CheckForNewVersion(view, clock, http, config, servers, service);
  }

  FakeConsole console;
  // 400 ms before the second changes: the query must be built after the first pause.
  FakeClock clock{LocalTime{2026, 12, 8, 20, 41, 4, 600}};
  FakeHttpClient http;
  StationConfig config;
  ServerList servers;
  UpdateService service{"https", "up.example", "https://up.example/nimbrix"};
};

TEST_F(CheckForNewVersionTest, AsksForTheCurrentServerEntry) {
  servers.sSERVER[1] = "first.example,14580";
  servers.sSERVER[2] = "second.example,14580";
  servers.nSERVERS = 2;
  http.reply = std::string("versao=") + kVersion;
  Run();
  ASSERT_EQ(http.urls.size(), 1u);
  EXPECT_EQ(http.urls[0],
            std::string("https://up.example/nimbrix/nimbrix_pool.php?data=08/12/2026&hora=20:41:05"
                        "&estacao=DL1ABC&versao=NIMBRIX%20") +
                kVersion + "&servidor=first.example,14580&");
}

TEST_F(CheckForNewVersionTest, EmptyOrUnusableSlotSendsAnEmptyServer) {
  servers.sSERVER[0] = "never.used,1";
  for (int slot : {1, 0, -1, 11}) {
    servers.nCURSERVER = static_cast<std::int16_t>(slot);
    http.urls.clear();
    Run();
    ASSERT_EQ(http.urls.size(), 1u);
    EXPECT_TRUE(http.urls[0].ends_with("&servidor=&")) << slot << " " << http.urls[0];
  }
}

TEST_F(CheckForNewVersionTest, ShowsTheVerdictWithItsColourAndPause) {
  struct Case {
    std::optional<std::string> reply;
    std::vector<std::string> rows;  // rows 2 onward
    int color;                      // of the verdict row
    std::vector<int> sleeps;
    int cursorRow;
  };
  const std::string newer = "The version 0.23 is available at https://up.example/nimbrix";
  const Case cases[] = {
      {std::string("versao=") + kVersion, {"You have the most recent version!"}, 7, {500, 1000}, 3},
      {std::string("versao=") + kVersion + "5",
       {"You have the most recent version!"},
       7,
       {500, 1000},
       3},
      {"<p>versao=0.23 more</p>", {newer, ""}, 14, {500, 3000}, 4},
      {"versao=1.0\r\n",
       {"The version 1.0? is available at https://up.example/nimbrix", ""},
       14,
       {500, 3000},
       4},
      {"versao=\x1b[2J",
       {"The version ?[2J is available at https://up.example/nimbrix", ""},
       14,
       {500, 3000},
       4},
      {"VERSAO=0.23", {"Could not check for a new version."}, 7, {500, 1000}, 3},
      {"", {"Could not check for a new version."}, 7, {500, 1000}, 3},
      {std::nullopt, {"Could not check for a new version."}, 7, {500, 1000}, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply.value_or("<fetch fails>"));
    console = FakeConsole();
    clock = FakeClock();
    http.reply = c.reply;
    Run();
    EXPECT_EQ(console.RowTrimmed(1), "Cheking for a new version...");
    EXPECT_EQ(console.ColorAt(1, 1), 7);
    for (std::size_t i = 0; i < c.rows.size(); ++i) {
      EXPECT_EQ(console.RowTrimmed(static_cast<int>(i) + 2), c.rows[i]);
    }
    EXPECT_EQ(console.ColorAt(2, 1), c.color);
    EXPECT_EQ(console.cursorRow(), c.cursorRow);
    EXPECT_EQ(console.cursorCol(), 1);
    EXPECT_EQ(clock.sleeps, c.sleeps);
    EXPECT_EQ(console.waitKeyCalls, 0);
  }
}

}  // namespace
}  // namespace nimbrix
