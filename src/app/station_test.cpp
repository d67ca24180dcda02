#include "app/station.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "app/fake/fake_platform.h"
#include "telemetry/decoder_items.h"
#include "version/version.h"

namespace nimbrix {
namespace {

using fake::FakePlatform;

constexpr char kGoodIni[] =
    "# station\r\nUSER=n0call-11\r\nPASS=12345\r\nSERVER=aprs.local,14580\r\n";

UpdateService TestService() {
  return {"http", "update.test", "http://update.test/nimbrix"};
}

// A flying sonde above 2000 m whose time text moves on by one second per cycle pause.
void FlySonde(FakePlatform& f) {
  f.automation.answers = {
      {kSerial, Variant::Text("T1234567")},
      {kLatitude, Variant::Real(48.123456)},
      {kLongitude, Variant::Real(-71.987654)},
      {kAltitude, Variant::Real(12345.5)},
      {kHeading, Variant::Real(10)},
      {kSpeed, Variant::Real(10)},
      {kTimeText, Variant::Text("2026-12-08 20:41:05")},
      {kQrg, Variant::Text("403.001")},
      {kPressure, Variant::Real(850.4)},
      {kTemperature, Variant::Real(-3.2)},
      {kHumidity, Variant::Real(67)},
      {kTypeOrAprsName, Variant::Text("RS41")},
      {kClimb, Variant::Real(5.3)},
      {kFrame, Variant::Signed(2345)},
      {kTimeMs, Variant::Signed(7, VT_I8)},
  };
  f.clock.onSleep = [&f](std::int64_t) {
    const LocalTime now = f.clock.Now();
    char text[32];
    std::snprintf(text, sizeof text, "2026-12-08 %02d:%02d:%02d", now.hour, now.minute, now.second);
    f.automation.answers[kTimeText] = Variant::Text(text);
  };
}

// A station with one reachable server and a sonde in flight.
void PrepareStation(FakePlatform& f) {
  f.files.contents["NIMBRIX.INI"] = kGoodIni;
  f.http.reply = std::string("versao=") + kVersion;
  f.tcp.reachable = {"aprs.local:14580"};
  FlySonde(f);
}

int RunStationOn(FakePlatform& f) {
  Platform p = f.platform();
  return RunStation(p, TestService());
}

struct StationTest : ::testing::Test {
  FakePlatform f;
  void SetUp() override { PrepareStation(f); }
  int Run() { return RunStationOn(f); }
  int Count(int ms) const {
    return static_cast<int>(std::count(f.clock.sleeps.begin(), f.clock.sleeps.end(), ms));
  }
  // The lines sent that hold `marker` (":@" position reports, ":;" objects).
  std::vector<std::string> LinesWith(const char* marker) const {
    std::vector<std::string> out;
    for (const auto& line : f.tcp.lines)
      if (line.find(marker) != std::string::npos) out.push_back(line);
    return out;
  }
  std::vector<std::string> Reports() const { return LinesWith(":@"); }
};

TEST_F(StationTest, EscAfterThreeCyclesEndsWithExitCodeZero) {
  f.console.keys = {"x", "y", kKeyEscape};
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Count(950), 3);
  EXPECT_EQ(f.automation.releases, 1);
  EXPECT_TRUE(f.console.keys.empty());
}

TEST_F(StationTest, StartUpRunsItsStepsInOrder) {
  f.console.keys = {kKeyEscape};
  ASSERT_EQ(Run(), 0);
  const auto& e = f.journal.events;
  auto at = [&](const std::string& prefix) {
    auto it = std::find_if(e.begin(), e.end(),
                           [&](const std::string& s) { return s.rfind(prefix, 0) == 0; });
    EXPECT_NE(it, e.end()) << prefix;
    return it - e.begin();
  };
  EXPECT_LT(at("console Reading config file version config 2"),
            at("console Cheking for a new version..."));
  EXPECT_LT(at("console Cheking for a new version..."), at("clear"));
  EXPECT_LT(at("clear"), at("run regsvr32 c:\\windows\\system32\\ole32.dll /s"));
  EXPECT_LT(at("run regsvr32"), at("attach ok"));
  EXPECT_LT(at("attach ok"), at("console Conecting:"));
  EXPECT_LT(at("console Conecting:"), at("tcp open aprs.local:14580"));
  EXPECT_LT(at("tcp open aprs.local:14580"), at("console Using # 1 => aprs.local,14580"));
  EXPECT_LT(at("console Using # 1 => aprs.local,14580"), at("sleep 2000"));
  EXPECT_EQ(f.tcp.lines.front(), (std::string("user N0CALL-11 pass 12345 vers ") + kVersionText +
                                  " filter b/ZZZZZ/\r\n"));
}

TEST_F(StationTest, ScreenAfterFirstCycle) {
  f.console.keys = {kKeyEscape};
  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(f.console.RowTrimmed(1),
            (std::string("----------------------------------------------") + kVersionText + "-+"));
  EXPECT_EQ(f.console.RowTrimmed(19), "Last valid data:  0 s ago...");
  EXPECT_EQ(f.console.Row(24).substr(0, 27), "Using # 1 => aprs.local,145");
  EXPECT_EQ(f.console.RowTrimmed(18).substr(0, 12), "Local Time: ");
}

TEST_F(StationTest, KeyS_AboveTwoThousandMetresSendsAtNextChangedSentence) {
  f.console.keys = {"", "", "s", "", kKeyEscape};  // "" = no key in that cycle
  ASSERT_EQ(Run(), 0);
  // Cycle 3 reads "s"; cycle 4 has a new sentence and sends after making up 6 - 3 cycles.
  ASSERT_EQ(Reports().size(), 1u);
  const auto firstCycle = std::find(f.clock.sleeps.begin(), f.clock.sleeps.end(), 950);
  EXPECT_EQ(std::count(firstCycle, f.clock.sleeps.end(), 1000), 3);
  EXPECT_EQ(f.console.RowTrimmed(21).substr(0, 19), "Last transmission: ");
}

TEST_F(StationTest, ArrowAndCtrlCChangeNothing) {
  f.console.keys = {"\x1b[A", "\x03", "\x1bOP", "", kKeyEscape};
  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(Count(950), 5);
  EXPECT_TRUE(Reports().empty());
}

TEST_F(StationTest, DecoderNotFoundEndsAfterThreeSecondsWithoutConnecting) {
  f.automation.available = false;
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(f.clock.sleeps.back(), 3000);
  EXPECT_TRUE(f.tcp.opens.empty());
  EXPECT_EQ(f.process.commands.size(), 1u);
  EXPECT_NE(f.console.transcript.find("\nSondeMonitor not found! Exiting...\n"), std::string::npos);
  const int row = f.console.cursorRow() - 1;
  EXPECT_EQ(f.console.RowTrimmed(row), "SondeMonitor not found! Exiting...");
  EXPECT_EQ(f.console.ColorAt(row, 1), kColorLightRed);
}

TEST_F(StationTest, BadCallsignWaitsForAKeyAndEndsBeforeTheUpdateCheck) {
  f.files.contents["NIMBRIX.INI"] = "USER=ab\r\n";
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(f.console.waitKeyCalls, 1);
  EXPECT_TRUE(f.http.urls.empty());
  EXPECT_NE(f.console.transcript.find("Config file error: check callsign in INI file =AB\n"),
            std::string::npos);
}

TEST_F(StationTest, MissingFileIsFormatOneAndFailsTheCallsign) {
  f.files.contents.clear();
  EXPECT_EQ(Run(), 0);
  EXPECT_NE(f.console.transcript.find(
                "Reading config file version 1\nConfig file error: check callsign in INI file\n"),
            std::string::npos);
  EXPECT_EQ(f.console.waitKeyCalls, 1);
}

TEST_F(StationTest, HostileCallsignCannotReachTheTerminalRaw) {
  f.files.contents["NIMBRIX.INI"] = "USER=\x1b]0;pwned\x07\r\n";
  f.console.keys = {kKeyEscape};
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(f.console.transcript.find('\x1b'), std::string::npos);
}

TEST_F(StationTest, EscDuringTheWaitForServersEndsTheProgram) {
  f.tcp.reachable.clear();
  f.console.keys = {kKeyEscape};
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Count(950), 0);
  EXPECT_EQ(f.clock.sleeps.back(), 5000);
  EXPECT_EQ(f.automation.releases, 1);
}

