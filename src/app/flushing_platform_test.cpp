// What reaches the terminal, and when: the whole station on fakes, with the console's flushes
// in the journal. A terminal gets one write per flush that had something drawn.

#include "app/flushing_platform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/fake/fake_platform.h"
#include "app/station.h"
#include "version/version.h"

namespace nimbrix {
namespace {

using fake::FakePlatform;

bool StartsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

// Steps that can make the station wait, as the fakes journal them.
bool Blocks(const std::string& event) {
  for (const char* prefix : {"sleep ", "tcp open ", "tcp send ", "attach ", "run ", "wait key"}) {
    if (StartsWith(event, prefix)) return true;
  }
  return false;
}

bool Draws(const std::string& event) {
  return StartsWith(event, "console ") || event == "clear";
}

struct Station {
  FakePlatform f;
  int cycles = 0;

  Station() {
    f.console.journalFlushes = true;
    f.files.contents["NIMBRIX.INI"] =
        "USER=n0call-11\r\nPASS=12345\r\nSTATUS=Test station\r\nSERVER=aprs.local,14580\r\n";
    f.http.reply = std::string("versao=") + kVersion;
    f.tcp.reachable = {"aprs.local:14580"};
    f.automation.inFlight = true;
    f.automation.answers = {
        {0, Variant::Text("T1234567")},  {1, Variant::Real(48.123456)},
        {2, Variant::Real(11.5)},        {3, Variant::Real(1500)},
        {4, Variant::Real(10)},          {5, Variant::Real(10)},
        {6, Variant::Text("")},          {7, Variant::Text("403.001")},
        {8, Variant::Real(850.4)},       {9, Variant::Real(-3.2)},
        {10, Variant::Real(67)},         {11, Variant::Text("RS41")},
        {12, Variant::Real(5.3)},        {13, Variant::Signed(2345)},
        {14, Variant::Signed(7, VT_I8)},
    };
    // The sonde moves on every second (a new position, so reports go out now and then).
    f.clock.onSleep = [this](std::int64_t) {
      if (f.clock.sleeps.back() == 950) ++cycles;
      const LocalTime now = f.clock.Now();
      char text[32];
      std::snprintf(text, sizeof text, "2026-12-08 %02d:%02d:%02d", now.hour, now.minute,
                    now.second);
      f.automation.answers[6] = Variant::Text(text);
      if (onSleep) onSleep();
    };
  }
  std::function<void()> onSleep;

  void RunCycles(int n) {
    for (int i = 1; i < n; ++i) f.console.keys.push_back("");
    f.console.keys.push_back(kKeyEscape);
    Platform p = f.platform();
    ASSERT_EQ(RunStation(p, {"http", "update.test", "http://update.test/nimbrix"}), 0);
  }

