#include "outputs/flight_log.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <locale>
#include <stdexcept>
#include <string>
#include <vector>

#include "format/utc_text.h"
#include "outputs/flight_log_format.h"
#include "outputs/frame_news.h"
#include "platform/fake/fakes.h"

namespace nimbrix {
namespace {

using fake::FakeClock;
using fake::FakeFiles;
using State = DestinationStatus::State;

constexpr char kHeader[] =
    "time_utc,serial,type,frame,lat,lon,alt_m,vel_h_ms,heading_deg,vel_v_ms,temp_c,humidity_pct,"
    "pressure_hpa,sats,batt_v,freq_mhz\n";
// 2026-12-08 20:41:05 UTC, the fake clock's start.
constexpr std::int64_t kStartMs = 1796762465000;
constexpr char kCsv[] = "log/S2410203_20261208.csv";
constexpr char kGpx[] = "log/S2410203_20261208.gpx";

// An RS41 frame with every reading given.
SondeSample Rs41(int frame, double lat = 48.123456, double lon = 11.5, double alt = 1234.5) {
  SondeSample s;
  s.serial = "S2410203";
  s.kind = "RS41-SGP";
  s.latitude = lat;
  s.longitude = lon;
  s.altitude = alt;
  s.course = 45;
  s.speedKmh = 36.0f;
  s.climb = 5.25;
  s.temperature = -12.3;
  s.humidity = 67;
  s.pressure = 850.4;
  s.frame = frame;
  s.timeText = "2026-12-08 20:41:05";
  s.qrg = "403.001";
  s.satellites = 9;
  s.batteryVolts = 2.9;
  s.given = {true, true, true, true, true, true, true, true};
  return s;
}

// The decoder's two times of one frame: item 14 and item 6 of the same second.
void Timed(SondeSample& s, std::int64_t utcMs) {
  s.timeMs = utcMs;
  s.timeText = IsoUtcSeconds(utcMs).substr(0, 19);
  s.timeText[10] = ' ';
}

// A well-formed XML document: one root, every tag closed in order, attributes quoted, no stray
// '<' or '&'. Counts the elements named `counted`.
struct XmlCheck {
  bool wellFormed = false;
  int counted = 0;
};

XmlCheck CheckXml(const std::string& text, const std::string& counted = "trkpt") {
  XmlCheck check;
  std::vector<std::string> open;
  bool rootSeen = false;
  std::size_t i = 0;
  if (text.rfind("<?xml", 0) == 0) {
    i = text.find("?>");
    if (i == std::string::npos) return check;
    i += 2;
  }
  while (i < text.size()) {
    const char c = text[i];
    if (c != '<') {
      if (open.empty() && c != ' ' && c != '\n') return check;  // text outside the root
      if (c == '&') return check;
      ++i;
      continue;
    }
    const std::size_t end = text.find('>', i);
    if (end == std::string::npos) return check;
    std::string tag = text.substr(i + 1, end - i - 1);
    i = end + 1;
    if (tag.empty()) return check;
    if (tag[0] == '/') {
      if (open.empty() || open.back() != tag.substr(1)) return check;
      open.pop_back();
      continue;
    }
    const bool empty = tag.back() == '/';
    if (empty) tag.pop_back();
    const std::string name = tag.substr(0, tag.find(' '));
    // Attributes: name="value" pairs.
    std::size_t quotes = 0;
    for (char t : tag) {
      if (t == '"') ++quotes;
      if (t == '<') return check;
    }
    if (quotes % 2 != 0 || name.empty()) return check;
    if (open.empty()) {
      if (rootSeen) return check;
      rootSeen = true;
    }
    if (name == counted) ++check.counted;
    if (!empty) open.push_back(name);
  }
  check.wellFormed = rootSeen && open.empty();
  return check;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t nl = text.find('\n'); nl != std::string::npos; nl = text.find('\n', start)) {
    lines.push_back(text.substr(start, nl - start));
    start = nl + 1;
  }
  EXPECT_EQ(start, text.size()) << "a line cut short";
  return lines;
}

struct Rig {
  FakeFiles files;
  FakeClock clock;
  FlightLog log{"log", files, clock};
  // One frame a second, on the clock.
  void Feed(SondeSample s) {
    Timed(s, clock.UtcMs());
    log.Frame(s, clock.UtcMs());
    clock.Advance(1000);
  }
  std::string Csv(const char* path = kCsv) { return files.contents[path]; }
  std::string Gpx(const char* path = kGpx) { return files.contents[path]; }
};

TEST(FlightLogText, CsvRows) {
  SondeSample full = Rs41(4711);
  Timed(full, kStartMs + 250);
  SondeSample bare = full;
  bare.given = {};
  bare.satellites.reset();
  bare.batteryVolts.reset();
  bare.qrg = "";
  bare.latitude = 0;
  bare.longitude = 0;
  SondeSample hostile = full;
  hostile.kind = "RS41,\"x\"\r\n\x1b[2J";
  hostile.qrg = "403,5";
  hostile.altitude = 1e300;
  hostile.climb = -0.001;
  SondeSample south = full;
  south.latitude = -33.5;
  south.longitude = -70.25;
  south.course = 359.96;
  struct Case {
    const char* name;
    SondeSample sample;
    const char* row;
  } cases[] = {
      {"every reading", full,
       "2026-12-08T20:41:05.250Z,S2410203,RS41-SGP,4711,48.123456,11.5,1234.5,10,45,5.25,-12.3,67,"
       "850.4,9,2.9,403.001\n"},
      {"nothing given", bare, "2026-12-08T20:41:05.250Z,S2410203,RS41-SGP,,,,,,,,,,,,,\n"},
      {"hostile texts", hostile,
       "2026-12-08T20:41:05.250Z,S2410203,RS41x[2J,4711,48.123456,11.5,,10,45,0,-12.3,67,850.4,9,"
       "2.9,\n"},
      {"south and west", south,
       "2026-12-08T20:41:05.250Z,S2410203,RS41-SGP,4711,-33.5,-70.25,1234.5,10,360,5.25,-12.3,67,"
       "850.4,9,2.9,403.001\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FlightCsvRow(c.sample, "S2410203", kStartMs + 250), c.row) << c.name;
    EXPECT_EQ(Lines(FlightCsvRow(c.sample, "S2410203", kStartMs)).size(), 1u) << c.name;
  }
}

// The numbers never take the locale's decimal comma.
TEST(FlightLogText, LocaleLeavesTheDotAlone) {
  const std::locale before = std::locale::global(std::locale::classic());
  bool set = false;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "nl_NL.UTF-8", "de_DE"}) {
    try {
      std::locale::global(std::locale(name));
      set = true;
      break;
    } catch (const std::runtime_error&) {
    }
  }
  if (!set) {
    std::locale::global(before);
    GTEST_SKIP() << "no locale with a decimal comma on this machine";
  }
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 0.5);
  EXPECT_STREQ(probe, "0,5");  // the C library writes numbers the locale's way now
  SondeSample s = Rs41(4711);
  const std::string row = FlightCsvRow(s, "S2410203", kStartMs);
  const std::string point = FlightGpxPoint(s, kStartMs);
  std::locale::global(before);
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(row, FlightCsvRow(s, "S2410203", kStartMs));
  EXPECT_EQ(point, FlightGpxPoint(s, kStartMs));
  EXPECT_NE(row.find("48.123456,11.5,1234.5"), std::string::npos) << row;
}