TEST_F(StationTest, LowAltitudeReportsArePacedAtLeastSixCyclesApart) {
  f.automation.answers[kAltitude] = Variant::Real(1500);
  for (int i = 0; i < 40; ++i) f.console.keys.push_back("");
  f.console.keys.push_back(kKeyEscape);
  ASSERT_EQ(Run(), 0);
  const auto reports = Reports();
  // Below 2000 m a report goes out about every 7 seconds: never closer than 6 cycles' worth.
  ASSERT_GE(reports.size(), 4u);
  EXPECT_LE(reports.size(), static_cast<std::size_t>(f.clock.elapsedMs() / 5700 + 1));
  for (const auto& r : reports) EXPECT_EQ(r.rfind("N0CALL-11>APZQW0,TCPIP*:@", 0), 0u) << r;
}

// The server's answer to the login, on a station below 2000 m that reports every few cycles.
struct LoginAnswerTest : StationTest {
  static constexpr char kGreeting[] = "# aprsc 2.1.21-g9a7de5c\r\n";
  static constexpr char kWarning[] =
      "Server did not verify the login: reports are dropped. Check PASS in NIMBRIX.INI";
  void SetUp() override {
    StationTest::SetUp();
    f.automation.answers[kAltitude] = Variant::Real(1500);
  }
  void RunCycles(int cycles) {
    for (int i = 0; i < cycles; ++i) f.console.keys.push_back("");
    f.console.keys.push_back(kKeyEscape);
    ASSERT_EQ(Run(), 0);
  }
  std::string Log() { return f.files.contents["nimbrix.err"]; }
  std::size_t LoginRecords() {
    std::size_t n = 0;
    for (std::size_t at = Log().find("LOGIN Error"); at != std::string::npos;
         at = Log().find("LOGIN Error", at + 1)) {
      ++n;
    }
    return n;
  }
};

