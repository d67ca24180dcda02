#include "app/dashboard.h"

#include <gtest/gtest.h>

#include "app/screen.h"
#include "platform/fake/fakes.h"
#include "version/version.h"

namespace nimbrix {
namespace {

// The rows as the station draws them.
void DrawDashboard(Console& console, const SondeSample& sample, const std::string& user) {
  Screen(console).ShowDashboard(DashboardRows(sample, user));
}
void DrawStatusLines(Console& console, const LocalTime& now, std::int32_t cycles) {
  Screen(console).ShowStatusLines(LocalTimeRow(now), LastValidDataRow(cycles));
}

SondeSample ExampleSample() {
  SondeSample s;
  s.serial = "T1234567";
  s.timeText = "2026-12-08 20:41:05";
  s.qrg = "403.001";
  s.frame = 2345;
  s.latitude = -23.55;
  s.longitude = -46.633333;
  s.altitude = 1234.56;
  s.climb = 5.3;
  s.course = 45;
  s.speedKmh = 18.04;
  s.pressure = 850.4;
  s.temperature = -3.2;
  s.humidity = 67;
  s.item14 = (std::int64_t{0xABC} << 32) | 5;
  return s;
}

TEST(DashboardTest, RowsOfTheExampleSample) {
  fake::FakeConsole console;
  DrawDashboard(console, ExampleSample(), "N0CALL-11");
  const std::string box = "+" + std::string(77, '-') + "+";
  const std::vector<std::pair<int, std::string>> expected = {
      {1, std::string(46, '-') + (std::string("") + kVersionText + "-+")},
      {2, "+-=> This program sends radiosonde data to APRS network under N0CALL-11 id <=-+"},
      {3, box},
      {4, ""},
      {5, "                        -=> Data from SondeMonitor <=-"},
      {6, ""},
      {7, " 2026-12-08 20:41:05 | Frame=    2345 | Serial#: T1234567 | QRG: 403.001"},
      {8, box},
      {9, "      Latitude=-23.55000 2333.0000,S | Longitude= -46.63333 04638.0000,W"},
      {10, "   Altitude=  1235m | Climb=  5.3m/s | Course= 045o  | Speed= 18.0km/h"},
      {11, box},
      {12, "      Pressure= 850.4mB        Temperature= -3.2oC        Humidity= 67%"},
      {13, box},
      {14, " 11802570129413 ABC"},
      {15, box},
      {16, ""},
  };
  for (const auto& [row, text] : expected)
    EXPECT_EQ(console.RowTrimmed(row), text) << "row " << row;
  EXPECT_EQ(console.Row(1).size(), 80u);
  EXPECT_EQ(console.cursorRow(), 17);
  EXPECT_EQ(console.cursorCol(), 1);
  // Row 10 ends with a blank after "km/h".
  EXPECT_NE(console.transcript.find("Speed= 18.0km/h \n"), std::string::npos);
}

TEST(DashboardTest, BannerBlanksFollowTheCallsignLength) {
  struct Case {
    std::string user;
    std::string ending;
    std::size_t length;
  };
  const std::vector<Case> cases = {
      {"N0CALL-11", "under N0CALL-11 id <=-+", 79}, {"N0CAL", "under N0CAL id     <=-+", 79},
      {"N0CALL-1", "under N0CALL-1 id  <=-+", 79},  {"N0CALLS-11", "under N0CALLS-11 id <=-+", 80},
      {"", "under  id          <=-+", 79},
  };
  for (const auto& c : cases) {
    const std::string row = DashboardRows(SondeSample{}, c.user)[1];
    EXPECT_EQ(row.size(), c.length) << c.user;
    EXPECT_EQ(row.substr(row.size() - c.ending.size()), c.ending) << c.user;
  }
}

TEST(DashboardTest, FrameNumbersShowEveryDigit) {
  const struct {
    std::int32_t frame;
    const char* field;
  } cases[] = {{2345, "    2345"},
               {-32768, "  -32768"},
               {40000, "   40000"},
               {1110632994, "1110632994"},
               {-2147483647 - 1, "-2147483648"}};
  for (const auto& c : cases) {
    SondeSample s = ExampleSample();
    s.frame = c.frame;
    EXPECT_EQ(DashboardRows(s, "N0CALL")[4], std::string(" 2026-12-08 20:41:05 | Frame=") +
                                                 c.field + " | Serial#: T1234567 | QRG: 403.001")
        << c.frame;
  }
}

TEST(DashboardTest, DecoderGoneShowsZerosAndEmptyTexts) {
  SondeSample s;
  s.course = 180;
  const auto rows = DashboardRows(s, "N0CALL");
  EXPECT_EQ(rows[4], "  | Frame=       0 | Serial#:  | QRG: ");
  EXPECT_EQ(rows[6], "      Latitude=  0.00000 0000.0000,N | Longitude=   0.00000 00000.0000,E");
  EXPECT_EQ(rows[7], "   Altitude=     0m | Climb=  0. m/s | Course= 180o  | Speed=  0.0km/h ");
  EXPECT_EQ(rows[9], "      Pressure=   0.0mB        Temperature=  0.0oC        Humidity=  0%");
  EXPECT_EQ(rows[11], " 0 0");
}

TEST(DashboardTest, HostileDecoderTextsCannotControlTheTerminal) {
  SondeSample s = ExampleSample();
  s.serial = "\x1b[2J\x1b]0;owned\x07";
  s.qrg = "403\r\n.001";
  s.timeText = std::string("\x9b\x7f", 2);
  fake::FakeConsole console;
  DrawDashboard(console, s, "N0CALL\x1b");
  for (unsigned char c : console.transcript) {
    if (c == '\n') continue;
    EXPECT_FALSE(c < 32 || c == 127) << int(c);
  }
  EXPECT_NE(console.transcript.find("Serial#: ?[2J?]0;owned? | QRG: 403??.001"), std::string::npos);
}

TEST(DashboardTest, LongDecoderTextsRunOnIntoTheNextRowWhoseOwnTextOverwritesThem) {
  SondeSample s = ExampleSample();
  s.serial = std::string(90, 'X');
  fake::FakeConsole console;
  DrawDashboard(console, s, "N0CALL");
  const std::size_t before =
      std::string(" 2026-12-08 20:41:05 | Frame=    2345 | Serial#: ").size();
  EXPECT_EQ(console.Row(7).substr(before), std::string(80 - before, 'X'));
  // Row 8 starts at its own place: the box line, and nothing of the run-on text after it.
  EXPECT_EQ(console.RowTrimmed(8), "+" + std::string(77, '-') + "+");
  EXPECT_EQ(console.RowTrimmed(9).substr(0, 15), "      Latitude=");
  EXPECT_EQ(console.RowTrimmed(16), "");
  EXPECT_EQ(console.cursorRow(), 17);
}

// What a shorter text of a later cycle leaves on the screen: only its own characters.
TEST(DashboardTest, ShorterTextsOfALaterCycleLeaveNothingOfTheEarlierOnes) {
  fake::FakeConsole console;
  const std::string box = "+" + std::string(77, '-') + "+";
  SondeSample first = ExampleSample();
  first.serial = "S1234567";
  first.qrg = "401.001";
  first.item14 = static_cast<std::int64_t>(0x7fffffff12345678);
  SondeSample second = ExampleSample();
  second.serial = "S1234";
  second.qrg = "403.003";
  second.item14 = 4294967296;  // the upper half is 1
  SondeSample third = ExampleSample();
  third.timeText = std::string(200, 'T');  // runs on over rows 8 and 9
  for (const SondeSample& s : {first, second, third, second}) {
    DrawDashboard(console, s, "N0CALL-11");
    DrawStatusLines(console, LocalTime{2026, 12, 8, 7, 5, 9, 0}, 12345);
    DrawStatusLines(console, LocalTime{2026, 12, 8, 7, 5, 10, 0}, 0);
  }
  EXPECT_EQ(console.RowTrimmed(7),
            " 2026-12-08 20:41:05 | Frame=    2345 | Serial#: S1234 | QRG: 403.003");
  EXPECT_EQ(console.RowTrimmed(8), box);
  EXPECT_EQ(console.RowTrimmed(9),
            "      Latitude=-23.55000 2333.0000,S | Longitude= -46.63333 04638.0000,W");
  EXPECT_EQ(console.RowTrimmed(14), " 4294967296 1");
  for (int row : {4, 6, 16, 17, 20}) EXPECT_EQ(console.RowTrimmed(row), "") << "row " << row;
  EXPECT_EQ(console.RowTrimmed(19), "Last valid data:  0 s ago...");
}

TEST(DashboardTest, ARowThatFillsTheWidthKeepsItsLastCharacter) {
  fake::FakeConsole console;
  console.MoveTo(2, 1);
  console.Write(std::string(80, '#'));  // an earlier cycle's row 2
  DrawDashboard(console, SondeSample{}, "N0CALLS-11");
  EXPECT_EQ(console.Row(2),
            "+-=> This program sends radiosonde data to APRS network under N0CALLS-11 id <=-+");
  EXPECT_EQ(console.RowTrimmed(3), "+" + std::string(77, '-') + "+");
}

TEST(DashboardTest, StatusLinesShowTheClockAndTheCount) {
  fake::FakeConsole console;
  DrawStatusLines(console, LocalTime{2026, 12, 8, 7, 5, 9, 0}, 0);
  EXPECT_EQ(console.RowTrimmed(18), "Local Time: 07:05:09");
  EXPECT_EQ(console.RowTrimmed(19), "Last valid data:  0 s ago...");
  DrawStatusLines(console, LocalTime{2026, 12, 8, 23, 59, 59, 0}, 61);
  EXPECT_EQ(console.RowTrimmed(18), "Local Time: 23:59:59");
  EXPECT_EQ(console.RowTrimmed(19), "Last valid data:  61 s ago...");
  EXPECT_EQ(console.cursorRow(), 20);
}

}  // namespace
}  // namespace nimbrix
