#include "script.h"

#include <gtest/gtest.h>

#include "replay.h"

namespace sondesim {
namespace {

using Value = decltype(Answer::value);

TEST(ScriptTest, LinesGiveTypedAnswers) {
  struct Case {
    const char* line;
    std::uint16_t vt;
    const char* dbusType;
    Value value;
  } cases[] = {
      {"1 R8 48.123456", VT_R8, "d", 48.123456},
      {"1 vt_r8 -1e3", VT_R8, "d", -1000.0},
      {"1 R4 0x1p-2", VT_R4, "d", 0.25},
      {"0 BSTR ME123", VT_BSTR, "s", std::string("ME123")},
      {"0 BSTR two  blanks ", VT_BSTR, "s", std::string("two  blanks ")},
      {"0 BSTR", VT_BSTR, "s", std::string()},
      {"13 I2 -32768", VT_I2, "n", std::int64_t{-32768}},
      {"13 I4 0x7fffffff", VT_I4, "i", std::int64_t{2147483647}},
      {"14 I8 -9223372036854775808", VT_I8, "x", std::int64_t{INT64_MIN}},
      {"14 UI8 18446744073709551615", VT_UI8, "t", std::uint64_t{UINT64_MAX}},
      {"3 UI1 255", VT_UI1, "y", std::uint64_t{255}},
      {"3 CY 123456", VT_CY, "x", std::int64_t{123456}},
      {"3 BOOL true", VT_BOOL, "b", true},
      {"3 11 0", VT_BOOL, "b", false},
      {"3 EMPTY", VT_EMPTY, "ay", std::string()},
      {"3 NULL", VT_NULL, "ay", std::string()},
      {"1 R8:s 12.5", VT_R8, "s", std::string("12.5")},  // the wrong type on purpose
      {"6 BSTR:d 7", VT_BSTR, "d", 7.0},
      {"6 9:i 5", 9, "i", std::int64_t{5}},
      {"6 EMPTY:ay \\x00\\xff", VT_EMPTY, "ay", std::string("\0\xff", 2)},
  };
  for (const auto& c : cases) {
    Script s;
    std::string error;
    ASSERT_TRUE(ParseScript(c.line, s, error)) << c.line << ": " << error;
    ASSERT_EQ(s.items.size(), 1u) << c.line;
    const Answer& a = s.items.begin()->second;
    EXPECT_EQ(a.kind, Answer::Kind::kValue) << c.line;
    EXPECT_EQ(a.vt, c.vt) << c.line;
    EXPECT_EQ(a.dbusType, c.dbusType) << c.line;
    EXPECT_EQ(a.value, c.value) << c.line;
  }
}

// Signed integers are read as a magnitude and a sign, so that the most negative value of each
// width is taken although its magnitude does not fit the width. The edges: the extremes of each
// width and one beyond, in decimal and hex, magnitudes around 2^63 and 2^64, and what is no number.
TEST(ScriptTest, SignedIntegersAtTheEdgesOfEachWidth) {
  struct Case {
    const char* type;
    const char* text;
    bool taken;
    std::int64_t value;
  } cases[] = {
      {"I2", "32767", true, 32767},
      {"I2", "-32768", true, -32768},
      {"I2", "32768", false, 0},
      {"I2", "-32769", false, 0},
      {"I2", "0x7FFF", true, 32767},
      {"I2", "-0x8000", true, -32768},
      {"I2", "0x8000", false, 0},
      {"I2", "-0x8001", false, 0},
      {"I2", "0xffff", false, 0},
      {"I4", "2147483647", true, 2147483647},
      {"I4", "-2147483648", true, INT32_MIN},
      {"I4", "2147483648", false, 0},
      {"I4", "-2147483649", false, 0},
      {"I4", "-0x80000000", true, INT32_MIN},
      {"I4", "0x80000000", false, 0},
      {"I4", "0XfFfFfFf", true, 0xfffffff},
      {"I8", "9223372036854775807", true, INT64_MAX},
      {"I8", "-9223372036854775808", true, INT64_MIN},
      {"I8", "9223372036854775808", false, 0},
      {"I8", "-9223372036854775809", false, 0},
      {"I8", "0x7fffffffffffffff", true, INT64_MAX},
      {"I8", "-0x8000000000000000", true, INT64_MIN},
      {"I8", "0x8000000000000000", false, 0},
      {"I8", "-0xffffffffffffffff", false, 0},
      {"I8", "18446744073709551615", false, 0},   // 2^64 - 1
      {"I8", "18446744073709551616", false, 0},   // 2^64
      {"I8", "-18446744073709551616", false, 0},  // -2^64
      {"I8", "18446744073709551617", false, 0},   // 2^64 + 1
      {"I8", "0x10000000000000000", false, 0},
      {"I8", "-0x10000000000000001", false, 0},
      {"I8", "184467440737095516160", false, 0},  // 10 * 2^64
      {"I8", "999999999999999999999999999999", false, 0},
      {"I8", "0000000000000000000000000000000000000001", true, 1},
      {"I8", "-00000000000000000000000009223372036854775808", true, INT64_MIN},
      {"I8", "-0", true, 0},
      {"I8", "0x0", true, 0},
      {"I8", "-0x0", true, 0},
      {"I8", "", false, 0},
      {"I8", "-", false, 0},
      {"I8", "--5", false, 0},
      {"I8", "+5", false, 0},
      {"I8", " 5", false, 0},
      {"I8", "5 ", false, 0},
      {"I8", "0x", false, 0},
      {"I8", "-0x", false, 0},
      {"I8", "0x-5", false, 0},
      {"I8", "0xg", false, 0},
      {"I8", "12a", false, 0},
      {"I8", "1e3", false, 0},
      {"CY", "-9223372036854775808", true, INT64_MIN},
      {"CY", "9223372036854775808", false, 0},
  };
  for (const auto& c : cases) {
    const std::string line = std::string("3 ") + c.type + " " + c.text;
    Script s;
    std::string error;
    ASSERT_EQ(ParseScript(line, s, error), c.taken) << line << ": " << error;
    if (c.taken) {
      EXPECT_EQ(s.items[3].value, Value(c.value)) << line;
    }
  }
}

TEST(ScriptTest, ItemNumbersAreSixteenBitsWithASign) {
  struct Case {
    const char* item;
    bool taken;
  } cases[] = {
      {"32767", true},  {"-32768", true},  {"0x7fff", true},  {"-0x8000", true},
      {"32768", false}, {"-32769", false}, {"0x8000", false}, {"65535", false},
  };
  for (const auto& c : cases) {
    const std::string line = std::string(c.item) + " R8 1";
    Script s;
    std::string error;
    EXPECT_EQ(ParseScript(line, s, error), c.taken) << line << ": " << error;
  }
}

TEST(ScriptTest, ErrorsNoRepliesCommentsAndOverrides) {
  Script s;
  std::string error;
  ASSERT_TRUE(
      ParseScript("# items\r\n\r\n  \n"
                  "2 error SondeMonitor.Document.Error.Busy try \\x41gain\r\n"
                  "4 noreply\n"
                  "-1 R8 1\n"
                  "5 R8 1\n"
                  "5 R8 2",
                  s, error))
      << error;
  EXPECT_EQ(s.items.size(), 4u);
  EXPECT_EQ(s.items[2].kind, Answer::Kind::kError);
  EXPECT_EQ(s.items[2].errorName, "SondeMonitor.Document.Error.Busy");
  EXPECT_EQ(s.items[2].errorText, "try Again");
  EXPECT_EQ(s.items[4].kind, Answer::Kind::kNoReply);
  EXPECT_TRUE(s.items.count(-1));
  EXPECT_EQ(s.items[5].value, Value(2.0));
}

TEST(ScriptTest, FaultsNameTheLine) {
  struct Case {
    const char* text;
    const char* error;
  } cases[] = {
      {"1 R8 abc", "line 1: not a number"},
      {"# c\n40000 R8 1", "line 2: item \"40000\""},
      {"1 VT_FOO 1", "line 1: \"FOO\" is not a VARTYPE"},
      {"1 9 5", "line 1: VARTYPE 9 has no D-Bus type"},
      {"1 R8:v 5", "line 1: \"v\" is not a D-Bus type"},
      {"1 I2 40000", "line 1: not an integer"},
      {"1 UI1 -1", "line 1: not an integer"},
      {"1 I4 12x", "line 1: not an integer"},
      {"1 BOOL yes", "line 1: not a boolean"},
      {"1 error NoDots", "line 1: \"NoDots\" is not a D-Bus error name"},
      {"1 BSTR a\\q", "line 1: unknown escape \\q"},
      {"1 BSTR \\x4", "line 1: \\x needs two hex digits"},
      {"1 BSTR a\\", "line 1: a backslash ends the text"},
      {"1 BSTR AAAA*20000000", "line 1: text longer than 16 MiB"},
  };
  for (const auto& c : cases) {
    Script s;
    s.items[7] = Answer::Real(1);
    std::string error;
    EXPECT_FALSE(ParseScript(c.text, s, error)) << c.text;
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.text << " gave " << error;
    EXPECT_EQ(s.items.size(), 1u) << "a failed parse keeps the old script";
  }
}

TEST(UnescapeTextTest, EscapesAndRepeat) {
  struct Case {
    const char* in;
    std::string out;
  } cases[] = {
      {"a\\r\\n\\e[2J\\t\\\\", "a\r\n\x1b[2J\t\\"},
      {"\\x41\\x7f\\x00", std::string("A\x7f\0", 3)},
      {"ab*3", "ababab"},
      {"\\r\\n*2", "\r\n\r\n"},
      {"x*0", ""},
      {"a*b", "a*b"},
      {"\\*3", "*3"},
      {"2*3*2", "2*32*3"},
      {"*", "*"},
  };
  for (const auto& c : cases) {
    std::string out, error;
    EXPECT_TRUE(UnescapeText(c.in, out, error)) << c.in;
    EXPECT_EQ(out, c.out) << c.in;
  }
  std::string out, error;
  ASSERT_TRUE(UnescapeText("A*100000", out, error));
  EXPECT_EQ(out, std::string(100000, 'A'));
}

TEST(FlightLogTest, RoundTripsAndAcceptsAnyColumnOrder) {
  Telemetry t;
  t.serial = "S1";
  t.lat = 48.123456;
  t.lon = -71.987654;
  t.alt = 1234.5;
  t.course = 271.5;
  t.speedMs = 7.25;
  t.unixSeconds = 1714561200;
  t.qrg = "403.001";
  t.pressureHpa = 870.5;
  t.temperatureC = -3.25;
  t.humidity = 55.5;
  t.climbMs = 5.01;
  t.frame = 42;
  std::vector<Telemetry> rows;
  std::string error;
  ASSERT_TRUE(ParseFlightLog(FormatFlightLog({t, t}), "RS92", rows, error)) << error;
  ASSERT_EQ(rows.size(), 2u);
  const Telemetry& r = rows[1];
  EXPECT_EQ(r.serial, "S1");
  EXPECT_EQ(r.type, "RS92");
  EXPECT_EQ(r.unixSeconds, t.unixSeconds);
  EXPECT_DOUBLE_EQ(r.lat, 48.123456);
  EXPECT_DOUBLE_EQ(r.lon, -71.987654);
  EXPECT_DOUBLE_EQ(r.temperatureC, -3.25);
  EXPECT_EQ(r.frame, 42);

  ASSERT_TRUE(ParseFlightLog(
      "# reordered\nqrg,frame,climb,humidity,temperature,pressure,speed,course,alt,lon,lat,serial,"
      "time\r\n405.1,7,1,2,3,4,5,6,7,8,9,X,2024-05-01 10:00:00\r\n",
      "RS41", rows, error))
      << error;
  EXPECT_EQ(rows[0].qrg, "405.1");
  EXPECT_DOUBLE_EQ(rows[0].lat, 9);
}

TEST(FlightLogTest, FaultsNameTheLine) {
  const std::string header = std::string(kFlightLogHeader) + "\n";
  struct Case {
    std::string text;
    const char* error;
  } cases[] = {
      {"", "no rows"},
      {header, "no rows"},
      {"time,serial\n", "line 1: the header has no column \"lat\""},
      {header + "2024-05-01 10:00:00,S,1,2\n", "line 2: 4 fields"},
      {header + "2024-05-01,S,1,2,3,4,5,6,7,8,9,10,q\n", "line 2: time"},
      {header + "2024-05-01 10:00:00,S,1,x,3,4,5,6,7,8,9,10,q\n", "line 2: lon"},
      {header + "2024-05-01 10:00:00,S,1,2,3,4,5,6,7,8,9,1.5,q\n", "line 2: frame"},
  };
  for (const auto& c : cases) {
    std::vector<Telemetry> rows;
    std::string error;
    EXPECT_FALSE(ParseFlightLog(c.text, "RS41", rows, error)) << c.text;
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.text << " gave " << error;
  }
}

}  // namespace
}  // namespace sondesim