TEST_F(LoginAnswerTest, UnverifiedLoginGetsOneRecordAndTheWarningOnRow22) {
  f.tcp.serverText["aprs.local:14580"] = {
      kGreeting, "# logresp N0CALL-11 unverified, server T2TEST\r\n",
      "# 9 Dec 2026 10:00:20 GMT T2TEST\r\n", "# logresp N0CALL-11 unverified, server T2TEST\r\n"};
  RunCycles(40);

  ASSERT_EQ(LoginRecords(), 1u) << Log();
  // The answer arrives in the second cycle (the fake hands over one piece per look).
  EXPECT_EQ(Log(),
            "LOGIN Error @12-08-2026 - 20:41:10 -> aprs.local: "
            "# logresp N0CALL-11 unverified, server T2TEST\r\n");
  EXPECT_EQ(std::string(kWarning).size(), 79u);
  EXPECT_EQ(f.console.Row(22), std::string(kWarning) + " ");
  EXPECT_EQ(f.console.ColorAt(22, 1), kColorLightRed);
  EXPECT_EQ(f.console.ColorAt(22, 79), kColorLightRed);
  EXPECT_EQ(f.console.ColorAt(21, 1), kColorNormal) << "the rest of the screen stays normal";
  EXPECT_EQ(f.console.color(), kColorNormal);
  EXPECT_GE(Reports().size(), 4u) << "reports go out as before";
}

