#include "app/station_outputs.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/destination_rows.h"
#include "app/fake/fake_platform.h"
#include "app/log_view.h"
#include "app/station.h"
#include "app/terminal_view.h"
#include "version/version.h"

namespace nimbrix {
namespace {

using fake::FakePlatform;
using State = DestinationStatus::State;

// An output that keeps what the cycle handed it and shows whatever state the test gives it.
struct RecordingOutput : Output {
  struct Seen {
    std::vector<std::string> lines;
    std::string serial;
    std::int64_t utcMs = 0;
  };
  std::vector<Seen>* seen = nullptr;
  DestinationStatus status;
  std::vector<std::string> records;
  std::int64_t* stopDeadline = nullptr;
  std::function<void(RecordingOutput&, std::size_t cycle)> onCycle;

  void Cycle(const CycleFacts& facts) override {
    seen->push_back({facts.linesSent, facts.sample.serial, facts.utcMs});
    if (onCycle) onCycle(*this, seen->size());
  }
  DestinationStatus Status() const override { return status; }
  std::vector<std::string> TakeRecords() override { return std::exchange(records, {}); }
  void Stop(std::int64_t deadlineMs) override { *stopDeadline = deadlineMs; }
};

DestinationStatus Status(State state, const char* text, const char* message = "") {
  DestinationStatus s;
  s.kind = "SondeHub";
  s.name = "http://hub.test";
  s.state = state;
  s.stateText = text;
  s.lastMessage = message;
  return s;
}

struct OutputsTest : ::testing::Test {
  FakePlatform f;
  std::vector<RecordingOutput::Seen> seen;
  std::int64_t stopDeadline = -1;
  std::int64_t escAtMs = 0;
  std::function<void(RecordingOutput&, std::size_t)> onCycle;
  DestinationStatus initial = Status(State::kConnecting, "starting");

  void SetUp() override {
    f.files.contents["NIMBRIX.INI"] =
        "USER=N0CALL-11\r\nPASS=12345\r\nSTATUS=gw\r\nSERVER=aprs.local,14580\r\n";
    f.http.reply = std::string("versao=") + kVersion;
    f.tcp.reachable = {"aprs.local:14580"};
    f.automation.answers = {{0, Variant::Text("T1234567")},
                            {1, Variant::Real(48.1)},
                            {2, Variant::Real(11.5)},
                            {3, Variant::Real(500)},
                            {6, Variant::Text("x")}};
    // The sonde moves on every pause, so position reports go out below 2000 m.
    f.clock.onSleep = [this](std::int64_t ms) {
      f.automation.answers[6] = Variant::Text("2026-12-08 20:" + std::to_string(ms / 1000));
    };
  }

