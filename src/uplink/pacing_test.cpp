// The report pacing as the main cycle drives it, on the virtual clock.
#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "platform/fake/fakes.h"
#include "uplink/reports.h"

namespace nimbrix {
namespace {

// The report steps of the main cycle on a station with a sonde, on the virtual clock: the plan
// of each cycle is carried out as the station does (pauses, then the lines).
struct Station {
  explicit Station(LocalTime start) : clock(start) {
    config.sUSER = "N0CALL";
    config.sSYMBOL = "/O";
    sample.latitude = 48.1;
    sample.longitude = 11.5;
    sample.altitude = 5000;
  }

  // One cycle; new data unless the decoder is stalled.
  void Cycle(bool newData = true) {
    if (newData) {
      char time[16];
      std::snprintf(time, sizeof time, "%08d", cycle);  // characters 12..19 of the time text
      sample.timeText = std::string("2026-12-08 ") + time;
    }
    UpdateValidFlags(state, sample);
    const LocalTime first = clock.Now();
    MarkReportDue(state, config, sample, first.second);
    const ReportPlan plan = PlanReports(state, config, sample, clock.Now().minute);
    for (int i = 0; i < plan.makeUpPauses; ++i) clock.SleepMs(kMakeUpPauseMs);
    if (!plan.positionLine.empty()) {
      reports.push_back(cycle);
      makeUpPauses.push_back(plan.makeUpPauses);
      lines.push_back(plan.positionLine);
    }
    if (plan.serialWithoutName) unnamed.push_back(cycle);
    if (!plan.statusLine.empty()) {
      statusMinutes.push_back(first.minute);
      statusLines.push_back(plan.statusLine);
    }
    clock.SleepMs(950);
    EndCycle(state);
    if (!keys.empty()) {
      const std::string key = keys.front();
      keys.pop_front();
      if (key == "s" || key == "S") state.ValidFlags |= kFlagReportDue;
    }
    ++cycle;
  }
  void Run(int cycles) {
    for (int i = 0; i < cycles; ++i) Cycle();
  }