TEST_F(LoginAnswerTest, NoAnswerWithin30SecondsWhileTheServerTalks) {
  f.tcp.serverText["aprs.local:14580"] = {kGreeting};
  RunCycles(40);
  ASSERT_EQ(LoginRecords(), 1u) << Log();
  EXPECT_NE(Log().find(" -> aprs.local: # aprsc 2.1.21-g9a7de5c\r\n"), std::string::npos) << Log();
  EXPECT_EQ(f.console.RowTrimmed(22), kWarning);
}

// Whatever the server answers, or when it says nothing, the station sends the same bytes.
TEST(LoginAnswer, LinesSentAreTheSameWhateverTheAnswer) {
  const std::vector<std::deque<std::string>> answers = {
      {},
      {LoginAnswerTest::kGreeting, "# logresp N0CALL-11 verified, server T2TEST\r\n"},
      {LoginAnswerTest::kGreeting, "# logresp N0CALL-11 unverified, server T2TEST\r\n"},
      {LoginAnswerTest::kGreeting},
  };
  std::vector<std::string> reference;
  for (std::size_t i = 0; i < answers.size(); ++i) {
    FakePlatform f;
    PrepareStation(f);
    f.automation.answers[kAltitude] = Variant::Real(1500);
    f.tcp.serverText["aprs.local:14580"] = answers[i];
    f.console.keys.assign(45, "");
    f.console.keys.push_back(kKeyEscape);
    ASSERT_EQ(RunStationOn(f), 0);
    const std::string log = f.files.contents["nimbrix.err"];
    if (i == 0) {
      reference = f.tcp.lines;
      ASSERT_GE(reference.size(), 5u);
    }
    EXPECT_EQ(f.tcp.lines, reference) << "answer " << i;
    if (i < 2) {  // a bare listener, a verified login: no record, nothing on row 22
      EXPECT_TRUE(log.empty()) << "answer " << i << ": " << log;
      EXPECT_EQ(f.console.transcript.find("did not verify"), std::string::npos) << "answer " << i;
      EXPECT_EQ(f.console.RowTrimmed(22), "") << "answer " << i;
    }
  }
}

TEST_F(LoginAnswerTest, ReconnectToAVerifyingServerClearsRow22) {
  f.files.contents["NIMBRIX.INI"] =
      "USER=n0call-11\r\nPASS=12345\r\nSERVER=aprs.local,14580\r\nSERVER=good.local,14580\r\n";
  f.tcp.reachable = {"aprs.local:14580", "good.local:14580"};
  f.tcp.serverText["aprs.local:14580"] = {kGreeting,
                                          "# logresp N0CALL-11 unverified, server A\r\n"};
  f.tcp.serverText["good.local:14580"] = {kGreeting, "# logresp N0CALL-11 verified, server B\r\n"};
  f.tcp.sendErrors = {0, 57};  // the login goes out, the first report finds the line dead
  RunCycles(30);

  EXPECT_EQ(LoginRecords(), 1u) << Log();
  EXPECT_NE(Log().find("SEND Error 57 "), std::string::npos) << Log();
  EXPECT_EQ(f.console.Row(24).substr(0, 28), "Using # 2 => good.local,1458");
  EXPECT_EQ(f.console.Row(22), std::string(80, ' '));
  EXPECT_NE(f.console.transcript.find(kWarning), std::string::npos) << "it was shown before";
}

// Without a terminal: the station's log, one dated line per event.
struct HeadlessTest : StationTest {
  void SetUp() override {
    StationTest::SetUp();
    f.console.terminal = false;
  }
  // The log's lines without their date and time, which each must begin with.
  std::vector<std::string> Events() {
    std::vector<std::string> events;
    std::size_t start = 0;
    const std::string& t = f.console.transcript;
    for (std::size_t end = t.find('\n'); end != std::string::npos;
         start = end + 1, end = t.find('\n', start)) {
      const std::string line = t.substr(start, end - start);
      EXPECT_TRUE(line.size() > 20 && line[4] == '-' && line[10] == ' ' && line[13] == ':' &&
                  line[19] == ' ')
          << line;
      events.push_back(line.substr(std::min<std::size_t>(20, line.size())));
    }
    EXPECT_EQ(start, t.size()) << "every line ends";
    return events;
  }
};

