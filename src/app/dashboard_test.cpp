#include "app/dashboard.h"

#include <gtest/gtest.h>

#include "app/screen.h"
#include "app/terminal_view.h"
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
  s.timeMs = (std::int64_t{0xABC} << 32) | 5;
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
  first.timeMs = static_cast<std::int64_t>(0x7fffffff12345678);
  SondeSample second = ExampleSample();
  second.serial = "S1234";
  second.qrg = "403.003";
  second.timeMs = 4294967296;  // the upper half is 1
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

TEST(DashboardTest, ObjectModeRows) {
  EXPECT_EQ(ObjectModeRow(""), "APRS objects on. No object sent yet.");
  EXPECT_EQ(ObjectModeRow("ME8123456"), "APRS objects on. Last object sent: ME8123456");
  EXPECT_EQ(NoObjectNameRow("DFM-xxxxxxxx"), "No APRS object name for serial DFM-xxxxxxxx");
  EXPECT_EQ(NoObjectNameRow(""), "No APRS object name for serial ");
}

// A serial of any length and any bytes stays on row 21, masked: nothing runs on or scrolls.
TEST(DashboardTest, NoObjectNameRowStaysOnItsRow) {
  fake::FakeConsole console;
  Screen screen(console);
  const std::string row = NoObjectNameRow("\x1b[2J" + std::string(500, 'X'));
  EXPECT_EQ(row.size(), 79u);
  screen.ShowNoObjectName(row);
  EXPECT_EQ(console.transcript.find('\x1b'), std::string::npos);
  EXPECT_EQ(console.RowTrimmed(21), "No APRS object name for serial ?[2J" + std::string(44, 'X'));
  EXPECT_EQ(console.RowTrimmed(22), "");
}

}  // namespace
}  // namespace nimbrix

namespace nimbrix {
namespace {

std::vector<HeardSonde> Heard(std::initializer_list<std::pair<const char*, std::uint32_t>> list) {
  std::vector<HeardSonde> heard;
  for (const auto& [serial, ageMs] : list) {
    HeardSonde sonde;
    sonde.sample.serial = serial;
    sonde.ageMs = ageMs;
    heard.push_back(sonde);
  }
  return heard;
}

TEST(DashboardTest, AlsoHeardRowNamesTheOthers) {
  const std::string longSerial(90, 'X');
  struct Case {
    std::vector<HeardSonde> heard;
    std::string row;
  };
  const Case cases[] = {
      {Heard({{"S1234567", 0}}), ""},
      {{}, ""},
      {Heard({{"DFM-314377", 12400}, {"S1234567", 300}, {"S2410203", 3999}}),
       "Also heard: DFM-314377 12s, S2410203 3s"},
      {Heard({{"M10-123-4-56789", 0}}), "Also heard: M10-123-4-56789 0s"},
      {Heard({{"S\x1b[2J", 1000}}), "Also heard: S?[2J 1s"},
      {Heard({{longSerial.c_str(), 1000}, {"S2410203", 0}}), "Also heard: +2 more"},
      {Heard({{"DFM-00000001", 1000},
              {"DFM-00000002", 1000},
              {"DFM-00000003", 1000},
              {"DFM-00000004", 1000},
              {"DFM-00000005", 1000},
              {"DFM-00000006", 1000},
              {"DFM-00000007", 1000}}),
       "Also heard: DFM-00000001 1s, DFM-00000002 1s, DFM-00000003 1s, +4 more"},
  };
  for (const Case& c : cases) {
    const std::string row = AlsoHeardRow(c.heard, "S1234567");
    EXPECT_EQ(row, c.row);
    EXPECT_LE(row.size(), 79u) << row;
  }
}

TEST(DashboardTest, AlsoHeardOnRowTwentyThreeUntilTheDecoderIsGone) {
  fake::FakeConsole console;
  TerminalView view(console);
  SondeSample followed;
  followed.serial = "S1234567";
  view.Dashboard(followed, "N0CALL", LocalTime{}, 0);
  view.SondesHeard(Heard({{"S1234567", 0}, {"DFM-314377", 2000}}));
  EXPECT_EQ(view.screen().Row(23), "Also heard: DFM-314377 2s");
  // The followed sonde changes: the row names the other one.
  followed.serial = "DFM-314377";
  view.Dashboard(followed, "N0CALL", LocalTime{}, 0);
  EXPECT_EQ(view.screen().Row(23), "Also heard: S1234567 0s");
  view.DecoderLost();
  EXPECT_EQ(view.screen().Row(23), "");
}

}  // namespace
}  // namespace nimbrix