  int Run(int cycles) {
    f.console.keys.assign(static_cast<std::size_t>(cycles) - 1, "");
    f.console.keys.push_back(kKeyEscape);
    Platform p = f.platform();
    return RunStation(p, {"http", "update.test", "page"},
                      [this](const StationConfig& config, Platform&) {
                        EXPECT_EQ(config.sUSER, "N0CALL-11");
                        auto out = std::make_unique<RecordingOutput>();
                        out->seen = &seen;
                        out->status = initial;
                        out->stopDeadline = &stopDeadline;
                        out->onCycle = onCycle;
                        OutputList list;
                        list.push_back(std::move(out));
                        return list;
                      });
  }
};

// Every line the primary link is given reaches the output in the same cycle, byte for byte,
// once; each cycle feeds it at least once (more while the reports' spacing waits).
TEST_F(OutputsTest, FedEveryCycleWithTheLinesOfThatCycle) {
  ASSERT_EQ(Run(20), 0);
  ASSERT_GE(seen.size(), 20u);
  std::vector<std::string> handed;
  for (const auto& s : seen) {
    EXPECT_EQ(s.serial, "T1234567");
    handed.insert(handed.end(), s.lines.begin(), s.lines.end());
  }
  std::vector<std::string> sent(f.tcp.lines.begin() + 1, f.tcp.lines.end());  // less the login
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(handed, sent);
  EXPECT_LT(seen.front().utcMs, seen.back().utcMs);
}

// A clean stop gives the outputs one shared deadline, 5 s after it began.
TEST_F(OutputsTest, StoppedWithAFiveSecondDeadline) {
  ASSERT_EQ(Run(2), 0);
  EXPECT_EQ(stopDeadline, f.clock.MonotonicMs() + kOutputStopMs);
}

// Records go to nimbrix.err as they are; the terminal shows the destination on its row, drawn
// again only when the text changes.
TEST_F(OutputsTest, RecordsToTheErrorLogAndTheRowOnTheScreen) {
  onCycle = [](RecordingOutput& out, std::size_t cycle) {
    if (cycle == 2) out.records.push_back("OPEN Error @12-08-2026 - 20:41:09 -> hub\r\n");
    if (cycle == 3) {
      out.status.sent = 12;
      out.status.stateText = "OK";
      out.status.lastSuccessUtcMs = out.status.sinceUtcMs = 1796762476000;  // 2026-12-08 20:41:16
    }
  };
  ASSERT_EQ(Run(4), 0);
  EXPECT_NE(f.files.contents["nimbrix.err"].find("OPEN Error @12-08-2026 - 20:41:09 -> hub\r\n"),
            std::string::npos);
  EXPECT_EQ(f.console.RowTrimmed(16), "SondeHub: 12 frames sent, last 20:41:16 OK");
  EXPECT_EQ(f.console.RowTrimmed(17), "");
}

// Without a terminal, one line per change of a destination's state, never one per cycle.
TEST_F(OutputsTest, TheLogSaysEachChangeOnce) {
  f.console.terminal = false;
  onCycle = [](RecordingOutput& out, std::size_t cycle) {
    if (cycle >= 3) out.status.stateText = "OK";
    if (cycle >= 6)
      out.status = {false, "SondeHub", "http://hub.test",    State::kFailing, "HTTP 503", 0, 1,
                    0,     0,          "Service Unavailable"};
  };
  ASSERT_EQ(Run(10), 0);
  std::vector<std::string> said;
  std::size_t from = 0;
  const std::string& log = f.console.transcript;
  for (std::size_t at = log.find("SondeHub "); at != std::string::npos;
       at = log.find("SondeHub ", from)) {
    from = log.find('\n', at);
    said.push_back(log.substr(at, from - at));
  }
  const std::vector<std::string> expected = {
      "SondeHub http://hub.test: starting",
      "SondeHub http://hub.test: OK",
      "SondeHub http://hub.test: HTTP 503: Service Unavailable",
  };
  EXPECT_EQ(said, expected);
}

// The primary link is a destination too: what it delivered and how it stands.
TEST(PrimaryLinkStatusTest, FollowsTheLinksEvents) {
  PrimaryLinkStatus p;
  p.Trying("a,1", 1000);
  EXPECT_EQ(p.Status().state, State::kConnecting);
  p.Failed("cannot connect", 2000);
  p.Trying("b,2", 3000);
  p.Connected("b,2", 4000);
  p.Login({LoginVerdict::Kind::kVerified, "# logresp N0CALL verified"}, 5000);
  p.LineSent(6000);
  p.LineSent(7000);
  p.LineLost();
  const DestinationStatus& s = p.Status();
  EXPECT_TRUE(s.primary);
  EXPECT_EQ(s.name, "b,2");
  EXPECT_EQ(s.state, State::kUp);
  EXPECT_EQ(s.stateText, "login verified");
  EXPECT_EQ(s.sinceUtcMs, 5000);
  EXPECT_EQ(s.sent, 2u);
  EXPECT_EQ(s.failed, 1u);
  EXPECT_EQ(s.lastSuccessUtcMs, 7000);
  EXPECT_EQ(s.lastMessage, "# logresp N0CALL verified");
}

TEST(DestinationRowsTest, LocalTimeOfAUtcMomentAcrossMidnight) {
  // The clock shows 00:30 local while it is 23:30 UTC: one hour ahead.
  const ClockReading now{{2026, 12, 9, 0, 30, 0, 0}, 1796772600000};  // 2026-12-08 23:30 UTC
  const LocalTime t = LocalTimeAt(1796772600000 - 45 * 60 * 1000, now);
  EXPECT_EQ(t.day, 8);
  EXPECT_EQ(t.hour, 23);
  EXPECT_EQ(t.minute, 45);
}

}  // namespace
}  // namespace nimbrix