TEST_F(HeadlessTest, OneLinePerEventAndNothingInQuietCycles) {
  // The first entry refuses, the second answers.
  f.files.contents["NIMBRIX.INI"] =
      "USER=n0call-11\r\nPASS=12345\r\nSERVER=refused.local,14580\r\nSERVER=aprs.local,14580\r\n";
  f.tcp.reachable = {"aprs.local:14580"};
  f.tcp.serverText["aprs.local:14580"] = {"# aprsc 2.1\r\n",
                                          "# logresp N0CALL-11 verified, server T2\r\n"};
  f.automation.answers[kAltitude] = Variant::Real(1500);  // low: a report every few cycles
  // Cycles 1..10 quiet but for reports; the decoder is gone in cycles 11..13 and back after.
  for (int i = 0; i < 16; ++i) f.console.keys.push_back("");
  f.console.keys.push_back(kKeyEscape);
  int cycle = 0;
  f.clock.onSleep = [&](std::int64_t) {
    if (f.clock.sleeps.back() != 950) return;
    ++cycle;
    f.automation.available = !(cycle >= 10 && cycle < 13);
    const LocalTime now = f.clock.Now();
    char text[32];
    std::snprintf(text, sizeof text, "2026-12-08 %02d:%02d:%02d", now.hour, now.minute, now.second);
    f.automation.answers[kTimeText] = Variant::Text(text);
  };
  ASSERT_EQ(Run(), 0);

  std::vector<std::string> events = Events();
  ASSERT_FALSE(events.empty());
  // The reports: whole lines, as sent.
  std::vector<std::string> reports;
  for (const std::string& e : events)
    if (e.rfind("Sent: ", 0) == 0) reports.push_back(e.substr(6) + "\r\n");
  EXPECT_EQ(reports, Reports());
  ASSERT_GE(reports.size(), 2u);
  std::erase_if(events, [](const std::string& e) { return e.rfind("Sent: ", 0) == 0; });
  const std::vector<std::string> expected = {
      std::string(kVersionText) + " started",
      "Reading config file version config 2",
      "Cheking for a new version...",
      "You have the most recent version!",
      "Decoder attached: SondeMonitor.Document",
      "Connecting to entry 1 (refused.local,14580)",
      "OPEN Error @12-08-2026 - 20:41:07 -> refused.local: entry 1 (refused.local,14580)",
      "Connecting to entry 2 (aprs.local,14580)",
      "Connected to entry 2 (aprs.local,14580), login sent",
      "Login verified: # logresp N0CALL-11 verified, server T2",
      "Decoder lost: SondeMonitor.Document does not answer",
      "Decoder found again: SondeMonitor.Document",
      "Ended",
  };
  EXPECT_EQ(events, expected);
  EXPECT_EQ(f.console.transcript.find("Last valid data"), std::string::npos);
  EXPECT_EQ(f.console.transcript.find("Latitude"), std::string::npos);
}

TEST_F(HeadlessTest, SendAndLoginErrorsAreLoggedAsRecorded) {
  f.automation.answers[kAltitude] = Variant::Real(1500);
  f.tcp.serverText["aprs.local:14580"] = {"# aprsc 2.1\r\n",
                                          "# logresp N0CALL-11 unverified, server T2\r\n"};
  f.tcp.sendErrors = {0, 57};  // the login goes out, the first report finds the line dead
  for (int i = 0; i < 12; ++i) f.console.keys.push_back("");
  f.console.keys.push_back(kKeyEscape);
  ASSERT_EQ(Run(), 0);
  const std::string log = f.files.contents["nimbrix.err"];
  std::vector<std::string> recorded;
  for (const std::string& e : Events())
    if (e.find(" Error") != std::string::npos) recorded.push_back(e);
  // The same server answers the login after the reconnect as before: a record each time.
  ASSERT_EQ(recorded.size(), 4u) << f.console.transcript;
  EXPECT_EQ(recorded[0].rfind("LOGIN Error @", 0), 0u);
  EXPECT_NE(recorded[0].find("(the server drops our reports: check PASS in NIMBRIX.INI)"),
            std::string::npos);
  EXPECT_EQ(recorded[1].rfind("SEND Error 57 ", 0), 0u);
  EXPECT_EQ(recorded[2].rfind("OPEN Error @", 0), 0u);
  EXPECT_EQ(recorded[3].rfind("LOGIN Error @", 0), 0u);
  // Each logged record is the error log's, line ends aside.
  EXPECT_NE(log.find(recorded[1].substr(0, recorded[1].size()) + "\r\n\r\n"), std::string::npos);
  // The OPEN record's line names the entry too: the record is the line up to it.
  EXPECT_NE(log.find(recorded[2].substr(0, recorded[2].find(": entry ")) + "\r\n"),
            std::string::npos);
}

