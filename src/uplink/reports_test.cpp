#include "uplink/reports.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "uplink/gga_sentence.h"

namespace nimbrix {
namespace {

StationConfig FullConfig() {
  StationConfig c;
  c.sUSER = "N0CALL-11";
  c.sSYMBOL = "/O";
  c.nALTITUDE = 1;
  c.nID = 1;
  c.nFRAME = 1;
  c.nQRG = 1;
  return c;
}

SondeSample ExampleSample() {
  SondeSample s;
  s.timeText = "2026-12-08 12:34:56";
  s.latitude = -23.5505;
  s.longitude = -46.6333;
  s.altitude = 1234.56;
  s.course = 45;
  s.speedKnots = 10;
  s.climb = 5.3;
  s.pressure = 850.4;
  s.temperature = -3.2;
  s.humidity = 67;
  s.serial = "T1234567";
  s.frame = 2345;
  s.qrg = "403.001";
  return s;
}

TEST(ComposePositionReport, WorkedExample) {
  EXPECT_EQ(ComposePositionReport(FullConfig(), ExampleSample()),
            "N0CALL-11>APZQW0,TCPIP*:@123456h2333.03S/04638.00WO045/010/A=004050 Clb=5.3m/s "
            "P=850.4hPa T=-3.2oC U=67% ID=T1234567 FN=2345 403.001\r\n");
  StationConfig bare = FullConfig();
  bare.nALTITUDE = bare.nID = bare.nFRAME = bare.nQRG = 0;
  EXPECT_EQ(ComposePositionReport(bare, ExampleSample()),
            "N0CALL-11>APZQW0,TCPIP*:@123456h2333.03S/04638.00WO045/010 Clb=5.3m/s "
            "P=850.4hPa T=-3.2oC U=67%\r\n");
}

// The comment between " Clb=" and the end, for one changed input.
std::string Comment(const StationConfig& c, const SondeSample& s) {
  const std::string line = ComposePositionReport(c, s);
  return line.substr(line.find(" Clb="));
}

TEST(ComposePositionReport, OptionalPieces) {
  struct Case {
    const char* name;
    void (*change)(StationConfig&, SondeSample&);
    std::string comment;
  };
  const std::vector<Case> cases = {
      {"climb .4", [](StationConfig&, SondeSample& s) { s.climb = 0.4; },
       " Clb=.4m/s P=850.4hPa T=-3.2oC U=67%\r\n"},
      {"climb -.4", [](StationConfig&, SondeSample& s) { s.climb = -0.4; },
       " Clb=-.4m/s P=850.4hPa T=-3.2oC U=67%\r\n"},
      {"climb 0", [](StationConfig&, SondeSample& s) { s.climb = 0; },
       " Clb=0m/s P=850.4hPa T=-3.2oC U=67%\r\n"},
      {"id only, empty serial", [](StationConfig& c, SondeSample& s) { c.nID = 1, s.serial = ""; },
       " Clb=5.3m/s P=850.4hPa T=-3.2oC U=67% ID=\r\n"},
      {"id 2 is off", [](StationConfig& c, SondeSample&) { c.nID = 2; },
       " Clb=5.3m/s P=850.4hPa T=-3.2oC U=67%\r\n"},
      {"frame only", [](StationConfig& c, SondeSample& s) { c.nFRAME = 1, s.frame = -32768; },
       " Clb=5.3m/s P=850.4hPa T=-3.2oC U=67% FN=-32768\r\n"},
      {"DFM frame", [](StationConfig& c, SondeSample& s) { c.nFRAME = 1, s.frame = 1110632994; },
       " Clb=5.3m/s P=850.4hPa T=-3.2oC U=67% FN=1110632994\r\n"},
      {"frame past 7 digits",
       [](StationConfig& c, SondeSample& s) { c.nFRAME = 1, s.frame = -2147483647 - 1; },
       " Clb=5.3m/s P=850.4hPa T=-3.2oC U=67% FN=-2147483648\r\n"},
      {"qrg only", [](StationConfig& c, SondeSample&) { c.nQRG = 1; },
       " Clb=5.3m/s P=850.4hPa T=-3.2oC U=67% 403.001\r\n"},
  };
  for (const Case& c : cases) {
    StationConfig config = FullConfig();
    config.nALTITUDE = config.nID = config.nFRAME = config.nQRG = 0;
    SondeSample sample = ExampleSample();
    c.change(config, sample);
    EXPECT_EQ(Comment(config, sample), c.comment) << c.name;
  }
}

TEST(ComposePositionReport, PositionPieces) {
  StationConfig config = FullConfig();
  config.sSYMBOL = "\\k";
  SondeSample s = ExampleSample();
  s.timeText = "2026-12-08 07:0";  // shorter than 19: a shorter time piece
  s.course = 359.5;                // rounds to even: 360
  s.speedKnots = 0;
  s.altitude = 30480.1525524;  // 100000.5005 ft with 0.3048, 100000.4993 ft with the float
  const std::string prefix = "N0CALL-11>APZQW0,TCPIP*:@070h2333.03S\\04638.00Wk360/000/A=100000 ";
  EXPECT_EQ(ComposePositionReport(config, s).substr(0, prefix.size()), prefix);
  s.timeText = "12:34:56";  // too short for a time piece
  EXPECT_EQ(ComposePositionReport(config, s).substr(24, 3), "@h2");
}

TEST(ComposePositionReport, HostileTextsGiveOneLine) {
  StationConfig config = FullConfig();
  config.sUSER = "N0CALL\r\nEVIL";
  config.sSYMBOL = "/O\r";
  SondeSample s = ExampleSample();
  s.timeText = "2026-12-08 12:\r\n34:56";
  s.serial = "T1\r\nX>Y:inject\x1b[2J";
  s.qrg = "403\n\x7f";
  const std::string line = ComposePositionReport(config, s);
  EXPECT_EQ(line,
            "N0CALLEVIL>APZQW0,TCPIP*:@1234h2333.03S/04638.00WO045/010/A=004050 Clb=5.3m/s "
            "P=850.4hPa T=-3.2oC U=67% ID=T1X>Y:inject[2J FN=2345 403\r\n");
}

TEST(ComposeStatusReport, OneLine) {
  StationConfig config = FullConfig();
  config.sSTATUS = "Balloon launch 12z";
  EXPECT_EQ(ComposeStatusReport(config), "N0CALL-11>APZQW0,TCPIP*:>Balloon launch 12z\r\n");
  config.sSTATUS = "hi\r\nN0CALL>APZQW0:evil\x1b";
  EXPECT_EQ(ComposeStatusReport(config), "N0CALL-11>APZQW0,TCPIP*:>hiN0CALL>APZQW0:evil\r\n");
}

TEST(UpdateValidFlags, Bits) {
  ReportState state;
  state.ValidFlags = 0x80 | 0x07;
  SondeSample s;
  s.timeText = "2026-12-08 00:00:01";
  UpdateValidFlags(state, s);  // first cycle: compared with itself
  EXPECT_EQ(state.ValidFlags, 0x80);
  struct Case {
    double lat, lon, alt;
    const char* time;  // characters 12..19 of the time text: new data when they change
    int bits;
  };
  const std::vector<Case> cases =
      {
          {1, 1, 1, "00:00:02", 0x07},      {0, 1, 1, "00:00:03", 0x06},
          {1, 0, 1, "00:00:04", 0x06},      {-1, -1, 0, "00:00:05", 0x05},
          {-1, -1, 0, "00:00:05", 0x01},     // nothing new: the same sentence
          {-1, -1, 0.01, "00:00:05", 0x07},  // a new altitude is new data too
          {1, 1, 5, "00:00:06", 0x07},
      };
  for (const Case& c : cases) {
    s.latitude = c.lat;
    s.longitude = c.lon;
    s.altitude = c.alt;
    s.timeText = std::string("2026-12-08 ") + c.time;
    UpdateValidFlags(state, s);
    EXPECT_EQ(state.ValidFlags, 0x80 | c.bits) << c.time << " " << c.alt;
  }
  EXPECT_EQ(state.PreviousSentence, GgaSentence(s));
}

TEST(MarkReportDue, Rules) {
  struct Case {
    double altitude;
    int cycles, second;
    bool due;
  };
  const std::vector<Case> cases = {
      {5000, 59, 0, false},    {5000, 60, 3, true},     {1999.99, 2, 14, true},
      {1999.99, 2, 15, false}, {1999.99, 6, 15, false}, {1999.99, 7, 15, true},
      {2000, 7, 14, false},    {2000, 60, 1, true},     {-5, 0, 56, true},
      {0, 0, 57, false},
  };
  for (const Case& c : cases) {
    ReportState state;
    state.CyclesSinceReport = c.cycles;
    SondeSample s;
    s.altitude = c.altitude;
    MarkReportDue(state, s, c.second);
    EXPECT_EQ(state.ValidFlags, c.due ? 0x80 : 0)
        << c.altitude << " " << c.cycles << " " << c.second;
  }
}

}  // namespace
}  // namespace nimbrix
