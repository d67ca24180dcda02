#include "update/version_check.h"

#include <gtest/gtest.h>

#include "platform/fake/fakes.h"
#include "version/version.h"

namespace nimbrix {
namespace {

using fake::FakeClock;
using fake::FakeConsole;
using fake::FakeHttpClient;

TEST(BuildVersionQuery, CarriesDayMonthYearClockCallsignVersionAndServer) {
  const LocalTime now{2026, 12, 8, 20, 41, 5, 0};
  EXPECT_EQ(BuildVersionQuery(now, "DL1ABC-11", "rotate.aprs2.net,14580"),
            (std::string("?data=08/12/2026&hora=20:41:05&estacao=DL1ABC-11&versao=NIMBRIX%20") +
             kVersion + "&servidor=rotate.aprs2.net,14580&"));
  // Day and month must not be swapped when both are small.
  EXPECT_EQ(BuildVersionQuery(LocalTime{2027, 1, 3, 4, 5, 6, 0}, "", ""),
            (std::string("?data=03/01/2027&hora=04:05:06&estacao=&versao=NIMBRIX%20") + kVersion +
             "&servidor=&"));
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
    EXPECT_EQ(BuildVersionQuery(LocalTime{2026, 12, 8, 20, 41, 5, 0}, c.user, ""),
              "?data=08/12/2026&hora=20:41:05&estacao=" + c.travels +
                  (std::string("&versao=NIMBRIX%20") + kVersion + "&servidor=&"))
        << c.user;
  }
  EXPECT_EQ(BuildVersionQuery(LocalTime{}, "", "h&x=1 #,14580"),
            (std::string("?data=01/01/2000&hora=00:00:00&estacao=&versao=NIMBRIX%20") + kVersion +
             "&servidor=h%26x%3D1%20%23,14580&"));
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

TEST(AskForNewVersion, VerdictOfTheReply) {
  struct Case {
    std::optional<std::string> reply;
    VersionVerdict::Kind kind;
    std::string offered;
  };
  const Case cases[] = {
      {std::string("versao=") + kVersion, VersionVerdict::Kind::kCurrent, ""},
      {"<p>versao=0.23 more</p>", VersionVerdict::Kind::kNewer, "0.23"},
      {"versao=", VersionVerdict::Kind::kNewer, ""},
      {"VERSAO=0.23", VersionVerdict::Kind::kUnknown, ""},
      {std::nullopt, VersionVerdict::Kind::kUnknown, ""},
  };
  for (const Case& c : cases) {
    FakeHttpClient http;
    http.reply = c.reply;
    const VersionVerdict v = AskForNewVersion(http, LocalTime{}, StationConfig{}, ServerList{},
                                              UpdateService{"https", "h", "https://h/nimbrix"});
    EXPECT_EQ(v.kind, c.kind) << c.reply.value_or("<fetch fails>");
    EXPECT_EQ(v.offered, c.offered) << c.reply.value_or("<fetch fails>");
  }
}

}  // namespace
}  // namespace nimbrix