TEST_F(HeadlessTest, DecoderNotFoundAndConfigurationErrorsAreLogged) {
  f.automation.available = false;
  ASSERT_EQ(Run(), 0);
  std::vector<std::string> events = Events();
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events[events.size() - 2], "SondeMonitor not found! Exiting...");
  EXPECT_EQ(events.back(), "Ended");

  FakePlatform g;
  g.console.terminal = false;
  g.files.contents["NIMBRIX.INI"] = "USER=a\x1b\r\n";  // too short
  ASSERT_EQ(RunStationOn(g), 0);
  EXPECT_NE(g.console.transcript.find(" Config file error: check callsign in INI file =A?\n"),
            std::string::npos)
      << g.console.transcript;
  EXPECT_EQ(g.console.waitKeyCalls, 1);
  EXPECT_TRUE(g.http.urls.empty());
}

// The object mode, whole: the configuration file, the decoder, the lines, rows 20 and 21.
// The extension items are asked only with the SondeHub feed on, after the fifteen, and change
// nothing the primary link sends or the screen shows.
TEST_F(StationTest, TheDecodersExtensionIsAskedOnlyWithTheSondehubFeedOn) {
  const auto run = [](const char* keys, FakePlatform& g) {
    PrepareStation(g);
    g.automation.answers[kKind] = Variant::Text("RS41-SGP");
    g.automation.answers[kSatellites] = Variant::Signed(9);
    g.files.contents["NIMBRIX.INI"] = std::string(kGoodIni) + keys;
    g.console.keys.assign(65, "");
    g.console.keys.push_back(kKeyEscape);
    EXPECT_EQ(RunStationOn(g), 0);
  };
  // Each cycle's calls, as the item numbers in the order asked.
  const auto asked = [](const FakePlatform& g) {
    std::vector<int> items;
    for (const auto& [member, item] : g.automation.calls) {
      EXPECT_EQ(member, "GETSONDEDATA");
      items.push_back(item);
    }
    return items;
  };
  const auto cycles = [](int count, int items) {
    std::vector<int> all;
    for (int c = 0; c < count; ++c) {
      for (int i = 0; i < items; ++i) all.push_back(i);
    }
    return all;
  };
  FakePlatform off, on, other;
  run("", off);
  run("SONDEHUB=YES\r\n", on);
  run("SONDEHUB=NO\r\n", other);
  EXPECT_EQ(asked(off), cycles(66, 15));
  EXPECT_EQ(asked(other), cycles(66, 15));
  EXPECT_EQ(asked(on), cycles(66, 18));
  EXPECT_EQ(on.tcp.lines, off.tcp.lines);
  for (int row = 1; row <= 15; ++row) {
    EXPECT_EQ(on.console.RowTrimmed(row), off.console.RowTrimmed(row)) << row;
  }
}

struct ObjectModeTest : StationTest {
  void RunCycles(const std::string& ini, int cycles) {
    f.files.contents["NIMBRIX.INI"] = ini;
    f.console.keys.assign(cycles, "");
    f.console.keys.push_back(kKeyEscape);
    ASSERT_EQ(Run(), 0);
  }
  std::vector<std::string> Objects() const { return LinesWith(":;"); }
};

