#include "sondehub/record.h"

#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <map>
#include <string>

namespace nimbrix {
namespace {

constexpr std::int64_t kNow = 1796842852123;  // 2026-12-09 19:00:52.123 UTC

rapidjson::Document Parsed(const std::string& json) {
  rapidjson::Document doc;
  doc.Parse(json.data(), json.size());
  EXPECT_FALSE(doc.HasParseError()) << json;
  return doc;
}

// Every member as text: strings as they are, numbers and the rest as JSON.
std::map<std::string, std::string> Fields(const std::string& json) {
  const rapidjson::Document doc = Parsed(json);
  std::map<std::string, std::string> fields;
  if (!doc.IsObject()) return fields;
  for (const auto& m : doc.GetObject()) {
    std::string value;
    if (m.value.IsString()) {
      value = m.value.GetString();
    } else if (m.value.IsInt64()) {
      value = std::to_string(m.value.GetInt64());
    } else if (m.value.IsNumber()) {
      char text[40];
      std::snprintf(text, sizeof text, "%.6g", m.value.GetDouble());
      value = text;
    } else if (m.value.IsBool()) {
      value = m.value.GetBool() ? "true" : "false";
    } else if (m.value.IsNull()) {
      value = "null";
    } else {
      value = "[...]";
    }
    fields[m.name.GetString()] = value;
  }
  return fields;
}

SondeSample Rs41Sample() {
  SondeSample s;
  s.serial = "S3210987";
  s.latitude = 47.862135;
  s.longitude = 12.499184;
  s.altitude = 29100.25;
  s.course = 76;
  s.speedKmh = 12.28 * static_cast<double>(3.6f);
  s.timeText = "2026-12-09 19:00:51";
  s.qrg = "403.001";
  s.pressure = 13.4;
  s.temperature = -47.4;
  s.humidity = 2;
  s.climb = 5.1;
  s.frame = 5721;
  s.timeMs = 0;
  s.typeOrAprsName = "RS41";
  s.kind = "RS41-SGP";
  s.satellites = 9;
  s.batteryVolts = 2.9;
  s.given = {true, true, true, true, true, true, true, true};
  return s;
}

SondehubStation Station() {
  return {"N0CALL-11", StationPosition{47.5, 12.25, 612}, "5/8 vertical", "RTL-SDR", false};
}

TEST(SondehubRecord, RadiosondeFieldByField) {
  const FrameOutcome outcome = FrameOf(Rs41Sample(), kNow);
  ASSERT_TRUE(outcome.frame) << outcome.refusal;
  const auto fields = Fields(TelemetryRecordJson(*outcome.frame, Station()));
  const std::map<std::string, std::string> expected{
      {"software_name", "NIMBRIX"},
      {"software_version", "0.22"},
      {"uploader_callsign", "N0CALL-11"},
      {"time_received", "2026-12-09T19:00:52.123000Z"},
      {"datetime", "2026-12-09T19:00:51.000000Z"},
      {"manufacturer", "Vaisala"},
      {"type", "RS41"},
      {"subtype", "RS41-SGP"},
      {"serial", "S3210987"},
      {"frame", "5721"},
      {"lat", "47.8621"},
      {"lon", "12.4992"},
      {"alt", "29100.2"},
      {"vel_v", "5.1"},
      {"vel_h", "12.28"},
      {"heading", "76"},
      {"temp", "-47.4"},
      {"humidity", "2"},
      {"pressure", "13.4"},
      {"frequency", "403.001"},
      {"sats", "9"},
      {"batt", "2.9"},
      {"uploader_position", "[...]"},
      {"uploader_antenna", "5/8 vertical"},
  };
  EXPECT_EQ(fields, expected);
}

TEST(SondehubRecord, ReadingsNotGivenAreLeftOut) {
  struct Case {
    const char* name;
    void (*change)(SondeSample&);
    std::vector<std::string> absent;
  } cases[] = {
      {"no climb", [](SondeSample& s) { s.given.climb = false; }, {"vel_v"}},
      {"no pressure", [](SondeSample& s) { s.given.pressure = false; }, {"pressure"}},
      {"no temperature", [](SondeSample& s) { s.given.temperature = false; }, {"temp"}},
      {"no humidity", [](SondeSample& s) { s.given.humidity = false; }, {"humidity"}},
      {"no frequency", [](SondeSample& s) { s.qrg = ""; }, {"frequency"}},
      {"no speed", [](SondeSample& s) { s.given.speed = false; }, {"vel_h"}},
      {"no course", [](SondeSample& s) { s.given.course = false; }, {"heading"}},
      {"decoder without the extension",
       [](SondeSample& s) {
         s.satellites.reset();
         s.batteryVolts.reset();
       },
       {"sats", "batt"}},
      {"frequency text", [](SondeSample& s) { s.qrg = "403.001 MHz"; }, {"frequency"}},
      {"none of them",
       [](SondeSample& s) {
         s.given = {};
         s.given.frame = s.given.altitude = true;
         s.qrg = "?";
         s.satellites.reset();
         s.batteryVolts.reset();
       },
       {"vel_v", "vel_h", "heading", "pressure", "temp", "humidity", "frequency", "sats", "batt"}},
  };
  for (const Case& c : cases) {
    SondeSample sample = Rs41Sample();
    c.change(sample);
    const FrameOutcome outcome = FrameOf(sample, kNow);
    ASSERT_TRUE(outcome.frame) << c.name;
    SondehubStation station = Station();
    station.position.reset();
    station.antenna.clear();
    const auto fields = Fields(TelemetryRecordJson(*outcome.frame, station));
    for (const std::string& key : c.absent)
      EXPECT_EQ(fields.count(key), 0u) << c.name << " " << key;
    EXPECT_EQ(fields.count("uploader_position"), 0u) << c.name;
    EXPECT_EQ(fields.count("uploader_antenna"), 0u) << c.name;
    EXPECT_EQ(fields.count("lat") + fields.count("lon") + fields.count("alt"), 3u) << c.name;
  }
}

TEST(SondehubRecord, KindsAndSerialsTheNetworkTakesOrRefuses) {
  struct Case {
    const char* kind;
    const char* serial;
    const char* manufacturer;  // nullptr: refused
    const char* type;
    const char* hubSerial;
    bool fullBatch;
  } cases[] = {
      {"RS41-SG", "T1234567", "Vaisala", "RS41", "T1234567", false},
      {"DFM09", "DFM-12345678", "Graw", "DFM", "12345678", true},
      {"", "DFM-12345678", "Graw", "DFM", "12345678", true},
      {"M10", "M10-012-3-45678", "Meteomodem", "M10", "012-3-45678", false},
      {"IMS100", "IMS100-2102060", "Meisei", "iMS-100", "2102060", true},
      {"RS41", "B1234567", nullptr, "", "", false},   // letter before C
      {"RS41", "S12345678", nullptr, "", "", false},  // a digit too many
      {"DFM09", "DFM-xxxxxx", nullptr, "", "", false},
      {"", "S3210987", nullptr, "", "", false},
      {"XYZ", "S3210987", nullptr, "", "", false},
  };
  for (const Case& c : cases) {
    SondeSample sample = Rs41Sample();
    sample.kind = c.kind;
    sample.serial = c.serial;
    const FrameOutcome outcome = FrameOf(sample, kNow);
    if (c.manufacturer == nullptr) {
      EXPECT_FALSE(outcome.frame) << c.kind << " " << c.serial;
      EXPECT_FALSE(outcome.refusal.empty()) << c.kind << " " << c.serial;
      continue;
    }
    ASSERT_TRUE(outcome.frame) << c.kind << " " << c.serial << ": " << outcome.refusal;
    EXPECT_EQ(outcome.frame->manufacturer, c.manufacturer);
    EXPECT_EQ(outcome.frame->type, c.type);
    EXPECT_EQ(outcome.frame->serial, c.hubSerial);
    EXPECT_EQ(NeedsFullBatch(outcome.frame->type), c.fullBatch) << c.kind;
  }
}

TEST(SondehubRecord, NoRecordWithoutAFixOrATime) {
  struct Case {
    const char* name;
    void (*change)(SondeSample&);
  } cases[] = {
      {"no fix", [](SondeSample& s) { s.latitude = s.longitude = 0; }},
      {"latitude out of range", [](SondeSample& s) { s.latitude = 91; }},
      {"no serial", [](SondeSample& s) { s.serial.clear(); }},
      {"no height", [](SondeSample& s) { s.given.altitude = false; }},
      {"no time", [](SondeSample& s) { s.timeText = "--:--"; }},
  };
  for (const Case& c : cases) {
    SondeSample sample = Rs41Sample();
    c.change(sample);
    const FrameOutcome outcome = FrameOf(sample, kNow);
    EXPECT_FALSE(outcome.frame) << c.name;
    EXPECT_TRUE(outcome.refusal.empty()) << c.name;
  }
  SondeSample noFrame = Rs41Sample();
  noFrame.given.frame = false;
  EXPECT_EQ(FrameOf(noFrame, kNow).refusal, "no frame number");
}

TEST(SondehubRecord, TextsFromOutsideStayValidJson) {
  SondehubStation station = Station();
  station.callsign = "N0CALL\"},{\"x\":1";
  station.antenna = std::string("yagi\r\n\x1b[2J\xff\xc3\x28 end\xe2\x82\xac", 21);
  station.radio = "a\\b";
  const rapidjson::Document doc = Parsed(ListenerRecordJson(station));
  ASSERT_TRUE(doc.IsObject());
  EXPECT_STREQ(doc["uploader_callsign"].GetString(), "N0CALL\"},{\"x\":1");
  EXPECT_STREQ(doc["uploader_antenna"].GetString(),
               "yagi[2J?"
               "?( end\xe2\x82\xac");
  EXPECT_STREQ(doc["uploader_radio"].GetString(), "a\\b");
  EXPECT_EQ(doc.MemberCount(), 7u);
}

TEST(SondehubRecord, ListenerRecordPositionOrNull) {
  SondehubStation station = Station();
  const auto with = Fields(ListenerRecordJson(station));
  const std::map<std::string, std::string> expected{
      {"software_name", "NIMBRIX"},
      {"software_version", "0.22"},
      {"uploader_callsign", "N0CALL-11"},
      {"uploader_position", "[...]"},
      {"uploader_radio", "RTL-SDR"},
      {"uploader_antenna", "5/8 vertical"},
      {"mobile", "false"},
  };
  EXPECT_EQ(with, expected);
  const rapidjson::Document doc = Parsed(ListenerRecordJson(station));
  ASSERT_TRUE(doc["uploader_position"].IsArray());
  EXPECT_DOUBLE_EQ(doc["uploader_position"][0].GetDouble(), 47.5);
  EXPECT_DOUBLE_EQ(doc["uploader_position"][1].GetDouble(), 12.25);
  EXPECT_DOUBLE_EQ(doc["uploader_position"][2].GetDouble(), 612);
  station.position.reset();
  EXPECT_EQ(Fields(ListenerRecordJson(station)).at("uploader_position"), "null");
}

TEST(SondehubRecord, TrialRecordsSayDev) {
  SondehubStation station = Station();
  station.dev = true;
  const FrameOutcome outcome = FrameOf(Rs41Sample(), kNow);
  ASSERT_TRUE(outcome.frame);
  EXPECT_EQ(Fields(TelemetryRecordJson(*outcome.frame, station)).at("dev"), "true");
  station.dev = false;
  EXPECT_EQ(Fields(TelemetryRecordJson(*outcome.frame, station)).count("dev"), 0u);
}

TEST(SondehubRecord, ArrayOfRecords) {
  EXPECT_EQ(JsonArray({}), "[]");
  EXPECT_EQ(JsonArray({"{\"a\":1}", "{\"b\":2}"}), "[{\"a\":1},{\"b\":2}]");
}

}  // namespace
}  // namespace nimbrix
