// The objects of the sondes heard beside the followed one, cycle by cycle.
#include "uplink/heard_objects.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "uplink/reports.h"

namespace nimbrix {
namespace {

HeardSonde Sonde(const std::string& serial, int second, std::uint32_t ageMs = 400) {
  HeardSonde sonde;
  sonde.sample.serial = serial;
  if (serial.rfind("M10-", 0) == 0) sonde.sample.typeOrAprsName = "ME1234567";
  sonde.sample.latitude = 48.1 + second * 1e-4;
  sonde.sample.longitude = 11.5;
  sonde.sample.altitude = 5000 + second;
  char time[16];
  std::snprintf(time, sizeof time, "%02d:%02d:%02d", second / 3600 % 24, second / 60 % 60,
                second % 60);
  sonde.sample.timeText = std::string("2026-12-08 ") + time;
  sonde.ageMs = ageMs;
  return sonde;
}

// The cycles in which each object name went out over `cycles` cycles; `silent` says in which
// cycles a sonde's frame stays the one it had (it is still listed, its frame ageing).
struct ObjectRun {
  std::map<std::string, std::vector<int>> objects;  // "D314377" -> cycles
  std::vector<std::string> lines;
};
ObjectRun RunCycles(int cycles, const std::vector<std::string>& serials,
                    const std::map<std::string, std::set<int>>& silent = {},
                    const std::string& followed = "S1234567") {
  StationConfig config;
  config.sUSER = "N0CALL";
  config.sSYMBOL = "/O";
  config.nOBJECT = 1;
  ReportState state;
  HeardObjects objects;
  std::map<std::string, int> lastNew;
  ObjectRun run;
  for (int cycle = 0; cycle < cycles; ++cycle) {
    std::vector<HeardSonde> heard;
    for (const std::string& serial : serials) {
      const auto quiet = silent.find(serial);
      if (quiet == silent.end() || !quiet->second.count(cycle)) lastNew[serial] = cycle;
      const auto age = static_cast<std::uint32_t>((cycle - lastNew[serial]) * 1000 + 400);
      heard.push_back(Sonde(serial, lastNew[serial], age));
    }
    for (const std::string& line : objects.Plan(state, config, heard, followed)) {
      run.lines.push_back(line);
      const std::size_t at = line.find(":;");
      std::string name = line.substr(at + 2, 9);
      name.erase(name.find_last_not_of(' ') + 1);
      run.objects[name].push_back(cycle);
    }
    EndCycle(state);
  }
  return run;
}

std::set<int> Cycles(int from, int to) {
  std::set<int> cycles;
  for (int c = from; c < to; ++c) cycles.insert(c);
  return cycles;
}

TEST(HeardObjects, EachSondeOnItsOwnThirtyCycles) {
  const ObjectRun run = RunCycles(95, {"DFM-314377", "S1234567", "M10-123-4-56789", "S2410203"});
  // The followed sonde (S1234567) is the report logic's, not these objects'.
  EXPECT_EQ(run.objects.count("S1234567"), 0u);
  for (const char* name : {"D314377", "ME1234567", "S2410203"}) {
    EXPECT_EQ(run.objects.at(name), (std::vector<int>{0, 30, 60, 90})) << name;
  }
  EXPECT_EQ(run.lines.at(0).rfind("N0CALL>APZQW0,TCPIP*:;D314377  *", 0), 0u) << run.lines[0];
  EXPECT_EQ(run.lines.at(0).substr(run.lines[0].size() - 2), "\r\n");
}

TEST(HeardObjects, SilenceAndReturn) {
  struct Case {
    const char* what;
    std::set<int> silent;
    std::vector<int> expected;
  };
  const Case cases[] = {
      {"silent through its due: none, then one at its first new frame",
       Cycles(20, 50),
       {0, 50, 80}},
      {"silent long: one as soon as it is back", Cycles(10, 77), {0, 77}},
      {"silent briefly: its own interval still holds", Cycles(5, 12), {0, 30, 60}},
      {"silent from the start on", Cycles(1, 90), {0}},
  };
  for (const Case& c : cases) {
    ObjectRun run = RunCycles(90, {"DFM-314377", "S2410203"}, {{"DFM-314377", c.silent}});
    EXPECT_EQ(run.objects["D314377"], c.expected) << c.what;
    // The other sonde never waits for the silent one.
    EXPECT_EQ(run.objects["S2410203"], (std::vector<int>{0, 30, 60})) << c.what;
  }
}

TEST(HeardObjects, NothingMadeUpForWhatCannotBeAnObject) {
  StationConfig config;
  config.sUSER = "N0CALL";
  config.nOBJECT = 1;
  ReportState state;
  HeardObjects objects;
  std::vector<HeardSonde> heard = {Sonde("XY", 1), Sonde("DFM-314377", 1), Sonde("S2410203", 1),
                                   Sonde("M10-123-4-56789", 1), Sonde("", 1)};
  heard[1].sample.latitude = 0;            // no position
  heard[2].ageMs = 45000;                  // first heard with an old frame: not a new one
  heard[3].sample.typeOrAprsName.clear();  // an M10 without its APRS name
  EXPECT_TRUE(objects.Plan(state, config, heard, "S1234567").empty());
  // The old frame's sonde moves on: now it is new.
  heard[2] = Sonde("S2410203", 2);
  EXPECT_EQ(objects.Plan(state, config, heard, "S1234567").size(), 1u);
  config.nOBJECT = 0;
  heard[2] = Sonde("S2410203", 3);
  EXPECT_TRUE(objects.Plan(state, config, heard, "S1234567").empty());
}

TEST(HeardObjects, PacingSharedWithTheFollowedSonde) {
  StationConfig config;
  config.sUSER = "N0CALL";
  config.nOBJECT = 1;
  ReportState state;
  HeardObjects objects;
  // S2410203's object went out as the followed sonde's at cycle 0; 10 cycles later it is one of
  // the others, and its next object still waits for cycle 30.
  RememberSentObject(state, "S2410203");
  int sent = -1;
  for (int cycle = 0; cycle < 40; ++cycle) {
    state.Cycle = cycle;
    if (cycle < 10) continue;
    if (!objects.Plan(state, config, std::vector<HeardSonde>{Sonde("S2410203", cycle)}, "S1234567")
             .empty() &&
        sent < 0) {
      sent = cycle;
    }
  }
  EXPECT_EQ(sent, 30);
  EXPECT_EQ(LastObjectName(state), "S2410203");
}

}  // namespace
}  // namespace nimbrix