TEST_F(ObjectModeTest, TheSondeGoesOutAsAnObjectNamedAfterItsSerial) {
  RunCycles(std::string(kGoodIni) + "OBJECT=YES\r\n", 65);
  EXPECT_TRUE(Reports().empty());
  const std::vector<std::string> objects = Objects();
  ASSERT_EQ(objects.size(), 3u);  // cycles 1, 31 and 61
  // The second cycle, with the time the decoder gave in it.
  EXPECT_EQ(objects[0],
            "N0CALL-11>APZQW0,TCPIP*:;T1234567 *204110h4807.41N/07159.26WO190/019/A=040504 "
            "Clb=5.3m/s P=850.4hPa T=-3.2oC U=67%\r\n");
  for (const auto& o : objects) EXPECT_EQ(o.rfind("N0CALL-11>APZQW0,TCPIP*:;T1234567 *", 0), 0u);
  EXPECT_EQ(f.console.RowTrimmed(20), "APRS objects on. Last object sent: T1234567");
  EXPECT_EQ(f.console.RowTrimmed(21).substr(0, 19), "Last transmission: ");
}

TEST_F(ObjectModeTest, WithoutTheKeyTheLinesAreTodaysByteForByte) {
  RunCycles(kGoodIni, 65);
  const std::vector<std::string> reference = f.tcp.lines;
  ASSERT_EQ(Reports().size(), 1u);  // above 2000 m: at cycle 60
  EXPECT_EQ(Reports()[0],
            "N0CALL-11>APZQW0,TCPIP*:@204206h4807.41N/07159.26WO190/019/A=040504 Clb=5.3m/s "
            "P=850.4hPa T=-3.2oC U=67%\r\n");
  EXPECT_EQ(f.console.RowTrimmed(20), "");
  for (const char* other : {"OBJECT=NO\r\n", "OBJECT=\r\n", "OBJ=YES\r\n", "OBJECT =YES\r\n"}) {
    FakePlatform g;
    PrepareStation(g);
    g.files.contents["NIMBRIX.INI"] = std::string(kGoodIni) + other;
    g.console.keys.assign(65, "");
    g.console.keys.push_back(kKeyEscape);
    ASSERT_EQ(RunStationOn(g), 0);
    EXPECT_EQ(g.tcp.lines, reference) << other;
    EXPECT_EQ(g.console.RowTrimmed(20), "") << other;
  }
}

TEST_F(ObjectModeTest, ReadingsTheDecoderDidNotGiveAreLeftOut) {
  // What sonde-bridge answers for an RS41-SG before its calibration: no pressure sensor, no
  // temperature or humidity yet.
  f.automation.answers[kPressure] = Variant::Real(0);
  f.automation.answers[kTemperature] = Variant::Real(-999);
  f.automation.answers[kHumidity] = Variant::Real(-1);
  RunCycles(std::string(kGoodIni) + "OBJECT=YES\r\nFRAME=YES\r\n", 3);
  ASSERT_EQ(Objects().size(), 1u);
  EXPECT_EQ(Objects()[0],
            "N0CALL-11>APZQW0,TCPIP*:;T1234567 *204110h4807.41N/07159.26WO190/019/A=040504 "
            "Clb=5.3m/s FN=2345\r\n");
  // The dashboard shows the stand-ins as always.
  EXPECT_EQ(f.console.RowTrimmed(12),
            "      Pressure=   0.0mB        Temperature=-99.0oC        Humidity=  0%");
}