  // Each event that blocks, with what was drawn before it and not yet flushed.
  std::vector<std::string> UnflushedWaits() const {
    std::vector<std::string> found;
    std::string drawn;
    for (const std::string& e : f.journal.events) {
      if (Draws(e)) drawn = e;
      if (e == "flush") drawn.clear();
      if (Blocks(e) && !drawn.empty()) found.push_back(e + " after " + drawn);
    }
    return found;
  }
};

// Every wait, in every way a run can go, finds the screen drawn up to it already handed to
// the terminal, and nothing stays held at the end.
TEST(FlushingPlatform, NothingDrawnWaitsUnwrittenInAnyRun) {
  const struct {
    const char* name;
    std::function<void(Station&)> prepare;
  } cases[] = {
      {"reports and status lines", [](Station&) {}},
      {"first server refuses",
       [](Station& s) {
         s.f.files.contents["NIMBRIX.INI"] =
             "USER=n0call-11\r\nPASS=12345\r\nSERVER=refused.local,1\r\nSERVER=aprs.local,"
             "14580\r\n";
       }},
      {"no server, a failed pass and its wait",
       [](Station& s) {
         s.f.tcp.reachable.clear();
         s.onSleep = [&s] {
           if (s.f.clock.sleeps.back() == 5000) s.f.tcp.reachable = {"aprs.local:14580"};
         };
       }},
      {"a send fails and the line goes again",
       [](Station& s) {
         s.f.tcp.sendErrors = {0, 57};
       }},
      {"decoder lost and found again",
       [](Station& s) {
         s.onSleep = [&s] { s.f.automation.available = s.cycles < 3 || s.cycles > 5; };
       }},
      {"terminal resized", [](Station& s) { s.onSleep = [&s] { s.f.console.resized = true; }; }},
      {"object mode", [](Station& s) { s.f.files.contents["NIMBRIX.INI"] += "OBJECT=YES\r\n"; }},
      {"bad callsign waits for a key",
       [](Station& s) { s.f.files.contents["NIMBRIX.INI"] = "USER=X\r\nPASS=1\r\n"; }},
      {"no decoder", [](Station& s) { s.f.automation.available = false; }},
      {"newer version", [](Station& s) { s.f.http.reply = "versao=99.0"; }},
  };
  for (const auto& c : cases) {
    Station s;
    c.prepare(s);
    s.RunCycles(12);
    EXPECT_EQ(s.UnflushedWaits(), std::vector<std::string>{}) << c.name;
    EXPECT_FALSE(s.f.console.Drawn()) << c.name << ": drawn at the end, never written";
    EXPECT_GT(s.f.console.writes, 0) << c.name;
  }
}

// A quiet cycle (nothing sent) reaches the terminal as one write, just before its pause.
TEST(FlushingPlatform, QuietCycleIsOneWriteBeforeItsPause) {
  Station s;
  s.RunCycles(20);
  const auto& e = s.f.journal.events;
  int quiet = 0;
  std::size_t cycleStart = 0;
  for (std::size_t i = 0; i < e.size(); ++i) {
    if (e[i] != "sleep 950") continue;
    int flushes = 0;
    bool sent = false;
    for (std::size_t j = cycleStart; j < i; ++j) {
      flushes += e[j] == "flush";
      sent = sent || StartsWith(e[j], "tcp send ");
    }
    if (cycleStart > 0 && !sent) {
      ++quiet;
      EXPECT_EQ(flushes, 1) << "cycle ending at event " << i;
      EXPECT_EQ(e[i - 1], "flush") << "cycle ending at event " << i;
    }
    cycleStart = i + 1;
  }
  EXPECT_GE(quiet, 10);
}

// After a resize the cleared and redrawn screen is written before the decoder is asked; the
// new values follow in the cycle's write.
TEST(FlushingPlatform, ResizedCycleWritesTheRedrawBeforeAskingTheDecoder) {
  Station s;
  s.onSleep = [&s] { s.f.console.resized = s.cycles == 3; };
  s.RunCycles(6);
  const auto& e = s.f.journal.events;
  std::size_t pause = 0;
  int seen = 0;
  for (std::size_t i = 0; i < e.size(); ++i) {
    if (e[i] == "sleep 950" && ++seen == 3) pause = i;
  }
  ASSERT_GT(pause, 0u);
  std::vector<std::string> cycle(e.begin() + static_cast<std::ptrdiff_t>(pause) + 1, e.end());
  ASSERT_FALSE(cycle.empty());
  EXPECT_EQ(cycle[0], "clear");
  std::size_t flushes = 0, firstFlush = 0;
  for (std::size_t i = 0; i < cycle.size() && cycle[i] != "sleep 950"; ++i) {
    if (cycle[i] == "flush" && flushes++ == 0) firstFlush = i;
  }
  EXPECT_EQ(flushes, 2u);  // the redraw, then the cycle's own drawing
  EXPECT_GT(firstFlush, 10u) << "the whole redraw in one write";
}

// Without a terminal every line of the log is written as soon as it is made.
TEST(FlushingPlatform, LogLinesAreWrittenOneByOne) {
  Station s;
  s.f.console.terminal = false;
  s.onSleep = [&s] { s.f.automation.available = s.cycles < 3 || s.cycles > 5; };
  s.RunCycles(10);
  int lines = 0;
  bool pending = false;
  for (const std::string& e : s.f.journal.events) {
    if (StartsWith(e, "console ")) {
      EXPECT_FALSE(pending) << "two lines in one write: " << e;
      pending = true;
      ++lines;
    }
    if (e == "flush") pending = false;
  }
  EXPECT_FALSE(pending);
  EXPECT_EQ(s.f.console.writes, lines);
  EXPECT_GE(lines, 8);
}

// A pause with work to do is cut where the work is due; it ends when it would have ended, and
// work due at its very end waits for the next wait.
TEST(FlushingPlatform, APauseRunsTheWorkDueInsideItAndKeepsItsLength) {
  struct Work : WaitWork {
    std::int64_t next = 0;
    std::vector<std::int64_t> runs;
    fake::FakeClock* clock = nullptr;
    std::int64_t NextDueMs() const override { return next; }
    void Run() override {
      runs.push_back(clock->MonotonicMs());
      next = clock->MonotonicMs() + 400;
    }
  };
  struct Case {
    std::int64_t firstDueMs;
    int pauseMs;
    std::vector<int> sleeps;
    std::vector<std::int64_t> runs;
  } cases[] = {
      {2000, 1000, {1000}, {}},                  // not due: one whole pause
      {300, 1000, {300, 400, 300}, {300, 700}},  // due twice inside
      {0, 500, {400, 100}, {0, 400}},            // due at once
      {1000, 1000, {1000}, {}},                  // due at the very end
  };
  for (const Case& c : cases) {
    FakePlatform f;
    Work work;
    work.clock = &f.clock;
    work.next = c.firstDueMs;
    f.waits.Set(&work);
    Platform inner = f.platform();
    FlushingPlatform flushing(inner);
    flushing.platform().clock.SleepMs(c.pauseMs);
    EXPECT_EQ(f.clock.MonotonicMs(), c.pauseMs);
    EXPECT_EQ(f.clock.sleeps, c.sleeps);
    EXPECT_EQ(work.runs, c.runs);
  }
}

}  // namespace
}  // namespace nimbrix