TEST(FlightLogText, FileSafeSerials) {
  struct Case {
    const char* serial;
    const char* safe;
  } cases[] = {
      {"S2410203", "S2410203"},
      {"DFM-314377", "DFM-314377"},
      {"M10-012-3-45678", "M10-012-3-45678"},
      {"../../etc/passwd", "etcpasswd"},
      {"C:\\x y", "Cxy"},
      {"a\x1b[2J\r\nb", "a2Jb"},
      {"IMS_1,2\"", "IMS_12"},
      {"\xc3\xa4\xc3\xb6", ""},
      {"...", ""},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(FileSafeSerial(c.serial), c.safe) << c.serial;
  EXPECT_EQ(FileSafeSerial(std::string(300, 'A')).size(), 64u);
}

// Each row carries the frame's own time; a frame without one is dated by its reading.
TEST(FlightLog, RowTimes) {
  struct Case {
    const char* name;
    const char* item6;
    std::int64_t timeMs;
    const char* time;
  } cases[] = {
      {"both items", "2026-12-08 20:41:04", kStartMs - 1000 + 123, "2026-12-08T20:41:04.123Z"},
      {"item 6", "2026-12-08 20:41:03", 0, "2026-12-08T20:41:03.000Z"},
      {"item 14 a day off", "", kStartMs - 86400000 + 7, "2026-12-07T20:41:05.007Z"},
      {"time of day only", "xxxxxxxxxxx20:40:59", 0, "2026-12-08T20:40:59.000Z"},
      {"nothing", "", 0, "2026-12-08T20:41:05.500Z"},
  };
  for (const Case& c : cases) {
    Rig rig;
    SondeSample s = Rs41(1);
    s.timeText = c.item6;
    s.timeMs = c.timeMs;
    rig.log.Frame(s, kStartMs + 500);
    std::string csv;
    for (const auto& [path, content] : rig.files.contents) {
      if (path.size() > 4 && path.substr(path.size() - 4) == ".csv") csv = content;
    }
    const std::vector<std::string> rows = Lines(csv);
    ASSERT_EQ(rows.size(), 2u) << c.name;
    EXPECT_EQ(rows[1].substr(0, 24), c.time) << c.name;
  }
}

TEST(FlightLogText, WhereAnEarlierFileGoesOn) {
  const std::string head = FlightGpxHead("S1");
  const std::string point = "<trkpt lat=\"1\" lon=\"2\"><time>t</time></trkpt>\n";
  const std::string tail(kFlightGpxTail);
  const std::string row = "2026-12-08T20:41:05.000Z,S1,RS41,7,1,2,3,,,,,,,,,\n";
  struct Case {
    const char* name;
    std::string content;
    std::optional<std::size_t> csv, gpx;
  } cases[] = {
      {"a CSV with rows", kHeader + row + row, std::string(kHeader).size() + row.size() * 2,
       std::nullopt},
      {"a CSV with a row cut short", kHeader + row + row.substr(0, 9),
       std::string(kHeader).size() + row.size(), std::nullopt},
      {"a CSV with only its head", kHeader, std::string(kHeader).size(), std::nullopt},
      {"a CSV with its head cut", std::string(kHeader).substr(0, 20), std::nullopt, std::nullopt},
      {"another file", "name,value\n1,2\n", std::nullopt, std::nullopt},
      {"a closed GPX", head + point + point + tail, std::nullopt, head.size() + point.size() * 2},
      {"a GPX without points", head + tail, std::nullopt, head.size()},
      {"a GPX cut in a point", head + point + point.substr(0, 12), std::nullopt,
       head.size() + point.size()},
      {"a GPX cut in its head", head.substr(0, 30), std::nullopt, std::nullopt},
      {"no XML", "hello", std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CsvResumeOffset(c.content), c.csv) << c.name;
    EXPECT_EQ(GpxResumeOffset(c.content), c.gpx) << c.name;
  }
  EXPECT_EQ(LastCsvFrameKey(kHeader + row + row.substr(0, 30)), "7");
  EXPECT_EQ(LastCsvFrameKey(std::string(kHeader) + "2026-12-08T20:41:05.000Z,S1,RS41,,1\n"), "");
  EXPECT_EQ(LastCsvFrameKey(kHeader), "");
}

// After every frame the CSV has its head and a row per frame, the GPX is a whole document.
TEST(FlightLog, EveryFrameLeavesBothFilesWhole) {
  Rig rig;
  for (int frame = 1; frame <= 5; ++frame) {
    rig.Feed(Rs41(frame, 48 + frame * 0.001));
    const std::vector<std::string> rows = Lines(rig.Csv());
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(frame) + 1);
    EXPECT_EQ(rows[0] + "\n", kHeader);
    EXPECT_EQ(rows.back().substr(0, 44), "2026-12-08T20:41:0" + std::to_string(4 + frame) +
                                             ".000Z,S2410203,RS41-SGP," + std::to_string(frame));
    const XmlCheck xml = CheckXml(rig.Gpx());
    EXPECT_TRUE(xml.wellFormed) << rig.Gpx();
    EXPECT_EQ(xml.counted, frame);
  }
  EXPECT_NE(rig.Gpx().find("xmlns=\"http://www.topografix.com/GPX/1/1\""), std::string::npos);
  EXPECT_NE(rig.Gpx().find("<trk><name>S2410203</name><trkseg>"), std::string::npos);
  EXPECT_NE(rig.Gpx().find("<trkpt lat=\"48.005\" lon=\"11.5\"><ele>1234.5</ele>"
                           "<time>2026-12-08T20:41:09.000Z</time></trkpt>"),
            std::string::npos);
  EXPECT_EQ(CheckXml(rig.Gpx(), "trk").counted, 1);
  EXPECT_EQ(CheckXml(rig.Gpx(), "trkseg").counted, 1);
  const DestinationStatus status = rig.log.Status();
  EXPECT_EQ(status.state, State::kUp);
  EXPECT_EQ(status.kind, "LOG");
  EXPECT_EQ(status.name, "log");
  EXPECT_EQ(status.sent, 5u);
  EXPECT_EQ(status.failed, 0u);
}