// What a decoder answers for readings it does not have: EMPTY (sonde-bridge today) or 0 (before).
// The position report, the dashboard and every other line are the same byte for byte; only an
// object leaves the climb and the frame number out, as it leaves out every reading not given.
TEST_F(ObjectModeTest, ReadingsAnsweredEmptyDifferOnlyInTheObject) {
  struct Run {
    std::vector<std::string> lines;
    std::string rows;
  };
  const auto run = [](const std::string& keys, const Variant& missing) {
    FakePlatform g;
    PrepareStation(g);
    for (const int item : {kSpeed, kPressure, kClimb, kFrame}) g.automation.answers[item] = missing;
    g.files.contents["NIMBRIX.INI"] = std::string(kGoodIni) + keys;
    g.console.keys.assign(65, "");
    g.console.keys.push_back(kKeyEscape);
    EXPECT_EQ(RunStationOn(g), 0);
    std::string rows;
    for (int row = 1; row <= 15; ++row) rows += g.console.RowTrimmed(row) + "\n";
    return Run{g.tcp.lines, rows};
  };
  const Variant kEmpty = Variant::Empty(), kZero = Variant::Real(0);
  const Run positionEmpty = run("FRAME=YES\r\n", kEmpty);
  const Run positionZero = run("FRAME=YES\r\n", Variant::Signed(0));
  EXPECT_EQ(positionEmpty.lines, positionZero.lines);
  EXPECT_EQ(positionEmpty.rows, positionZero.rows);
  EXPECT_EQ(positionEmpty.lines, run("FRAME=YES\r\n", kZero).lines);
  ASSERT_GE(positionEmpty.lines.size(), 2u);
  EXPECT_NE(positionEmpty.lines[1].find(" Clb=0m/s P=0hPa T=-3.2oC U=67% FN=0\r\n"),
            std::string::npos)
      << positionEmpty.lines[1];

  const Run objectEmpty = run("OBJECT=YES\r\nFRAME=YES\r\n", kEmpty);
  const Run objectZero = run("OBJECT=YES\r\nFRAME=YES\r\n", Variant::Signed(0));
  EXPECT_EQ(objectEmpty.rows, objectZero.rows);
  ASSERT_GE(objectEmpty.lines.size(), 2u);
  ASSERT_EQ(objectEmpty.lines.size(), objectZero.lines.size());
  EXPECT_EQ(objectEmpty.lines[1],
            "N0CALL-11>APZQW0,TCPIP*:;T1234567 *204110h4807.41N/07159.26WO190/000/A=040504 "
            "T=-3.2oC U=67%\r\n");
  EXPECT_EQ(objectZero.lines[1],
            "N0CALL-11>APZQW0,TCPIP*:;T1234567 *204110h4807.41N/07159.26WO190/000/A=040504 "
            "Clb=0m/s T=-3.2oC U=67% FN=0\r\n");
}

TEST_F(ObjectModeTest, AnM10IsNamedByItsDecodersAprsName) {
  f.automation.answers[kSerial] = Variant::Text("M10-012-3-45678");
  f.automation.answers[kTypeOrAprsName] = Variant::Text("ME8123456");
  RunCycles(std::string(kGoodIni) + "OBJECT=YES\r\n", 3);
  ASSERT_EQ(Objects().size(), 1u);
  EXPECT_EQ(Objects()[0].substr(0, 35), "N0CALL-11>APZQW0,TCPIP*:;ME8123456*");
  EXPECT_EQ(f.console.RowTrimmed(20), "APRS objects on. Last object sent: ME8123456");
}

TEST_F(ObjectModeTest, ASerialWithoutANameSendsNothingAndRow21SaysWhy) {
  f.automation.answers[kSerial] = Variant::Text("DFM-xxxxxxxx");
  RunCycles(std::string(kGoodIni) + "OBJECT=YES\r\nSTATUS=Test\r\n", 40);
  EXPECT_TRUE(Objects().empty());
  EXPECT_TRUE(Reports().empty());
  EXPECT_EQ(f.tcp.lines.size(), 1u) << "the login alone";
  EXPECT_EQ(f.console.RowTrimmed(21), "No APRS object name for serial DFM-xxxxxxxx");
  EXPECT_EQ(f.console.RowTrimmed(20), "APRS objects on. No object sent yet.");
}

}  // namespace
}  // namespace nimbrix
