#include "app/web_status.h"

#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <memory>
#include <string>
#include <vector>

#include "app/fake/fake_platform.h"
#include "app/station.h"
#include "platform/fake/fake_web_server.h"
#include "version/version.h"

namespace nimbrix {
namespace {

using fake::FakePlatform;

struct FixedOutput : Output {
  DestinationStatus status;
  void Cycle(const CycleFacts&) override {}
  DestinationStatus Status() const override { return status; }
};

// A station with WEB= on the fakes; a client asks the page while the station runs.
struct WebStationTest : ::testing::Test {
  FakePlatform f;
  FakeWebServerStarter web;
  std::string web_line = "WEB=127.0.0.1,8080\r\n";
  std::vector<std::string> answers;  // /api/status, asked in every pause

  void SetUp() override {
    f.http.reply = std::string("versao=") + kVersion;
    f.tcp.reachable = {"aprs.local:14580"};
    f.automation.answers = {{0, Variant::Text("T1234567")}, {1, Variant::Real(48.1)},
                            {2, Variant::Real(11.5)},       {3, Variant::Real(500)},
                            {6, Variant::Text("x")},        {8, Variant::Real(950.5)}};
    f.clock.onSleep = [this](std::int64_t ms) {
      f.automation.answers[3] = Variant::Real(500 + ms / 100);  // climbing
      f.automation.answers[6] = Variant::Text("2026-12-08 20:41:" + std::to_string(ms / 1000 % 60));
      answers.push_back(web.Ask("GET", "/api/status").body);
    };
  }