TEST(FlightLogXmlCheck, CatchesBrokenDocuments) {
  struct Case {
    const char* text;
    bool wellFormed;
  } cases[] = {
      {"<a><b x=\"1\"/></a>", true},
      {"<?xml version=\"1.0\"?>\n<a>t</a>\n", true},
      {"<a><b></a></b>", false},
      {"<a><b></b>", false},
      {"<a></a><a></a>", false},
      {"<a x=\"1></a>", false},
      {"text<a></a>", false},
      {"<a>&</a>", false},
      {"", false},
      {"<a></a", false},
  };
  for (const Case& c : cases) EXPECT_EQ(CheckXml(c.text).wellFormed, c.wellFormed) << c.text;
}

// The outputs may be handed one frame several times; a frame without a number goes by its time.
TEST(FlightLog, SameFrameLoggedOnce) {
  Rig rig;
  SondeSample s = Rs41(100);
  Timed(s, kStartMs);
  for (int i = 0; i < 3; ++i) rig.log.Frame(s, kStartMs + i * 500);
  SondeSample unnumbered = Rs41(0);
  unnumbered.given.frame = false;
  Timed(unnumbered, kStartMs + 1000);
  for (int i = 0; i < 2; ++i) rig.log.Frame(unnumbered, kStartMs + 1000);
  Timed(unnumbered, kStartMs + 2000);
  rig.log.Frame(unnumbered, kStartMs + 2000);
  // Neither number nor time: read again and again, it is still one frame.
  SondeSample timeless = unnumbered;
  timeless.timeMs = 0;
  timeless.timeText = "";
  for (int i = 0; i < 3; ++i) rig.log.Frame(timeless, kStartMs + 2500 + i * 100);
  s.frame = 103;
  Timed(s, kStartMs + 3000);
  rig.log.Frame(s, kStartMs + 3000);
  const std::vector<std::string> rows = Lines(rig.Csv());
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_EQ(rows[1].substr(0, 47), "2026-12-08T20:41:05.000Z,S2410203,RS41-SGP,100,");
  EXPECT_EQ(rows[2].substr(0, 44), "2026-12-08T20:41:06.000Z,S2410203,RS41-SGP,,");
  EXPECT_EQ(rows[3].substr(0, 44), "2026-12-08T20:41:07.000Z,S2410203,RS41-SGP,,");
  EXPECT_EQ(rows[4].substr(0, 44), "2026-12-08T20:41:07.500Z,S2410203,RS41-SGP,,");
  EXPECT_EQ(rows[5].substr(0, 47), "2026-12-08T20:41:08.000Z,S2410203,RS41-SGP,103,");
  EXPECT_EQ(CheckXml(rig.Gpx()).counted, 5);
  EXPECT_EQ(rig.log.Status().sent, 5u);
}

