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
    MarkReportDue(state, sample, first.second);
    const ReportPlan plan = PlanReports(state, config, sample, clock.Now().minute);
    for (int i = 0; i < plan.makeUpPauses; ++i) clock.SleepMs(kMakeUpPauseMs);
    if (!plan.positionLine.empty()) {
      reports.push_back(cycle);
      makeUpPauses.push_back(plan.makeUpPauses);
    }
    if (!plan.statusLine.empty()) {
      statusMinutes.push_back(first.minute);
      statusLines.push_back(plan.statusLine);
    }
    clock.SleepMs(950);
    ++state.CyclesSinceReport;
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
  MarkReportDue(s.state, s.sample, s.clock.Now().second);
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

}  // namespace
}  // namespace nimbrix