  int Run(int cycles) {
    f.files.contents["NIMBRIX.INI"] =
        "USER=N0CALL-11\r\nPASS=54321\r\nSTATUS=gw\r\nSERVER=aprs.local,14580\r\n" + web_line;
    f.console.keys.assign(static_cast<std::size_t>(cycles) - 1, "");
    f.console.keys.push_back(kKeyEscape);
    Platform p = f.platform();
    return RunStation(
        p, {"http", "update.test", "page"},
        [](const StationConfig&, Platform&) {
          auto out = std::make_unique<FixedOutput>();
          out->status.kind = "SondeHub";
          out->status.name = "https://api.v2.sondehub.org";
          out->status.state = DestinationStatus::State::kFailing;
          out->status.stateText = "HTTP 503";
          out->status.lastMessage = "Service \x1b[2JUnavailable";
          OutputList list;
          list.push_back(std::move(out));
          return list;
        },
        &web);
  }
};

TEST_F(WebStationTest, ThePageShowsTheFrameTheDestinationsAndTheLinesSent) {
  ASSERT_EQ(Run(12), 0);
  EXPECT_EQ(web.address, "127.0.0.1");
  EXPECT_EQ(web.port, 8080);
  ASSERT_GE(answers.size(), 12u);
  const std::string& last = answers.back();
  rapidjson::Document j;
  ASSERT_FALSE(j.Parse(last.c_str()).HasParseError()) << last;

  EXPECT_STREQ(j["station"]["callsign"].GetString(), "N0CALL-11");
  EXPECT_STREQ(j["station"]["version"].GetString(), kVersionText);
  EXPECT_TRUE(j["station"]["decoderAnswers"].GetBool());
  const auto& sonde = j["sonde"];
  EXPECT_STREQ(sonde["serial"].GetString(), "T1234567");
  EXPECT_DOUBLE_EQ(sonde["latitude"].GetDouble(), 48.1);
  EXPECT_DOUBLE_EQ(sonde["longitude"].GetDouble(), 11.5);
  EXPECT_DOUBLE_EQ(sonde["pressure"].GetDouble(), 950.5);
  EXPECT_GT(sonde["altitude"].GetDouble(), 500);
  EXPECT_GT(j["track"].Size(), 5u);  // the sonde climbed in every cycle

  const auto& d = j["destinations"];
  ASSERT_EQ(d.Size(), 2u);
  EXPECT_TRUE(d[0]["primary"].GetBool());
  EXPECT_STREQ(d[0]["kind"].GetString(), "APRS-IS");
  EXPECT_STREQ(d[0]["name"].GetString(), "aprs.local,14580");
  EXPECT_STREQ(d[0]["state"].GetString(), "up");
  EXPECT_FALSE(d[1]["primary"].GetBool());
  EXPECT_STREQ(d[1]["kind"].GetString(), "SondeHub");
  EXPECT_STREQ(d[1]["state"].GetString(), "failing");
  // The server's words as it said them: the page shows them as text.
  EXPECT_STREQ(d[1]["lastMessage"].GetString(), "Service \x1b[2JUnavailable");

  // The lines the listener got, less the login, are the lines the page lists.
  std::vector<std::string> listed;
  for (const auto& l : j["linesSent"].GetArray()) listed.push_back(l["line"].GetString());
  std::vector<std::string> sent;
  for (std::size_t i = 1; i < f.tcp.lines.size(); ++i) {
    sent.push_back(f.tcp.lines[i].substr(0, f.tcp.lines[i].size() - 2));
  }
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(listed, sent);
  for (const std::string& a : answers) EXPECT_EQ(a.find("54321"), std::string::npos);
}

// The decoder's items of one listed sonde, the rest left empty.
ListedEntry ListedAt(std::uint32_t ageMs, const char* serial, const char* kind, double lat) {
  ListedEntry e;
  e.ageMs = ageMs;
  e.items.assign(kDecoderItemCount, CallResult{Variant::Empty(), CallOutcome::kOk});
  e.items[kSerial].value = Variant::Text(serial);
  e.items[kLatitude].value = Variant::Real(lat);
  e.items[kLongitude].value = Variant::Real(11.5);
  e.items[kAltitude].value = Variant::Real(800);
  e.items[kKind].value = Variant::Text(kind);
  return e;
}

TEST_F(WebStationTest, EverySondeOfTheDecodersListIsOnThePageTheFollowedFirst) {
  f.automation.list = std::vector<ListedEntry>{ListedAt(900, "DFM-1234568", "DFM09", 48.3),
                                               ListedAt(200, "T1234567", "RS41", 48.1),
                                               ListedAt(3000, "M10-012-3-45678", "M10", 48.2)};
  ASSERT_EQ(Run(4), 0);
  rapidjson::Document j;
  ASSERT_FALSE(j.Parse(answers.back().c_str()).HasParseError()) << answers.back();
  const auto& sondes = j["sondes"];
  ASSERT_EQ(sondes.Size(), 3u);
  EXPECT_STREQ(sondes[0]["serial"].GetString(), "T1234567");
  EXPECT_TRUE(sondes[0]["followed"].GetBool());
  EXPECT_STREQ(sondes[1]["serial"].GetString(), "DFM-1234568");
  EXPECT_STREQ(sondes[1]["type"].GetString(), "DFM");
  EXPECT_FALSE(sondes[1]["followed"].GetBool());
  EXPECT_STREQ(sondes[2]["serial"].GetString(), "M10-012-3-45678");
  EXPECT_STREQ(sondes[2]["type"].GetString(), "M10");
  EXPECT_DOUBLE_EQ(sondes[2]["latitude"].GetDouble(), 48.2);
  EXPECT_EQ(sondes[2]["track"].Size(), 1u);
  // The frame listed again grows older on the page.
  EXPECT_GE(sondes[2]["ageSeconds"].GetInt64(), 3 + 2);
  EXPECT_STREQ(j["sonde"]["serial"].GetString(), "T1234567");
}

TEST_F(WebStationTest, ADecoderWithoutTheListShowsTheFollowedSondeAlone) {
  ASSERT_EQ(Run(4), 0);
  rapidjson::Document j;
  ASSERT_FALSE(j.Parse(answers.back().c_str()).HasParseError()) << answers.back();
  ASSERT_EQ(j["sondes"].Size(), 1u);
  EXPECT_STREQ(j["sondes"][0]["serial"].GetString(), "T1234567");
  EXPECT_TRUE(j["sondes"][0]["followed"].GetBool());
  EXPECT_EQ(j["sondes"][0]["track"].Size(), j["track"].Size());
}

TEST_F(WebStationTest, TheLogSaysWhereThePageIsAndTheServerStopsWithTheStation) {
  f.console.terminal = false;
  ASSERT_EQ(Run(3), 0);
  EXPECT_NE(f.console.transcript.find(" Status page: http://127.0.0.1:8080/\n"), std::string::npos)
      << f.console.transcript;
  EXPECT_EQ(web.Ask("GET", "/api/status").status, 599);  // stopped
}

TEST_F(WebStationTest, APortInUseIsToldAndTheStationGoesOn) {
  f.console.terminal = false;
  web.failWith = "port 8080 is in use";
  ASSERT_EQ(Run(12), 0);
  EXPECT_NE(f.console.transcript.find(" No status page (WEB=127.0.0.1,8080): port 8080 is in use; "
                                      "the station goes on without it\n"),
            std::string::npos)
      << f.console.transcript;
  EXPECT_GE(f.tcp.lines.size(), 2u);  // the login and a report
}

// Before the first cycle, while no server answers, the page already shows the station looking.
TEST_F(WebStationTest, WhileNoServerAnswersThePageShowsThePrimaryLinkFailing) {
  f.tcp.reachable.clear();
  f.console.keys = {"", "", kKeyEscape};  // ESC in the third wait for a server
  f.files.contents["NIMBRIX.INI"] =
      "USER=N0CALL-11\r\nPASS=54321\r\nSERVER=aprs.local,14580\r\n" + web_line;
  Platform p = f.platform();
  ASSERT_EQ(RunStation(p, {"http", "update.test", "page"}, {}, &web), 0);
  ASSERT_FALSE(answers.empty());
  rapidjson::Document j;
  ASSERT_FALSE(j.Parse(answers.back().c_str()).HasParseError()) << answers.back();
  EXPECT_TRUE(j["station"]["decoderAnswers"].GetBool());
  EXPECT_GT(j["station"]["uptimeSeconds"].GetInt64(), 5);
  ASSERT_EQ(j["destinations"].Size(), 1u);
  EXPECT_TRUE(j["destinations"][0]["primary"].GetBool());
  EXPECT_STREQ(j["destinations"][0]["state"].GetString(), "failing");
  EXPECT_STREQ(j["destinations"][0]["stateText"].GetString(), "no server available");
  EXPECT_GE(j["records"].Size(), 2u);  // an OPEN Error per attempt
}

// While no server answers, the other outputs are fed the frames read meanwhile, and the page
// shows both moving: the sonde climbing and the frames the output was given.
TEST_F(WebStationTest, WhileNoServerAnswersTheOtherOutputsAndThePageKeepMoving) {
  struct CountingOutput : Output {
    DestinationStatus status;
    void Cycle(const CycleFacts& facts) override {
      if (facts.decoderAnswered) ++status.sent;
    }
    DestinationStatus Status() const override { return status; }
  };
  f.tcp.reachable.clear();
  f.console.keys = {"", "", kKeyEscape};  // ESC in the third wait for a server
  f.files.contents["NIMBRIX.INI"] =
      "USER=N0CALL-11\r\nPASS=54321\r\nSERVER=aprs.local,14580\r\n" + web_line;
  Platform p = f.platform();
  ASSERT_EQ(RunStation(
                p, {"http", "update.test", "page"},
                [](const StationConfig&, Platform&) {
                  auto out = std::make_unique<CountingOutput>();
                  out->status.kind = "UDP";
                  out->status.name = "127.0.0.1,55673";
                  out->status.state = DestinationStatus::State::kUp;
                  OutputList list;
                  list.push_back(std::move(out));
                  return list;
                },
                &web),
            0);
  ASSERT_GE(answers.size(), 4u);
  std::vector<double> altitudes;
  std::vector<std::uint64_t> sent;
  for (const std::string& answer : answers) {
    rapidjson::Document j;
    ASSERT_FALSE(j.Parse(answer.c_str()).HasParseError()) << answer;
    if (j["sonde"].IsObject()) altitudes.push_back(j["sonde"]["altitude"].GetDouble());
    if (j["destinations"].Size() == 2) sent.push_back(j["destinations"][1]["sent"].GetUint64());
  }
  ASSERT_GE(altitudes.size(), 3u);
  EXPECT_GT(altitudes.back(), altitudes.front());
  ASSERT_GE(sent.size(), 3u);
  EXPECT_GE(sent.back(), 10u);  // the passes took more than ten seconds, a frame in each
  EXPECT_EQ(f.tcp.lines.size(), 0u);
}

TEST_F(WebStationTest, NoWebKeyNoServer) {
  web_line = "";
  ASSERT_EQ(Run(2), 0);
  EXPECT_EQ(web.starts, 0);
}

TEST(WebStartLineTest, SaysWhereToLook) {
  const struct {
    const char* address;
    int port;
    const char* error;
    const char* line;
  } cases[] = {
      {"127.0.0.1", 8080, "", "Status page: http://127.0.0.1:8080/"},
      {"0.0.0.0", 80, "",
       "Status page: http://<this machine's address>:80/ (every address of "
       "this machine)"},
      {"::1", 8080, "", "Status page: http://[::1]:8080/"},
      {"127.0.0.1", 8080, "port 8080 is in use",
       "No status page (WEB=127.0.0.1,8080): port 8080 is in use; the station goes on without it"},
  };
  for (const auto& c : cases) EXPECT_EQ(WebStartLine(c.address, c.port, c.error), c.line);
}

}  // namespace
}  // namespace nimbrix