TEST(FlightLog, TwoSondesTwoFilePairs) {
  Rig rig;
  SondeSample dfm = Rs41(0);
  dfm.serial = "DFM-314377";
  dfm.kind = "DFM09";
  dfm.given.pressure = false;
  for (int i = 1; i <= 3; ++i) {
    rig.Feed(Rs41(i));
    dfm.frame = 5000 + i;
    rig.Feed(dfm);
  }
  EXPECT_EQ(Lines(rig.Csv()).size(), 4u);
  const std::string dfmCsv = rig.Csv("log/DFM-314377_20261208.csv");
  const std::vector<std::string> rows = Lines(dfmCsv);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[3].substr(25, 23), "DFM-314377,DFM09,5003,4");
  EXPECT_NE(rows[3].find(",67,,9,"), std::string::npos) << rows[3];  // no pressure
  EXPECT_EQ(CheckXml(rig.Gpx("log/DFM-314377_20261208.gpx")).counted, 3);
  EXPECT_EQ(CheckXml(rig.Gpx()).counted, 3);
  EXPECT_EQ(rig.files.contents.size(), 4u);
}

// A frame without a position is a row with empty places and no track point; a serial with
// nothing usable makes no file at all.
TEST(FlightLog, FramesWithoutPlaceOrName) {
  Rig rig;
  rig.Feed(Rs41(1, 0, 0));
  SondeSample nameless = Rs41(2);
  nameless.serial = "\x1b[;/";
  rig.Feed(nameless);
  ASSERT_EQ(Lines(rig.Csv()).size(), 2u);
  EXPECT_EQ(Lines(rig.Csv())[1].substr(43, 9), "1,,,1234.");
  EXPECT_EQ(rig.files.contents.count(kGpx), 0u);  // no track without a point
  EXPECT_EQ(rig.files.contents.size(), 1u);
  rig.Feed(Rs41(3));
  const XmlCheck xml = CheckXml(rig.Gpx());
  EXPECT_TRUE(xml.wellFormed);
  EXPECT_EQ(xml.counted, 1);
  EXPECT_EQ(rig.files.contents.size(), 2u);
}