  fake::FakeClock clock;
  std::deque<std::string> keys;  // one read at the end of each cycle
  StationConfig config;
  SondeSample sample;
  ReportState state;
  int cycle = 0;
  std::vector<int> reports;        // cycles that sent a position report
  std::vector<int> makeUpPauses;   // 1000 ms pauses before each of them
  std::vector<std::string> lines;  // the lines of those reports
  std::vector<int> unnamed;        // cycles that told of a sonde without an object name
  std::vector<int> statusMinutes;  // clock minute of each status report
  std::vector<std::string> statusLines;
};

const LocalTime kAt20_41_05{2026, 12, 8, 20, 41, 5, 0};

TEST(Pacing, HighAltitudeSixtyCyclesApart) {
  for (double altitude : {5000.0, 2000.0}) {  // exactly 2000 is not low
    Station s(kAt20_41_05);
    s.sample.altitude = altitude;
    s.Run(181);
    EXPECT_EQ(s.reports, (std::vector<int>{60, 120, 180})) << altitude;
    EXPECT_EQ(s.makeUpPauses, (std::vector<int>{0, 0, 0}));
  }
}

TEST(Pacing, FirstCycleNeverSends) {
  Station s(LocalTime{2026, 12, 8, 20, 41, 7, 0});  // second 7: due at once below 2000 m
  s.sample.altitude = 100;
  s.Cycle();
  EXPECT_TRUE(s.reports.empty());
  EXPECT_EQ(s.state.ValidFlags, kFlagReportDue | kFlagPosition | kFlagAltitude);
  s.Cycle();
  EXPECT_EQ(s.reports, std::vector<int>{1});
  EXPECT_EQ(s.makeUpPauses, std::vector<int>{5});  // at most five
}

TEST(Pacing, LowAltitudeKeepsSixToSevenCyclesOfSpacing) {
  Station s(kAt20_41_05);
  s.sample.altitude = 1999;
  s.Run(300);
  ASSERT_GT(s.reports.size(), 30u);
  for (std::size_t i = 1; i < s.reports.size(); ++i) {
    const int gap = s.reports[i] - s.reports[i - 1];
    EXPECT_LE(gap, 7);  // more than 6 cycles always makes one due
    EXPECT_EQ(s.makeUpPauses[i], gap < 6 ? 6 - gap : 0) << "report " << i;
  }
}

TEST(Pacing, MakeUpPausesBeforeTheReport) {
  // Second 14, two cycles since the last report: four pauses, then the line.
  Station s(LocalTime{2026, 12, 8, 20, 41, 14, 0});
  s.sample.altitude = 1500;
  s.state.ValidFlags = kFlagPosition | kFlagAltitude | kFlagNewSentence;
  s.state.CyclesSinceReport = 2;
  MarkReportDue(s.state, s.config, s.sample, s.clock.Now().second);
  const ReportPlan plan = PlanReports(s.state, s.config, s.sample, s.clock.Now().minute);
  EXPECT_EQ(plan.makeUpPauses, 4);
  EXPECT_EQ(plan.positionLine, ComposePositionReport(s.config, s.sample));
  EXPECT_EQ(s.state.ValidFlags, 0);
  EXPECT_EQ(s.state.CyclesSinceReport, 0);
}

TEST(Pacing, KeyAskedReportGoesOutNextCycleWithoutPause) {
  for (const char* key : {"s", "S"}) {
    Station s(kAt20_41_05);
    s.Run(81);  // report at 60, then 20 more cycles
    s.keys.push_back(key);
    s.Cycle();  // the key is read at the end of cycle 81
    s.Cycle();
    EXPECT_EQ(s.reports, (std::vector<int>{60, 82})) << key;
    EXPECT_EQ(s.makeUpPauses, (std::vector<int>{0, 0}));
  }
}

TEST(Pacing, StalledSentenceHoldsDueReportBack) {
  Station s(kAt20_41_05);
  s.Run(70);
  s.keys.push_back("x");  // another key changes nothing
  s.Cycle();
  s.keys.push_back("s");
  s.Cycle();
  for (int i = 0; i < 10; ++i) s.Cycle(false);
  EXPECT_EQ(s.reports, std::vector<int>{60});
  EXPECT_EQ(s.state.ValidFlags & kFlagReportDue, kFlagReportDue);
  s.Cycle();
  EXPECT_EQ(s.reports, (std::vector<int>{60, 82}));
}

TEST(Pacing, StatusEveryThirdMinuteOnce) {
  Station s(LocalTime{2026, 12, 8, 20, 0, 5, 0});  // started in minute 00
  s.config.sSTATUS = "Balloon";
  s.sample.latitude = 0;  // no position reports to mix in
  s.Run(450);             // a little over seven minutes
  EXPECT_EQ(s.statusMinutes, (std::vector<int>{3, 6}));
  EXPECT_EQ(s.statusLines.front(), "N0CALL>APZQW0,TCPIP*:>Balloon\r\n");

  Station quiet(LocalTime{2026, 12, 8, 20, 0, 5, 0});
  quiet.config.sSTATUS = "";
  quiet.Run(450);
  EXPECT_TRUE(quiet.statusMinutes.empty());
}

// The object mode (OBJECT=YES): a station whose sonde has an object name.
struct ObjectStation : Station {
  explicit ObjectStation(LocalTime start, double altitude = 5000) : Station(start) {
    config.nOBJECT = 1;
    sample.serial = "S1234567";
    sample.altitude = altitude;
  }
  // The cycles whose report was the object of `name`.
  std::vector<int> ObjectsOf(const std::string& name) const {
    std::vector<int> out;
    const std::string header = "N0CALL>APZQW0,TCPIP*:;" + name;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].rfind(header, 0) == 0) out.push_back(reports[i]);
    }
    return out;
  }
};

TEST(ObjectPacing, ThirtyCyclesApartAtAnyAltitude) {
  for (double altitude : {30000.0, 2000.0, 1999.0, 100.0}) {
    ObjectStation s(kAt20_41_05, altitude);
    s.Run(122);
    // A new sonde at once (the first cycle never sends), then every 30 cycles.
    EXPECT_EQ(s.reports, (std::vector<int>{1, 31, 61, 91, 121})) << altitude;
    EXPECT_EQ(s.makeUpPauses, (std::vector<int>{5, 0, 0, 0, 0})) << altitude;
    EXPECT_EQ(s.ObjectsOf("S1234567 *"), s.reports);
    EXPECT_EQ(LastObjectName(s.state), "S1234567");
  }
}

TEST(ObjectPacing, NothingDependsOnTheClocksSeconds) {
  // The same cycles at every start second: no burst when the seconds reach a multiple of 7.
  for (int second = 0; second < 60; ++second) {
    ObjectStation s(LocalTime{2026, 12, 8, 20, 41, second, 0}, 1500);
    s.Run(100);
    EXPECT_EQ(s.reports, (std::vector<int>{1, 31, 61, 91})) << second;
  }
  ObjectStation s(LocalTime{2026, 12, 8, 20, 41, 14, 0}, 1500);
  s.state.CyclesSinceReport = 10;
  s.state.SentObjects = {{"S1234567", -10}};
  MarkReportDue(s.state, s.config, s.sample, 14);
  EXPECT_EQ(s.state.ValidFlags & kFlagReportDue, 0);
  s.state.SentObjects = {{"S1234567", -30}};
  MarkReportDue(s.state, s.config, s.sample, 15);
  EXPECT_EQ(s.state.ValidFlags & kFlagReportDue, kFlagReportDue);
}

