#include "web/status_json.h"

#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace nimbrix {
namespace {

constexpr std::int64_t kStart = 1796762465000;  // 2026-12-08T20:41:05Z

rapidjson::Document Parsed(const std::string& json) {
  rapidjson::Document d;
  d.Parse<rapidjson::kParseValidateEncodingFlag>(json.c_str(), json.size());
  EXPECT_FALSE(d.HasParseError()) << json;
  return d;
}

SondeSample Frame(double lat, double lon, double alt, std::int32_t frame) {
  SondeSample s;
  s.serial = "S1234567";
  s.typeOrAprsName = "RS41";
  s.kind = "RS41";
  s.latitude = lat;
  s.longitude = lon;
  s.altitude = alt;
  s.climb = 5.2;
  s.speedKmh = 36.5;
  s.course = 270;
  s.temperature = -12.3;
  s.humidity = 67;
  s.pressure = 850.4;
  s.frame = frame;
  s.qrg = "403.001";
  s.timeText = "2026-12-08 20:41:04";
  return s;
}

TEST(StatusJsonTest, EveryFieldFromACycle) {
  StatusCollector c("N0CALL-11", "NIMBRIX 0.22", kStart);
  c.Sample(Frame(48.1234, 11.5678, 520.5, 100), true, kStart + 2000);
  c.Sample(Frame(48.1234, 11.5678, 520.5, 100), true, kStart + 9000);  // the same frame
  c.LineSent("N0CALL-11>APZQW0,TCPIP*:>gw\r\n", kStart + 3000);
  c.Record("OPEN Error @08-12-2026 - 20:41:06 -> aprs.example.net\r\n", kStart + 1000);
  DestinationStatus primary;
  primary.primary = true;
  primary.kind = "APRS-IS";
  primary.name = "aprs.example.net,14580";
  primary.state = DestinationStatus::State::kUp;
  primary.stateText = "login verified";
  primary.sinceUtcMs = kStart + 1500;
  primary.sent = 3;
  primary.failed = 1;
  primary.lastSuccessUtcMs = kStart + 3000;
  primary.lastMessage = "# logresp N0CALL-11 verified";
  DestinationStatus udp;
  udp.kind = "UDP";
  udp.name = "192.168.1.5,55673";
  c.Destinations({primary, udp});

  const auto j = Parsed(StatusJson(c.snapshot()));
  const auto& st = j["station"];
  EXPECT_STREQ(st["callsign"].GetString(), "N0CALL-11");
  EXPECT_STREQ(st["version"].GetString(), "NIMBRIX 0.22");
  EXPECT_STREQ(st["started"].GetString(), "2026-12-08T20:41:05Z");
  EXPECT_STREQ(st["now"].GetString(), "2026-12-08T20:41:14Z");
  EXPECT_EQ(st["uptimeSeconds"].GetInt64(), 9);
  EXPECT_TRUE(st["decoderAnswers"].GetBool());

  const auto& s = j["sonde"];
  EXPECT_STREQ(s["serial"].GetString(), "S1234567");
  EXPECT_STREQ(s["kind"].GetString(), "RS41");
  EXPECT_EQ(s["frame"].GetInt(), 100);
  EXPECT_STREQ(s["time"].GetString(), "2026-12-08T20:41:04Z");
  EXPECT_STREQ(s["received"].GetString(), "2026-12-08T20:41:07Z");
  EXPECT_EQ(s["ageSeconds"].GetInt64(), 7);  // read first 7 s ago, not renewed by the same frame
  EXPECT_DOUBLE_EQ(s["latitude"].GetDouble(), 48.1234);
  EXPECT_DOUBLE_EQ(s["longitude"].GetDouble(), 11.5678);
  EXPECT_DOUBLE_EQ(s["altitude"].GetDouble(), 520.5);
  EXPECT_DOUBLE_EQ(s["climb"].GetDouble(), 5.2);
  EXPECT_DOUBLE_EQ(s["speedKmh"].GetDouble(), 36.5);
  EXPECT_DOUBLE_EQ(s["course"].GetDouble(), 270);
  EXPECT_DOUBLE_EQ(s["temperature"].GetDouble(), -12.3);
  EXPECT_DOUBLE_EQ(s["humidity"].GetDouble(), 67);
  EXPECT_DOUBLE_EQ(s["pressure"].GetDouble(), 850.4);
  EXPECT_STREQ(s["frequency"].GetString(), "403.001");

  ASSERT_EQ(j["track"].Size(), 1u);
  EXPECT_STREQ(j["track"][0]["time"].GetString(), "2026-12-08T20:41:07Z");
  EXPECT_DOUBLE_EQ(j["track"][0]["altitude"].GetDouble(), 520.5);

  const auto& d = j["destinations"];
  ASSERT_EQ(d.Size(), 2u);
  EXPECT_TRUE(d[0]["primary"].GetBool());
  EXPECT_STREQ(d[0]["kind"].GetString(), "APRS-IS");
  EXPECT_STREQ(d[0]["name"].GetString(), "aprs.example.net,14580");
  EXPECT_STREQ(d[0]["state"].GetString(), "up");
  EXPECT_STREQ(d[0]["stateText"].GetString(), "login verified");
  EXPECT_STREQ(d[0]["since"].GetString(), "2026-12-08T20:41:06Z");
  EXPECT_EQ(d[0]["sent"].GetUint64(), 3u);
  EXPECT_EQ(d[0]["failed"].GetUint64(), 1u);
  EXPECT_STREQ(d[0]["lastSuccess"].GetString(), "2026-12-08T20:41:08Z");
  EXPECT_STREQ(d[0]["lastMessage"].GetString(), "# logresp N0CALL-11 verified");
  EXPECT_FALSE(d[1]["primary"].GetBool());
  EXPECT_STREQ(d[1]["state"].GetString(), "off");
  EXPECT_TRUE(d[1]["since"].IsNull());
  EXPECT_TRUE(d[1]["lastSuccess"].IsNull());

  ASSERT_EQ(j["linesSent"].Size(), 1u);
  EXPECT_STREQ(j["linesSent"][0]["line"].GetString(), "N0CALL-11>APZQW0,TCPIP*:>gw");
  EXPECT_STREQ(j["linesSent"][0]["time"].GetString(), "2026-12-08T20:41:08Z");
  ASSERT_EQ(j["records"].Size(), 1u);
  EXPECT_STREQ(j["records"][0]["record"].GetString(),
               "OPEN Error @08-12-2026 - 20:41:06 -> aprs.example.net");
}

TEST(StatusJsonTest, BeforeTheFirstFrameTheSondeIsNull) {
  StatusCollector c("N0CALL", "NIMBRIX 0.22", kStart);
  c.Sample(SondeSample{}, false, kStart + 1000);
  const auto j = Parsed(StatusJson(c.snapshot()));
  EXPECT_TRUE(j["sonde"].IsNull());
  EXPECT_FALSE(j["station"]["decoderAnswers"].GetBool());
  EXPECT_EQ(j["track"].Size(), 0u);
}

// Whatever the decoder or a server hands over, the answer is JSON a browser can read.
TEST(StatusJsonTest, HostileTextsAndNumbersStayValidJson) {
  StatusCollector c("N0CALL", "NIMBRIX 0.22", kStart);
  SondeSample s = Frame(std::numeric_limits<double>::quiet_NaN(),
                        std::numeric_limits<double>::infinity(), -1e308, 1);
  s.serial = std::string("S\"1\\2</script>\x01\xff\xc0\xaf", 18);
  s.qrg = std::string(
      "40\0"
      "3",
      4);
  c.Sample(s, true, kStart);
  c.LineSent(
      "a\x1b[2Jb\xed\xa0\x80"
      "c\r\n",
      kStart);
  DestinationStatus d;
  d.lastMessage = "\xe2\x82";  // cut inside a character
  c.Destinations({d});
  const std::string json = StatusJson(c.snapshot());
  const auto j = Parsed(json);
  EXPECT_TRUE(j["sonde"]["latitude"].IsNull());
  EXPECT_TRUE(j["sonde"]["longitude"].IsNull());
  EXPECT_DOUBLE_EQ(j["sonde"]["altitude"].GetDouble(), -1e308);
  EXPECT_EQ(std::string(j["sonde"]["serial"].GetString()),
            "S\"1\\2</script>\x01\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(
      std::string(j["sonde"]["frequency"].GetString(), j["sonde"]["frequency"].GetStringLength()),
      std::string("40\0"
                  "3",
                  4));
  EXPECT_EQ(std::string(j["linesSent"][0]["line"].GetString()),
            "a\x1b[2Jb\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
            "c");
  EXPECT_EQ(std::string(j["destinations"][0]["lastMessage"].GetString()),
            "\xEF\xBF\xBD\xEF\xBF\xBD");
  // No raw control byte in the text itself: escaped as JSON wants.
  for (char ch : json) EXPECT_GE(static_cast<unsigned char>(ch), 0x20u);
}

SondeSample Kind(SondeSample s, const char* serial, const char* kind, double lat) {
  s.serial = serial;
  s.kind = kind;
  s.typeOrAprsName = kind;
  s.latitude = lat;
  return s;
}

std::vector<std::string> Serials(const rapidjson::Value& sondes) {
  std::vector<std::string> out;
  for (const auto& s : sondes.GetArray()) out.push_back(s["serial"].GetString());
  return out;
}

// The decoder lists three sondes; it follows the one it heard second. The page gets the
// followed one first, then the others as first heard, each with its own frame, age and track.
TEST(StatusJsonTest, ThreeSondesTheFollowedFirst) {
  StatusCollector c("N0CALL", "NIMBRIX 0.22", kStart);
  const SondeSample base = Frame(48.1, 11.5, 1000, 10);
  for (int i = 0; i < 4; ++i) {
    SondeSample rs41 = Kind(base, "S3210987", "RS41-SG", 48.1 + i * 0.001);
    SondeSample dfm = Kind(base, "DFM-3210988", "DFM09", 48.2 + i * 0.001);
    SondeSample m10 = Kind(base, "M10-012-3-21098", "M10", 48.3 + i * 0.001);
    dfm.frame = m10.frame = rs41.frame = 10 + i;
    const std::int64_t t = kStart + 1000 * i;
    c.Heard({{dfm, 400}, {rs41, 100}, {m10, 2500}}, t);
    c.Sample(rs41, true, t);
  }
  c.Moment(true, kStart + 3000 + 4000);  // four seconds after the last list

  const auto j = Parsed(StatusJson(c.snapshot()));
  const auto& sondes = j["sondes"];
  EXPECT_EQ(Serials(sondes),
            (std::vector<std::string>{"S3210987", "DFM-3210988", "M10-012-3-21098"}));
  const struct {
    const char* type;
    bool followed;
    std::int64_t age;
    double latitude;
  } expected[] = {{"RS41", true, 4, 48.103}, {"DFM", false, 4, 48.203}, {"M10", false, 6, 48.303}};
  for (rapidjson::SizeType i = 0; i < 3; ++i) {
    const auto& s = sondes[i];
    const auto& e = expected[i];
    EXPECT_STREQ(s["type"].GetString(), e.type) << i;
    EXPECT_EQ(s["followed"].GetBool(), e.followed) << i;
    EXPECT_EQ(s["ageSeconds"].GetInt64(), e.age) << i;
    EXPECT_DOUBLE_EQ(s["latitude"].GetDouble(), e.latitude) << i;
    EXPECT_EQ(s["frame"].GetInt(), 13) << i;
    EXPECT_DOUBLE_EQ(s["altitude"].GetDouble(), 1000) << i;
    EXPECT_STREQ(s["frequency"].GetString(), "403.001") << i;
    EXPECT_STREQ(s["time"].GetString(), "2026-12-08T20:41:04Z") << i;
    // Its own track: four positions, all of this sonde.
    ASSERT_EQ(s["track"].Size(), 4u) << i;
    for (const auto& p : s["track"].GetArray()) {
      EXPECT_NEAR(p["latitude"].GetDouble(), e.latitude, 0.0035) << i;
    }
  }
  EXPECT_STREQ(sondes[2]["received"].GetString(), "2026-12-08T20:41:05Z");  // 2.5 s before t
  // What was there before stays: the followed sonde alone.
  EXPECT_STREQ(j["sonde"]["serial"].GetString(), "S3210987");
  EXPECT_EQ(j["track"].Size(), 4u);
}

TEST(StatusJsonTest, ASondeOfAnotherKindFollowedNextMovesFirst) {
  StatusCollector c("N0CALL", "NIMBRIX 0.22", kStart);
  const SondeSample rs41 = Kind(Frame(48.1, 11.5, 1000, 10), "S3210987", "RS41", 48.1);
  const SondeSample dfm = Kind(Frame(48.2, 11.5, 900, 10), "DFM-3210988", "DFM09", 48.2);
  c.Heard({{rs41, 0}, {dfm, 0}}, kStart);
  c.Sample(rs41, true, kStart);
  c.Heard({{rs41, 1000}, {dfm, 0}}, kStart + 1000);
  c.Sample(dfm, true, kStart + 1000);
  const auto j = Parsed(StatusJson(c.snapshot()));
  EXPECT_EQ(Serials(j["sondes"]), (std::vector<std::string>{"DFM-3210988", "S3210987"}));
  EXPECT_TRUE(j["sondes"][0]["followed"].GetBool());
  EXPECT_FALSE(j["sondes"][1]["followed"].GetBool());
}

// A decoder without the list: "sondes" is the followed sonde alone, as "sonde" and "track" are.
TEST(StatusJsonTest, WithoutAListTheFollowedSondeAlone) {
  StatusCollector c("N0CALL", "NIMBRIX 0.22", kStart);
  auto j = Parsed(StatusJson(c.snapshot()));
  EXPECT_EQ(j["sondes"].Size(), 0u);  // no frame yet

  c.Sample(Frame(48.1, 11.5, 1000, 10), true, kStart + 1000);
  c.Sample(Frame(48.2, 11.5, 1100, 11), true, kStart + 2000);
  c.Moment(false, kStart + 20 * 60'000);  // the decoder gone for long: the frame stays
  j = Parsed(StatusJson(c.snapshot()));
  ASSERT_EQ(j["sondes"].Size(), 1u);
  const auto& s = j["sondes"][0];
  EXPECT_TRUE(s["followed"].GetBool());
  EXPECT_STREQ(s["serial"].GetString(), "S1234567");
  EXPECT_STREQ(s["type"].GetString(), "RS41");
  EXPECT_EQ(s["frame"].GetInt(), 11);
  EXPECT_EQ(s["ageSeconds"].GetInt64(), j["sonde"]["ageSeconds"].GetInt64());
  EXPECT_STREQ(s["received"].GetString(), j["sonde"]["received"].GetString());
  ASSERT_EQ(s["track"].Size(), 2u);
  EXPECT_DOUBLE_EQ(s["track"][1]["latitude"].GetDouble(), 48.2);
}

TEST(StatusJsonTest, ASilentSondeAgesAndDropsOut) {
  StatusCollector c("N0CALL", "NIMBRIX 0.22", kStart);
  const SondeSample rs41 = Kind(Frame(48.1, 11.5, 1000, 10), "S3210987", "RS41", 48.1);
  const SondeSample dfm = Kind(Frame(48.2, 11.5, 900, 10), "DFM-3210988", "DFM09", 48.2);
  c.Heard({{rs41, 0}, {dfm, 0}}, kStart);
  c.Sample(rs41, true, kStart);
  const struct {
    std::int64_t afterMs;
    std::size_t sondes;
    std::int64_t dfmAge;
  } steps[] = {{1000, 2, 1}, {300'000, 2, 300}, {600'000, 2, 600}, {601'000, 1, -1}};
  for (const auto& step : steps) {
    SondeSample again = rs41;
    again.frame = static_cast<std::int32_t>(10 + step.afterMs / 1000);
    c.Heard({{again, 0}}, kStart + step.afterMs);  // the DFM is not listed any more
    c.Sample(again, true, kStart + step.afterMs);
    const auto j = Parsed(StatusJson(c.snapshot()));
    ASSERT_EQ(j["sondes"].Size(), step.sondes) << step.afterMs;
    if (step.dfmAge >= 0) {
      EXPECT_EQ(j["sondes"][1]["ageSeconds"].GetInt64(), step.dfmAge) << step.afterMs;
    }
  }
}

TEST(StatusJsonTest, AHostileSerialOfTheListStaysValidJson) {
  StatusCollector c("N0CALL", "NIMBRIX 0.22", kStart);
  SondeSample hostile = Frame(48.1, 11.5, 1000, 10);
  hostile.serial = std::string("\"</script><img src=x onerror=alert(1)>\x01\x1b[2J\xff\xfe\0X", 47);
  hostile.kind = "\xc0\xaf\"";
  hostile.typeOrAprsName = hostile.kind;
  c.Heard({{Frame(48.0, 11.5, 900, 9), 0}, {hostile, 0}}, kStart);
  c.Sample(Frame(48.0, 11.5, 900, 9), true, kStart);
  const std::string json = StatusJson(c.snapshot());
  const auto j = Parsed(json);
  ASSERT_EQ(j["sondes"].Size(), 2u);
  const auto& s = j["sondes"][1];
  EXPECT_EQ(std::string(s["serial"].GetString(), s["serial"].GetStringLength()),
            std::string("\"</script><img src=x onerror=alert(1)>\x01\x1b[2J"
                        "\xEF\xBF\xBD\xEF\xBF\xBD\0X",
                        51));
  EXPECT_TRUE(s["type"].IsNull());
  EXPECT_FALSE(s["followed"].GetBool());
  for (char ch : json) EXPECT_GE(static_cast<unsigned char>(ch), 0x20u);
}

TEST(StatusJsonTest, ValidUtf8KeepsCharactersAndReplacesTheRest) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"", ""},
      {"plain", "plain"},
      {"\xc2\xb0"
       "C \xe2\x82\xac \xf0\x9f\x8e\x88",
       "\xc2\xb0"
       "C \xe2\x82\xac \xf0\x9f\x8e\x88"},
      {"\xb0"
       "C",
       "\xEF\xBF\xBD"
       "C"},                                                     // Latin-1 degree sign
      {"\xc0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // overlong NUL
      {"\xed\xa0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // a surrogate
      {"\xf4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // past U+10FFFF
      {"ab\xe2\x82", "ab\xEF\xBF\xBD\xEF\xBF\xBD"},                              // cut at the end
  };
  for (const auto& c : cases) EXPECT_EQ(ValidUtf8(c.in), c.out) << c.in;
}

// "time" is the frame's own: its date and time, the time of day on the nearest day, or item 14.
TEST(StatusJsonTest, TheFramesOwnTime) {
  const std::int64_t midnight = 1796774400000;  // 2026-12-09T00:00:00Z
  const struct {
    const char* item6;
    std::int64_t timeMs;
    std::int64_t read;
    const char* time;  // nullptr: null
  } cases[] = {
      {"2026-12-09 00:00:05", 0, midnight + 7000, "2026-12-09T00:00:05Z"},
      {"2026-12-07 20:41:04", 0, kStart, "2026-12-07T20:41:04Z"},           // its date, a day old
      {"xxxxxxxxxxx23:59:58", 0, midnight + 3000, "2026-12-08T23:59:58Z"},  // the day before
      {"xxxxxxxxxxx00:00:01", 0, midnight - 2000, "2026-12-09T00:00:01Z"},  // the day after
      {"", kStart - 1500, kStart, "2026-12-08T20:41:03Z"},
      {"x", 0, midnight, nullptr},
      {"2026-12-09 24:00:00", 0, midnight, nullptr},
      {"2026-12-09 1a:00:00", 0, midnight, nullptr},
      {"2026-12-09 10-00-00", 0, midnight, nullptr},
  };
  for (const auto& c : cases) {
    StatusCollector collector("N0CALL-11", "NIMBRIX 0.22", c.read);
    SondeSample s = Frame(48.1234, 11.5678, 520.5, 100);
    s.timeText = c.item6;
    s.timeMs = c.timeMs;
    collector.Sample(s, true, c.read);
    const auto j = Parsed(StatusJson(collector.snapshot()));
    const auto& time = j["sonde"]["time"];
    if (c.time == nullptr) {
      EXPECT_TRUE(time.IsNull()) << c.item6;
    } else {
      ASSERT_TRUE(time.IsString()) << c.item6;
      EXPECT_STREQ(time.GetString(), c.time) << c.item6;
    }
  }
}

}  // namespace
}  // namespace nimbrix