// A full disk is told once; the rows wait, and go out in order once there is room again.
TEST(FlightLog, FullDiskThenRoomAgain) {
  struct Case {
    const char* name;
    std::size_t freeBytes;
  } cases[] = {
      {"no room at all", 0},
      {"half a row", 60},        // the row is cut short, the GPX left as it was
      {"a row and a bit", 150},  // the row fits, the GPX point is cut short
  };
  for (const Case& c : cases) {
    Rig rig;
    rig.Feed(Rs41(1));
    rig.files.freeBytes = c.freeBytes;
    std::vector<State> states;
    std::vector<std::int64_t> since;
    for (int frame = 2; frame <= 12; ++frame) {
      rig.Feed(Rs41(frame));
      const DestinationStatus s = rig.log.Status();
      if (states.empty() || states.back() != s.state) {
        states.push_back(s.state);
        since.push_back(s.sinceUtcMs);
      }
      EXPECT_EQ(s.sinceUtcMs, since.back()) << c.name;
    }
    EXPECT_EQ(states, (std::vector<State>{State::kFailing})) << c.name;
    EXPECT_EQ(rig.log.Status().stateText, "cannot write: disk full or read-only?");
    rig.files.freeBytes.reset();
    rig.clock.Advance(FlightLog::kRetryMs);
    rig.log.Retry();  // no frame needed: the kept rows go on their own
    EXPECT_EQ(rig.log.Status().state, State::kUp) << c.name;
    const std::vector<std::string> rows = Lines(rig.Csv());
    ASSERT_EQ(rows.size(), 13u) << c.name;
    for (int frame = 1; frame <= 12; ++frame) {
      const std::string number = std::to_string(frame) + ",";
      EXPECT_EQ(rows[frame].substr(43, number.size()), number) << c.name << rows[frame];
    }
    const XmlCheck xml = CheckXml(rig.Gpx());
    EXPECT_TRUE(xml.wellFormed) << c.name << rig.Gpx();
    EXPECT_EQ(xml.counted, 12) << c.name;
    EXPECT_EQ(rig.log.Status().sent, 12u) << c.name;
    EXPECT_EQ(rig.log.Status().failed, 0u) << c.name;
  }
}

