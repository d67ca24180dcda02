#include "update/version_check.h"

#include <gtest/gtest.h>

#include "platform/fake/fakes.h"

namespace nimbrix {
namespace {

using fake::FakeClock;
using fake::FakeConsole;
using fake::FakeHttpClient;

TEST(BuildVersionQuery, CarriesDayMonthYearClockCallsignVersionAndServer) {
  const LocalTime now{2026, 12, 8, 20, 41, 5, 0};
  EXPECT_EQ(BuildVersionQuery(now, "DL1ABC-11", "rotate.aprs2.net,14580"),
            "?data=08/12/2026&hora=20:41:05&estacao=DL1ABC-11&versao=NIMBRIX%200.22"
            "&servidor=rotate.aprs2.net,14580&");
  // Day and month must not be swapped when both are small.
  EXPECT_EQ(BuildVersionQuery(LocalTime{2027, 1, 3, 4, 5, 6, 0}, "", ""),
            "?data=03/01/2027&hora=04:05:06&estacao=&versao=NIMBRIX%200.22&servidor=&");
}

TEST(BuildVersionQuery, EncodesEveryByteThatCouldReshapeTheRequest) {
  struct Case {
    std::string user;
    std::string travels;
  };
  const Case cases[] = {
      {"", ""},
      {"N0CALL", "N0CALL"},
      {"a/b:c,d@e;f~g_h.i-j", "a/b:c,d@e;f~g_h.i-j"},
      {"X&servidor=evil", "X%26servidor%3Devil"},
      {"A B#frag", "A%20B%23frag"},
      {"50%+?", "50%25%2B%3F"},
      {"X\r\nHost: evil", "X%0D%0AHost:%20evil"},
      {std::string("\x00\x1b\x7f", 3), "%00%1B%7F"},
      {"\xC3\xA9\xFF", "%C3%A9%FF"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(
        BuildVersionQuery(LocalTime{2026, 12, 8, 20, 41, 5, 0}, c.user, ""),
        "?data=08/12/2026&hora=20:41:05&estacao=" + c.travels + "&versao=NIMBRIX%200.22&servidor=&")
        << c.user;
  }
  EXPECT_EQ(BuildVersionQuery(LocalTime{}, "", "h&x=1 #,14580"),
            "?data=01/01/2000&hora=00:00:00&estacao=&versao=NIMBRIX%200.22"
            "&servidor=h%26x%3D1%20%23,14580&");
}

TEST(BuildVersionUrl, PutsThePathBetweenHostAndQuery) {
  EXPECT_EQ(BuildVersionUrl(UpdateService{"https", "up.example:8443", "x"}, "?a=1&"),
            "https://up.example:8443/nimbrix/nimbrix_pool.php?a=1&");
}

TEST(OfferedVersion, TakesFourCharactersAfterTheFirstKey) {
  struct Case {
    std::string body;
    std::optional<std::string> offered;
  };
  const Case cases[] = {
      {"versao=0.22", "0.22"},
      {"ok\nversao=0.23 and more text", "0.23"},
      {"versao=0.225", "0.22"},
      {"versao=1.0\r\n", "1.0\r"},
      {"versao=0.2", "0.2"},
      {"versao=", ""},
      {"versao=1versao=2.00", "1"},         // the next key ends the value
      {"versao=0.23 versao=0.24", "0.23"},  // only the first key counts
      {"VERSAO=0.22", std::nullopt},
      {"versao0.22", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(OfferedVersion(c.body), c.offered) << c.body;
}

TEST(FetchUrl, AsksWithAgentAndNoCacheHeaderAndHandsBackTheBody) {
  FakeHttpClient http;
  http.reply = std::string("versao=0.22\0tail", 16);
  std::string reply = "stale";
  EXPECT_EQ(FetchUrl(http, "https://h/p?q", reply), 0);
  EXPECT_EQ(reply, std::string("versao=0.22\0tail", 16));
  EXPECT_EQ(http.urls, std::vector<std::string>{"https://h/p?q"});
  EXPECT_EQ(http.agent, "zt/kit 7.04");
  EXPECT_EQ(http.header, "pragma: no-cache");

  http.reply.reset();
  EXPECT_EQ(FetchUrl(http, "https://h/p?q", reply), -1);
  EXPECT_EQ(reply, "");
}

class CheckForNewVersionTest : public ::testing::Test {
 protected:
  void SetUp() override { config.sUSER = "DL1ABC"; }
  void Run() { CheckForNewVersion(console, clock, http, config, servers, service); }

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
  http.reply = "versao=0.22";
  Run();
  ASSERT_EQ(http.urls.size(), 1u);
  EXPECT_EQ(http.urls[0],
            "https://up.example/nimbrix/nimbrix_pool.php?data=08/12/2026&hora=20:41:05"
            "&estacao=DL1ABC&versao=NIMBRIX%200.22&servidor=first.example,14580&");
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
      {"versao=0.22", {"You have the most recent version!"}, 7, {500, 1000}, 3},
      {"versao=0.225", {"You have the most recent version!"}, 7, {500, 1000}, 3},
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