TEST(ObjectPacing, ANewSondeAtOnceAKnownOneAfterItsThirtyCycles) {
  ObjectStation s(kAt20_41_05);
  s.Run(10);  // S1234567 at cycle 1
  s.sample.serial = "DFM-314377";
  s.Run(2);  // D314377 at once, nine cycles after the last report: no pause
  s.sample.serial = "P1234567";
  s.Run(8);  // P1234567 at once, but two cycles after the last: pauses make up four
  s.sample.serial = "S1234567";
  s.Run(20);  // S1234567 again from cycle 20: its own 30 cycles run out at cycle 31
  EXPECT_EQ(s.reports, (std::vector<int>{1, 10, 12, 31}));
  EXPECT_EQ(s.makeUpPauses, (std::vector<int>{5, 0, 4, 0}));
  EXPECT_EQ(s.ObjectsOf("S1234567 *"), (std::vector<int>{1, 31}));
  EXPECT_EQ(s.ObjectsOf("D314377  *"), std::vector<int>{10});
  EXPECT_EQ(s.ObjectsOf("P1234567 *"), std::vector<int>{12});
}

TEST(ObjectPacing, ADueForOneSondeIsNotUsedUpByAnother) {
  ObjectStation s(kAt20_41_05);
  s.Run(25);  // S1234567 at cycle 1
  s.sample.serial = "P1234567";
  s.Run(5);  // P1234567 at cycle 25
  s.sample.serial = "S1234567";
  s.Run(25);  // S1234567 at cycle 31
  s.sample.serial = "P1234567";
  for (int i = 0; i < 5; ++i) s.Cycle(false);  // 55..59: P1234567 due, but its data stalls
  s.sample.serial = "S1234567";
  s.Run(3);  // S1234567's own 30 cycles decide: cycle 61, not 60
  EXPECT_EQ(s.reports, (std::vector<int>{1, 25, 31, 61}));
}

TEST(ObjectPacing, KeyAsksForAnObjectAtTheNextNewPosition) {
  for (const char* key : {"s", "S"}) {
    ObjectStation s(kAt20_41_05);
    s.Run(11);  // object at 1; the key is read at the end of cycle 11
    s.keys.push_back(key);
    s.Cycle();
    s.Cycle(false);  // no new data: the request waits
    s.Run(2);
    EXPECT_EQ(s.reports, (std::vector<int>{1, 13})) << key;
    EXPECT_EQ(s.makeUpPauses, (std::vector<int>{5, 0})) << key;
  }
}

TEST(ObjectPacing, ASondeWithoutANameSendsNothing) {
  ObjectStation s(kAt20_41_05);
  s.sample.serial = "DFM-xxxxxxxx";  // the decoder's serial before it is complete
  s.keys.push_back("s");
  s.Run(5);
  s.Cycle(false);
  EXPECT_TRUE(s.reports.empty());
  EXPECT_EQ(s.unnamed, (std::vector<int>{1, 2, 3, 4}));  // each cycle with a new position
  s.sample.serial = "DFM-314377";
  s.Run(2);
  EXPECT_EQ(s.reports, std::vector<int>{6});
  EXPECT_EQ(s.ObjectsOf("D314377  *"), std::vector<int>{6});
}

TEST(ObjectPacing, AtMostSixtyFourSondesRemembered) {
  ObjectStation s(kAt20_41_05);
  s.Run(1);
  for (int i = 0; i < 70; ++i) {
    // Appended: g++ 12 -O3 warns falsely (-Wrestrict) on "S" + std::to_string(...).
    s.sample.serial = std::to_string(1000000 + i).insert(0, 1, 'S');
    s.Run(7);
  }
  ASSERT_EQ(s.reports.size(), 70u);
  EXPECT_EQ(s.state.SentObjects.size(), kObjectMemory);
  EXPECT_EQ(s.state.SentObjects.front().name, "S1000006");
  s.sample.serial = "S1000000";  // forgotten: new again
  s.Run(7);
  EXPECT_EQ(s.ObjectsOf("S1000000 *").size(), 2u);
}

TEST(ObjectPacing, StatusReportAsBefore) {
  ObjectStation s(LocalTime{2026, 12, 8, 20, 0, 5, 0});
  s.config.sSTATUS = "Balloon";
  s.Run(450);
  EXPECT_EQ(s.statusMinutes, (std::vector<int>{3, 6}));
  EXPECT_EQ(s.statusLines.front(), "N0CALL>APZQW0,TCPIP*:>Balloon\r\n");
}

}  // namespace
}  // namespace nimbrix