// While writing fails, only so many rows are kept per file; the oldest go and are counted.
TEST(FlightLog, KeptRowsAreBounded) {
  Rig rig;
  rig.files.writesFail = true;
  const int frames = static_cast<int>(FlightLog::kMaxKeptLines) + 50;
  for (int frame = 1; frame <= frames; ++frame) rig.Feed(Rs41(frame));
  EXPECT_EQ(rig.log.Status().failed, 50u);
  rig.files.writesFail = false;
  rig.clock.Advance(FlightLog::kRetryMs);
  rig.log.Retry();
  const std::vector<std::string> rows = Lines(rig.Csv());
  ASSERT_EQ(rows.size(), FlightLog::kMaxKeptLines + 1);
  EXPECT_EQ(rows[1].substr(43, 3), "51,");
  EXPECT_EQ(CheckXml(rig.Gpx()).counted, static_cast<int>(FlightLog::kMaxKeptLines));
}

TEST(FlightLog, ReadOnlyFolder) {
  FakeFiles files;
  FakeClock clock;
  files.folders.insert("ro");
  files.readOnly.insert("ro");
  files.readOnly.insert("/mnt/cd");
  FlightLog log("ro", files, clock);
  EXPECT_EQ(log.Status().state, State::kUp);  // there, if not writable
  FlightLog missing("/mnt/cd/flights", files, clock);
  EXPECT_EQ(missing.Status().state, State::kFailing);
  EXPECT_EQ(missing.Status().stateText, "cannot make the folder");
  for (int frame = 1; frame <= 3; ++frame) {
    SondeSample s = Rs41(frame);
    Timed(s, clock.UtcMs());
    log.Frame(s, clock.UtcMs());
    missing.Frame(s, clock.UtcMs());
    clock.Advance(1000);
  }
  EXPECT_EQ(log.Status().state, State::kFailing);
  EXPECT_EQ(missing.Status().state, State::kFailing);
  EXPECT_TRUE(files.contents.empty());
  EXPECT_EQ(missing.Status().stateText, "cannot make the folder");
  FlightLog idle("/mnt/cd/idle", files, clock);
  files.readOnly.clear();
  idle.Retry();  // the folder made without a frame to write
  EXPECT_EQ(idle.Status().state, State::kUp);
  EXPECT_EQ(idle.Status().stateText, "ready");
  EXPECT_EQ(files.folders.count("/mnt/cd/idle"), 1u);
  clock.Advance(FlightLog::kRetryMs);
  log.Retry();
  missing.Retry();
  EXPECT_EQ(log.Status().state, State::kUp);
  EXPECT_EQ(missing.Status().state, State::kUp);
  EXPECT_EQ(Lines(files.contents["ro/S2410203_20261208.csv"]).size(), 4u);
  EXPECT_EQ(Lines(files.contents["/mnt/cd/flights/S2410203_20261208.csv"]).size(), 4u);
}

// A station started again mid-flight goes on in the same files: no second head, the GPX whole,
// the frame it had logged last not logged twice.
TEST(FlightLog, RestartAppends) {
  Rig rig;
  for (int frame = 1; frame <= 3; ++frame) rig.Feed(Rs41(frame));
  // A crash in the middle of writing a point left half of it.
  rig.files.contents[kGpx].resize(rig.Gpx().size() - 30);
  FlightLog again("log", rig.files, rig.clock);
  SondeSample last = Rs41(3);
  Timed(last, rig.clock.UtcMs() - 1000);
  again.Frame(last, rig.clock.UtcMs());
  for (int frame = 4; frame <= 5; ++frame) {
    SondeSample s = Rs41(frame);
    Timed(s, rig.clock.UtcMs());
    again.Frame(s, rig.clock.UtcMs());
    rig.clock.Advance(1000);
  }
  const std::vector<std::string> rows = Lines(rig.Csv());
  ASSERT_EQ(rows.size(), 6u);
  for (int frame = 1; frame <= 5; ++frame) {
    EXPECT_EQ(rows[frame].substr(43, 2), std::to_string(frame) + ",");
  }
  const XmlCheck xml = CheckXml(rig.Gpx());
  EXPECT_TRUE(xml.wellFormed) << rig.Gpx();
  EXPECT_EQ(xml.counted, 4);  // the cut point is gone, not the others
  EXPECT_EQ(rig.Gpx().find("<?xml", 1), std::string::npos);
  EXPECT_EQ(again.Status().sent, 2u);
}

