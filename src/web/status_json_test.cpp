#include "web/status_json.h"

#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <cmath>
#include <limits>
#include <string>

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
  s.item11 = "RS41";
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

TEST(StatusJsonTest, IsoUtc) {
  EXPECT_EQ(IsoUtc(0), "1970-01-01T00:00:00Z");
  EXPECT_EQ(IsoUtc(kStart + 999), "2026-12-08T20:41:05Z");
  EXPECT_EQ(IsoUtc(951782400000), "2000-02-29T00:00:00Z");
}

TEST(StatusJsonTest, FrameTimeOnTheNearestDay) {
  const std::int64_t midnight = 1796774400000;  // 2026-12-09T00:00:00Z
  const struct {
    const char* text;
    std::int64_t read;
    const char* iso;  // nullptr: no time
  } cases[] = {
      {"2026-12-09 00:00:05", midnight + 7000, "2026-12-09T00:00:05Z"},
      {"xxxxxxxxxxx23:59:58", midnight + 3000, "2026-12-08T23:59:58Z"},  // the day before
      {"xxxxxxxxxxx00:00:01", midnight - 2000, "2026-12-09T00:00:01Z"},  // the day after
      {"x", midnight, nullptr},
      {"2026-12-09 24:00:00", midnight, nullptr},
      {"2026-12-09 1a:00:00", midnight, nullptr},
      {"2026-12-09 10-00-00", midnight, nullptr},
  };
  for (const auto& c : cases) {
    const auto t = FrameTimeUtcMs(c.text, c.read);
    if (c.iso == nullptr) {
      EXPECT_FALSE(t.has_value()) << c.text;
    } else {
      ASSERT_TRUE(t.has_value()) << c.text;
      EXPECT_EQ(IsoUtc(*t), c.iso) << c.text;
    }
  }
}

}  // namespace
}  // namespace nimbrix
