#include "frame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

namespace bridge {
namespace {

// The decoders' own examples, as printed.
const std::string kRs41 =
    R"({ "type": "RS41", "frame": 6127, "id": "S3210987", "datetime": "2026-05-01T11:35:38.001Z", )"
    R"("lat": 47.86214, "lon": 12.49918, "alt": 29100.12345, "vel_h": 12.28000, "heading": )"
    R"(75.70000, "vel_v": 5.01000, "sats": 9, "bt": 65535, "batt": 2.90, "temp": -47.4, )"
    R"("humidity": 2.2, "pressure": 13.42, "subtype": "RS41-SGP", "encrypted": false, "freq": )"
    R"(403500, "tx_frequency": 403500, "ref_datetime": "GPS", "ref_position": "GPS" })";
const std::string kDfm =
    R"({ "type": "DFM", "frame": 211, "id": "DFM-123456", "datetime": "2026-05-01T11:35:20.000Z", )"
    R"("lat": 51.23456, "lon": 6.78901, "alt": 1520.50000, "vel_h": 7.10000, "heading": )"
    R"(241.30000, "vel_v": -4.80000, "sats": 8, "temp": 9.6, "subtype": "0xA", "ref_datetime": )"
    R"("UTC" })";

// `line` with the first `from` replaced by `to`.
std::string Replace(std::string line, const std::string& from, const std::string& to) {
  const auto at = line.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) line.replace(at, from.size(), to);
  return line;
}

// 2026-05-01 00:00:00 UTC.
constexpr std::int64_t kMay1 = 1777593600;

Frame Accepted(const std::string& line) {
  auto parsed = ParseFrame(line);
  if (const Skip* s = std::get_if<Skip>(&parsed)) {
    ADD_FAILURE() << line << "\n  skipped: " << SkipReasonText(s->reason);
    return {};
  }
  return std::get<Frame>(parsed);
}

TEST(ParseFrameTest, TakesTheFieldsOfBothExamples) {
  const Frame r = Accepted(kRs41);
  EXPECT_EQ(r.id, "S3210987");
  EXPECT_EQ(r.type, "RS41");
  EXPECT_EQ(r.subtype, "RS41-SGP");
  EXPECT_EQ(r.frame, 6127u);
  // GPS time, 18 s ahead of UTC.
  EXPECT_EQ(r.utcMs, (kMay1 + 11 * 3600 + 35 * 60 + 38 - 18) * 1000 + 1);
  EXPECT_DOUBLE_EQ(r.lat, 47.86214);
  EXPECT_DOUBLE_EQ(r.lon, 12.49918);
  EXPECT_DOUBLE_EQ(r.alt, 29100.12345);
  EXPECT_EQ(r.velH, 12.28);
  EXPECT_EQ(r.heading, 75.7);
  EXPECT_EQ(r.velV, 5.01);
  EXPECT_EQ(r.temp, -47.4);
  EXPECT_EQ(r.humidity, 2.2);
  EXPECT_EQ(r.pressure, 13.42);
  EXPECT_EQ(r.freqKhz, 403500);
  EXPECT_EQ(r.txFrequencyKhz, 403500);
  EXPECT_EQ(r.sats, 9);
  EXPECT_EQ(r.batt, 2.9);

  const Frame d = Accepted(kDfm);
  EXPECT_EQ(d.id, "DFM-123456");
  EXPECT_EQ(d.utcMs, (kMay1 + 11 * 3600 + 35 * 60 + 20) * 1000);  // UTC as it stands
  EXPECT_EQ(d.subtype, "0xA");
  EXPECT_EQ(d.heading, 241.3);
  EXPECT_EQ(d.velV, -4.8);
  EXPECT_EQ(d.temp, 9.6);
  EXPECT_EQ(d.humidity, std::nullopt);
  EXPECT_EQ(d.pressure, std::nullopt);
  EXPECT_EQ(d.freqKhz, std::nullopt);
  EXPECT_EQ(d.txFrequencyKhz, std::nullopt);
  EXPECT_EQ(d.sats, 8);
  EXPECT_EQ(d.batt, std::nullopt);
}

TEST(ParseFrameTest, SatellitesAndBatteryOnlyWhereASondeCanHaveThem) {
  struct Case {
    const char* fields;  // in place of "sats": 8
    std::optional<int> sats;
    std::optional<double> batt;
  } cases[] = {
      {R"("sats": 0, "batt": 0)", 0, 0.0},
      {R"("sats": 12, "batt": 3.05)", 12, 3.05},
      {R"("sats": 99, "batt": 100)", 99, 100.0},
      {R"("sats": 100, "batt": 100.1)", std::nullopt, std::nullopt},
      {R"("sats": -1, "batt": -0.1)", std::nullopt, std::nullopt},
      {R"("sats": 8.0, "batt": "3.0")", std::nullopt, std::nullopt},
      {R"("sats": "8", "batt": null)", std::nullopt, std::nullopt},
      {R"("sats": 18446744073709551615, "batt": [3])", std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    const Frame f = Accepted(Replace(kDfm, R"("sats": 8)", c.fields));
    EXPECT_EQ(f.sats, c.sats) << c.fields;
    EXPECT_EQ(f.batt, c.batt) << c.fields;
  }
}

TEST(ParseFrameTest, TimeScalesFractionsAndTheLeapSeconds) {
  struct Case {
    const char* datetime;
    const char* reference;  // nullptr: no ref_datetime at all
    std::int64_t utcMs;
  } cases[] = {
      {"2026-05-01T11:35:38.001Z", "UTC", (kMay1 + 41738) * 1000 + 1},
      {"2026-05-01T11:35:38.001Z", nullptr, (kMay1 + 41738) * 1000 + 1},
      {"2026-05-01T11:35:38.001Z", "GPS", (kMay1 + 41720) * 1000 + 1},
      {"2026-05-01T11:35:38.001Z", "gps", (kMay1 + 41720) * 1000 + 1},
      {"2026-05-01T11:35:38.001Z", "TAI", (kMay1 + 41738) * 1000 + 1},  // unknown: as UTC
      {"2026-05-01T11:35:38Z", "UTC", (kMay1 + 41738) * 1000},
      {"2026-05-01T11:35:38", "UTC", (kMay1 + 41738) * 1000},
      {"2026-05-01T11:35:38.5", "UTC", (kMay1 + 41738) * 1000 + 500},
      {"2026-05-01T11:35:38.123456789Z", "UTC", (kMay1 + 41738) * 1000 + 123},
      // Across midnight, a month's end, a year's end and a leap day.
      {"2026-05-01T00:00:10.999Z", "GPS", (kMay1 - 8) * 1000 + 999},
      {"2026-05-01T00:00:17.000Z", "GPS", (kMay1 - 1) * 1000},
      {"2026-05-01T00:00:18.000Z", "GPS", kMay1 * 1000},
      {"2027-01-01T00:00:05.000Z", "GPS", (1798761600LL - 13) * 1000},
      {"2028-03-01T00:00:00.250Z", "GPS", (1835481600LL - 18) * 1000 + 250},
      // The offset of the frame's own date: the recordings of 2015 (16 s, then 17 s from July).
      {"2015-08-02T11:59:26.000Z", "GPS", 1438516749000},  // 11:59:09 UTC
      {"2015-03-17T13:09:54.000Z", "GPS", 1426597778000},  // 13:09:38 UTC
      {"2015-07-01T00:00:15.000Z", "GPS", 1435708799000},  // 2015-06-30 23:59:59 UTC
      {"2015-07-01T00:00:16.000Z", "GPS", 1435708800000},  // 23:59:60, told as 00:00:00
      {"2015-07-01T00:00:17.000Z", "GPS", 1435708800000},  // 2015-07-01 00:00:00 UTC
      {"1980-01-06T00:00:00.000Z", "GPS", 315964800000},   // GPS time began with UTC
  };
  for (const auto& c : cases) {
    std::string line = Replace(kDfm, "2026-05-01T11:35:20.000Z", c.datetime);
    line = c.reference ? Replace(line, "\"ref_datetime\": \"UTC\"",
                                 std::string("\"ref_datetime\": \"") + c.reference + "\"")
                       : Replace(line, ", \"ref_datetime\": \"UTC\"", "");
    EXPECT_EQ(Accepted(line).utcMs, c.utcMs)
        << c.datetime << " " << (c.reference ? c.reference : "-");
  }
}

TEST(ParseFrameTest, OptionalFieldsOfTheWrongTypeOrAbsurdCountAsMissing) {
  struct Case {
    std::string from, to;
  } cases[] = {
      {R"("vel_h": 7.10000)", R"("vel_h": "7.1")"},
      {R"("vel_h": 7.10000)", R"("vel_h": -3)"},
      {R"("heading": 241.30000)", R"("heading": null)"},
      {R"("heading": 241.30000)", R"("heading": 400)"},
      {R"("vel_v": -4.80000)", R"("vel_v": [1])"},
      {R"("vel_v": -4.80000)", R"("vel_v": 1e300)"},
      {R"("temp": 9.6)", R"("temp": {"c": 9.6})"},
      {R"("temp": 9.6)", R"("temp": -300)"},
      {R"("subtype": "0xA")", R"("subtype": 10)"},
      {R"("frame": 211)", R"("frame": 211.0)"},
      {R"("frame": 211)", R"("frame": "211")"},
      {R"("type": "DFM")", R"("type": true)"},
  };
  for (const auto& c : cases) {
    const Frame f = Accepted(Replace(kDfm, c.from, c.to));
    const Frame plain = Accepted(kDfm);
    const std::string field = c.from.substr(1, c.from.find('"', 1) - 1);
    EXPECT_EQ(f.velH.has_value(), field != "vel_h") << c.to;
    EXPECT_EQ(f.heading.has_value(), field != "heading") << c.to;
    EXPECT_EQ(f.velV.has_value(), field != "vel_v") << c.to;
    EXPECT_EQ(f.temp.has_value(), field != "temp") << c.to;
    EXPECT_EQ(f.frame.has_value(), field != "frame") << c.to;
    EXPECT_EQ(f.subtype, field == "subtype" ? "" : plain.subtype) << c.to;
    EXPECT_EQ(f.type, field == "type" ? "" : plain.type) << c.to;
    EXPECT_EQ(f.lat, plain.lat) << c.to;
  }
}

TEST(ParseFrameTest, IdsWithAPlaceholderAreIncompleteSerials) {
  struct Case {
    const char* id;
    bool incomplete;
  } const cases[] = {
      {"DFM-xxxxxxxx", true},    // dfm09mod until the serial is assembled
      {"DFMxx-xxxxxxxx", true},  // older dfm09mod
      {"C50-xxxx", true},       {"DFM-31xx77", true},  {"xx", true},
      {"DFM-314377", false},    {"S3210987", false},   {"M10-012-3-45678", false},
      {"0x1A2B", false},  // one "x" is no placeholder
      {"DFM-XXXXXXXX", false},  {"IMET-x1234", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsIncompleteSerial(c.id), c.incomplete) << c.id;
    const auto parsed = ParseFrame(Replace(kDfm, "DFM-123456", c.id));
    if (c.incomplete) {
      ASSERT_TRUE(std::holds_alternative<Skip>(parsed)) << c.id;
      EXPECT_EQ(std::get<Skip>(parsed).reason, SkipReason::kIncompleteSerial) << c.id;
      EXPECT_STREQ(std::get<Skip>(parsed).field, "id");
    } else {
      EXPECT_EQ(Accepted(Replace(kDfm, "DFM-123456", c.id)).id, c.id);
    }
  }
}

TEST(ParseFrameTest, TheAprsNameIsTakenOnlyAsNineLettersOrDigits) {
  struct Case {
    const char* value;  // the JSON value of "aprsid"
    const char* taken;
  } const cases[] = {
      {R"("ME8C60C1F")", "ME8C60C1F"},
      {R"("me8c60c1f")", "me8c60c1f"},
      {R"("ME8C60C1")", ""},
      {R"("ME8C60C1F0")", ""},
      {R"("ME8C60C1-")", ""},
      {R"("ME8C60 1F")", ""},
      {R"("ME8C60C\u00fc")", ""},
      {R"("ME8C60C\r\n")", ""},
      {R"(123456789)", ""},
      {R"(null)", ""},
  };
  for (const Case& c : cases) {
    const std::string line = Replace(kDfm, R"("sats": 8)", std::string(R"("aprsid": )") + c.value);
    EXPECT_EQ(Accepted(line).aprsid, c.taken) << c.value;
  }
  EXPECT_EQ(Accepted(kDfm).aprsid, "");
}

TEST(ParseFrameTest, WhatTheAltitudeIsMeasuredFrom) {
  struct Case {
    const char* fields;  // in place of "sats"
    HeightReference reference;
    std::optional<double> diff;
  } const cases[] = {
      {R"("ref_position": "GPS", "diff_GPS_MSL": 47.86)", HeightReference::kEllipsoid, 47.86},
      {R"("ref_position": "GPS")", HeightReference::kEllipsoid, std::nullopt},
      {R"("ref_position": "gps")", HeightReference::kEllipsoid, std::nullopt},
      {R"("ref_position": "MSL")", HeightReference::kSeaLevel, std::nullopt},
      {R"("ref_position": "WGS84")", HeightReference::kUnknown, std::nullopt},
      {R"("ref_position": 1)", HeightReference::kUnknown, std::nullopt},
      {R"("sats": 8)", HeightReference::kUnknown, std::nullopt},
      {R"("diff_GPS_MSL": -105.5)", HeightReference::kUnknown, -105.5},
      // A difference no geoid has, or not a number: none.
      {R"("ref_position": "GPS", "diff_GPS_MSL": 4786)", HeightReference::kEllipsoid, std::nullopt},
      {R"("ref_position": "GPS", "diff_GPS_MSL": "47.86")", HeightReference::kEllipsoid,
       std::nullopt},
  };
  for (const Case& c : cases) {
    const Frame f = Accepted(Replace(kDfm, R"("sats": 8)", c.fields));
    EXPECT_EQ(f.heightReference, c.reference) << c.fields;
    EXPECT_EQ(f.diffGpsMsl, c.diff) << c.fields;
    EXPECT_EQ(f.alt, 1520.5) << c.fields;  // the decoder's value; heights.h does the rest
  }
}

TEST(ParseFrameTest, OddButUsableFrames) {
  // Frame numbers beyond 32 bits keep their bits; integers stand for floats; duplicate keys
  // take the last value, as a JSON reader does; nested objects and arrays are passed over.
  EXPECT_EQ(Accepted(Replace(kDfm, "\"frame\": 211", "\"frame\": 18446744073709551615")).frame,
            UINT64_MAX);
  EXPECT_EQ(Accepted(Replace(kDfm, "\"frame\": 211", "\"frame\": -2")).frame,
            static_cast<std::uint64_t>(-2));
  EXPECT_EQ(Accepted(Replace(kDfm, "\"lat\": 51.23456", "\"lat\": 51")).lat, 51);
  EXPECT_EQ(Accepted(Replace(kDfm, "\"lat\": 51.23456", "\"lat\": 1, \"lat\": 2")).lat, 2);
  const Frame nested = Accepted(
      Replace(kDfm, "\"sats\": 8", "\"gps\": {\"lat\": 99, \"id\": 5, \"x\": [{\"alt\": []}]}"));
  EXPECT_EQ(nested.lat, 51.23456);
  EXPECT_EQ(nested.id, "DFM-123456");
  EXPECT_EQ(
      Accepted(R"({"id":"X","datetime":"2026-05-01T11:35:20Z","lat":-90,"lon":180,"alt":0})").lat,
      -90);
  // A byte order mark before the object (a file saved by an editor) is passed over.
  EXPECT_EQ(Accepted("\xEF\xBB\xBF" + kDfm).id, "DFM-123456");
  // Escapes are decoded; the texts are kept as they come.
  EXPECT_EQ(Accepted(Replace(kDfm, "\"DFM-123456\"", R"("D\u00fc\r\n\u0000")")).id,
            std::string("D\xC3\xBC\r\n\0", 6));
}

TEST(ParseFrameTest, EveryKindOfLineThatIsNotAFrame) {
  struct Case {
    std::string line;
    SkipReason reason;
    const char* field;
  } cases[] = {
      {"[  6127] (S3210987) 2026-05-01 11:35:38.001  lat: 47.86214", SkipReason::kNotJson, nullptr},
      {"rs41mod: found sonde", SkipReason::kNotJson, nullptr},
      {kRs41.substr(0, kRs41.size() / 2), SkipReason::kNotJson, nullptr},  // truncated
      {kRs41 + " }", SkipReason::kNotJson, nullptr},
      {kRs41 + kRs41, SkipReason::kNotJson, nullptr},
      {Replace(kDfm, "51.23456", "NaN"), SkipReason::kNotJson, nullptr},
      {Replace(kDfm, "51.23456", "Infinity"), SkipReason::kNotJson, nullptr},
      {Replace(kDfm, "\"lat\"", "lat"), SkipReason::kNotJson, nullptr},
      {Replace(kDfm, "DFM-123456", std::string("DFM\0", 4)), SkipReason::kNulByte, nullptr},
      {kDfm + std::string("\0\0 trailing", 11), SkipReason::kNulByte, nullptr},
      {Replace(kDfm, "DFM-123456", "DFM-\xFF"), SkipReason::kInvalidUtf8, nullptr},
      {Replace(kDfm, "DFM-123456", "DFM-\xC0\xAF"), SkipReason::kInvalidUtf8, nullptr},
      {"[" + kDfm + "]", SkipReason::kNotObject, nullptr},
      {"42", SkipReason::kNotObject, nullptr},
      {"\"S3210987\"", SkipReason::kNotObject, nullptr},
      {"null", SkipReason::kNotObject, nullptr},
      {Replace(kRs41, "\"encrypted\": false", "\"encrypted\": true"), SkipReason::kEncrypted,
       nullptr},
      {R"({ "type": "RS41", "id": "S1", "encrypted": true })", SkipReason::kEncrypted, nullptr},
      {"{}", SkipReason::kMissingField, "id"},
      {Replace(kDfm, "\"id\": \"DFM-123456\", ", ""), SkipReason::kMissingField, "id"},
      {Replace(kDfm, "\"DFM-123456\"", "\"\""), SkipReason::kMissingField, "id"},
      {Replace(kDfm, "\"datetime\": \"2026-05-01T11:35:20.000Z\", ", ""), SkipReason::kMissingField,
       "datetime"},
      {Replace(kDfm, "\"lat\": 51.23456, ", ""), SkipReason::kMissingField, "lat"},
      {Replace(kDfm, "\"lon\": 6.78901, ", ""), SkipReason::kMissingField, "lon"},
      {Replace(kDfm, "\"alt\": 1520.50000, ", ""), SkipReason::kMissingField, "alt"},
      {Replace(kDfm, "\"DFM-123456\"", "123456"), SkipReason::kWrongType, "id"},
      {Replace(kDfm, "\"2026-05-01T11:35:20.000Z\"", "1777635320"), SkipReason::kWrongType,
       "datetime"},
      {Replace(kDfm, "51.23456", "\"51.23456\""), SkipReason::kWrongType, "lat"},
      {Replace(kDfm, "6.78901", "null"), SkipReason::kWrongType, "lon"},
      {Replace(kDfm, "1520.50000", "[1520.5]"), SkipReason::kWrongType, "alt"},
      {Replace(kDfm, "1520.50000", "true"), SkipReason::kWrongType, "alt"},
      {Replace(kDfm, "51.23456", "1e999"), SkipReason::kAbsurd, "lat"},
      {Replace(kDfm, "6.78901", "-1e999"), SkipReason::kAbsurd, "lon"},
      {Replace(kDfm, "1520.50000", "1e999"), SkipReason::kAbsurd, "alt"},
      {Replace(kDfm, "1520.50000", "250000"), SkipReason::kAbsurd, "alt"},
      {Replace(kDfm, "\"sats\": 8", "\"snr\": 1e400"), SkipReason::kAbsurd, nullptr},
      {Replace(kDfm, "\"sats\": 8", "\"batt\": 1e400"), SkipReason::kAbsurd, "batt"},
      {Replace(kDfm, "\"sats\": 8", "\"x\": [1e400]"), SkipReason::kAbsurd, nullptr},
      {Replace(kDfm, "1520.50000", "-5000"), SkipReason::kAbsurd, "alt"},
      {Replace(kDfm, "2026-05-01T11:35:20.000Z", "2026-02-29T11:35:20.000Z"),
       SkipReason::kInvalidTime, "datetime"},
      {Replace(kDfm, "2026-05-01T11:35:20.000Z", "2026-05-01T24:00:00.000Z"),
       SkipReason::kInvalidTime, "datetime"},
      {Replace(kDfm, "2026-05-01T11:35:20.000Z", "2026-05-01T11:35:60.000Z"),
       SkipReason::kInvalidTime, "datetime"},
      {Replace(kDfm, "2026-05-01T11:35:20.000Z", "2026-05-01 11:35:20"), SkipReason::kInvalidTime,
       "datetime"},
      {Replace(kDfm, "2026-05-01T11:35:20.000Z", "11:35:20"), SkipReason::kInvalidTime, "datetime"},
      {Replace(kDfm, "2026-05-01T11:35:20.000Z", "2026-05-01T11:35:20.Z"), SkipReason::kInvalidTime,
       "datetime"},
      {Replace(kDfm, "2026-05-01T11:35:20.000Z", "2026-05-01T11:35:20.000+02:00"),
       SkipReason::kInvalidTime, "datetime"},
      {Replace(kDfm, "2026-05-01T11:35:20.000Z", "2026-05-01T11:35:20.000ZZ"),
       SkipReason::kInvalidTime, "datetime"},
      {Replace(kDfm, "2026-05-01T11:35:20.000Z", ""), SkipReason::kInvalidTime, "datetime"},
      {Replace(kDfm, "51.23456", "90.00001"), SkipReason::kOutOfRange, "lat"},
      {Replace(kDfm, "51.23456", "-91"), SkipReason::kOutOfRange, "lat"},
      {Replace(kDfm, "6.78901", "180.5"), SkipReason::kOutOfRange, "lon"},
      {Replace(kDfm, "6.78901", "-1e300"), SkipReason::kOutOfRange, "lon"},
      // Brackets nested 30 000 deep: read without recursion, so they cannot overflow the stack.
      {std::string(30000, '[') + std::string(30000, ']'), SkipReason::kNotObject, nullptr},
      {std::string(60000, '['), SkipReason::kNotJson, nullptr},
      {Replace(kDfm, "\"sats\": 8", "\"x\": " + std::string(30000, '[')), SkipReason::kNotJson,
       nullptr},
  };
  for (const auto& c : cases) {
    auto parsed = ParseFrame(c.line);
    const Skip* skip = std::get_if<Skip>(&parsed);
    ASSERT_NE(skip, nullptr) << c.line;
    EXPECT_EQ(skip->reason, c.reason) << c.line << "\n  gave " << SkipReasonText(skip->reason);
    EXPECT_STREQ(skip->field ? skip->field : "", c.field ? c.field : "") << c.line;
  }
}

// Numbers are the doubles strtod gives for them, also where a fast reader rounds wrongly: ties
// and near-ties of the last bit, subnormals, long mantissas.
TEST(ParseFrameTest, NumbersAreReadExactly) {
  for (const char* number :
       {"47.86214", "0.30000000000000004", "89.99999999999999", "-33.000000000000007105",
        "12.49918000000000000000000001", "4.9e-324", "2.2250738585072011e-308",
        "1.00000000000000011102230246251565404236316680908203125",
        "1.00000000000000011102230246251565404236316680908203126", "8.98846567431158e-15", "0e+50",
        "-0.0", "1e-400", "2e-324", "3e-324"}) {
    const Frame f = Accepted(Replace(kDfm, "51.23456", number));
    EXPECT_EQ(f.lat, std::strtod(number, nullptr)) << number;
  }
}

TEST(ParseFrameTest, EveryReasonHasAText) {
  for (int r = 0; r < kSkipReasonCount; ++r) {
    EXPECT_STRNE(SkipReasonText(static_cast<SkipReason>(r)), "unknown") << r;
  }
}

}  // namespace
}  // namespace bridge