// A flight keeps its file past midnight; a restart after midnight finds yesterday's.
TEST(FlightLog, FlightAcrossMidnight) {
  FakeFiles files;
  FakeClock clock({2026, 12, 8, 23, 59, 58, 0});
  auto feed = [&](FlightLog& log, int frame) {
    SondeSample s = Rs41(frame);
    Timed(s, clock.UtcMs());
    log.Frame(s, clock.UtcMs());
    clock.Advance(1000);
  };
  {
    FlightLog log("log", files, clock);
    for (int frame = 1; frame <= 4; ++frame) feed(log, frame);
  }
  FlightLog again("log", files, clock);
  feed(again, 5);
  EXPECT_EQ(Lines(files.contents[kCsv]).size(), 6u);
  EXPECT_EQ(CheckXml(files.contents[kGpx]).counted, 5);
  EXPECT_EQ(files.contents.count("log/S2410203_20261209.csv"), 0u);
  EXPECT_EQ(Lines(files.contents[kCsv])[5].substr(0, 10), "2026-12-09");
}

// A file deleted or emptied under the log is begun again with its head.
TEST(FlightLog, DeletedOrEmptiedFilesBeginAgain) {
  struct Case {
    const char* name;
    void (*change)(FakeFiles&);
  } cases[] = {
      {"deleted", [](FakeFiles& f) { f.contents.clear(); }},
      {"emptied",
       [](FakeFiles& f) {
         f.contents[kCsv].clear();
         f.contents[kGpx].clear();
       }},
      {"overwritten",
       [](FakeFiles& f) {
         f.contents[kCsv] = "junk";
         f.contents[kGpx] = "junk";
       }},
      {"folder gone",
       [](FakeFiles& f) {
         f.contents.clear();
         f.folders.clear();
       }},
  };
  for (const Case& c : cases) {
    Rig rig;
    rig.Feed(Rs41(1));
    c.change(rig.files);
    rig.Feed(Rs41(2));
    const std::vector<std::string> rows = Lines(rig.Csv());
    ASSERT_EQ(rows.size(), 2u) << c.name;
    EXPECT_EQ(rows[0] + "\n", kHeader) << c.name;
    EXPECT_EQ(rows[1].substr(43, 2), "2,") << c.name;
    const XmlCheck xml = CheckXml(rig.Gpx());
    EXPECT_TRUE(xml.wellFormed) << c.name << rig.Gpx();
    EXPECT_EQ(xml.counted, 1) << c.name;
    EXPECT_EQ(rig.log.Status().state, State::kUp) << c.name;
  }
}

// The cycle feeds the followed sonde when the decoder answered, and nothing else.
TEST(FlightLog, CycleFeedsAnsweredFrames) {
  FakeFiles files;
  FakeClock clock;
  FlightLog log("log", files, clock);
  const std::vector<std::string> lines;
  SondeSample s = Rs41(1);
  Timed(s, clock.UtcMs());
  FrameNews news;
  std::vector<SondeFrame> frames = news.Mark(s, false, {});
  log.Cycle(CycleFacts{s, false, clock.UtcMs(), clock.MonotonicMs(), lines, frames});
  EXPECT_TRUE(files.contents.empty());
  frames = news.Mark(s, true, {});
  log.Cycle(CycleFacts{s, true, clock.UtcMs(), clock.MonotonicMs(), lines, frames});
  EXPECT_EQ(Lines(files.contents[kCsv]).size(), 2u);
}

// A decoder making up serials does not make the log hold more and more.
TEST(FlightLog, SondesHeldAreBounded) {
  FakeFiles files;
  FakeClock clock;
  files.writesFail = true;
  FlightLog log("log", files, clock);
  const int sondes = static_cast<int>(FlightLog::kMaxSondes) + 6;
  for (int i = 0; i < sondes; ++i) {
    SondeSample s = Rs41(1);
    s.serial = std::to_string(1000000 + i);
    log.Frame(s, clock.UtcMs());
  }
  EXPECT_EQ(log.Status().failed, 6u);  // the rows of the sondes let go
}

}  // namespace
}  // namespace nimbrix
