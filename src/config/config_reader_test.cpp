#include "config/config_reader.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "version/version.h"

namespace nimbrix {

// Readable failure messages: the action kind and its text or value.
void PrintTo(const ConfigAction& action, std::ostream* os) {
  static const char* const kNames[] = {"write", "key", "pause", "exit"};
  *os << kNames[static_cast<int>(action.kind)] << '(' << ::testing::PrintToString(action.text)
      << ", " << action.value << ')';
}

namespace {

using Kind = ConfigAction::Kind;
using Actions = std::vector<ConfigAction>;

ConfigAction Line(std::string text) {
  return {Kind::kWriteLine, std::move(text), 0};
}
const ConfigAction kKey{Kind::kWaitKey, "", 0};
ConfigAction Pause(int ms) {
  return {Kind::kPause, "", ms};
}
const ConfigAction kExit0{Kind::kExit, "", 0};

const ConfigAction kFormat2 = Line("Reading config file version config 2");
const ConfigAction kFormat1 = Line("Reading config file version 1");
const ConfigAction kBlank = Line("");
const ConfigAction kMaxServers = Line("Maximum Servers=10. Press any key to continue...");

StationConfig Defaults() {
  StationConfig config;
  config.nALTITUDE = 1;
  config.sSYMBOL = "/O";
  return config;
}

std::string Login(const std::string& user, const std::string& pass) {
  return "user " + user + " pass " + pass +
         (std::string(" vers ") + kVersionText + " filter b/ZZZZZ/\r\n");
}

TEST(FormatChoice, FirstLineDecides) {
  struct Case {
    ConfigBytes file;
    bool keywordFormat;
  } cases[] = {
      {"USER=DL1ABC\r\n", true},
      {"# comment\r\nDL1ABC\r\n", true},
      {"DL1ABC # here\r\n", true},
      {"DL1ABC\r\nUSER=DL1ABC\r\n", false},
      {"DL1ABC\nUSER=X\r\n", true},  // a lone LF does not end the first line
      {"", false},
      {"\x1aUSER=DL1ABC", false},
      {std::nullopt, false},
  };
  for (const Case& c : cases) {
    const ConfigResult r = ReadConfiguration(c.file);
    ASSERT_FALSE(r.actions.empty());
    EXPECT_EQ(r.actions.front(), c.keywordFormat ? kFormat2 : kFormat1) << c.file.value_or("-");
  }
}

TEST(FormatChoice, DefaultsAndClosingBlankLine) {
  const ConfigResult r = ReadConfiguration(std::string("USER=DL1ABC\r\n"));
  EXPECT_EQ(r.actions, (Actions{kFormat2, kBlank}));
  EXPECT_EQ(r.config.nALTITUDE, 1);
  EXPECT_EQ(r.config.sSYMBOL, "/O");
  EXPECT_EQ(r.config.nQRG, 0);
  EXPECT_EQ(r.config.nP0, 0);
  EXPECT_EQ(r.config.nID, 0);
  EXPECT_EQ(r.config.nFRAME, 0);
  EXPECT_EQ(r.servers.nSERVERS, 0);
  EXPECT_EQ(r.servers.nCURSERVER, 1);
  EXPECT_EQ(r.config.LoginLine, Login("DL1ABC", ""));
}

TEST(Format2, TextSettings) {
  struct Case {
    std::string file;
    std::string StationConfig::*field;
    std::string expected;
  } cases[] = {
      {"USER=dl1abc-9", &StationConfig::sUSER, "DL1ABC-9"},
      {"USER = dl1abc", &StationConfig::sUSER, " DL1ABC"},
      {"=dl1abc", &StationConfig::sUSER, "DL1ABC"},
      {"USER=DL1ABC\r\nuser=dk2xy-15", &StationConfig::sUSER, "DK2XY-15"},
      {"USER=\x84\x94\x81\x82\x61\x62", &StationConfig::sUSER, "\x8E\x99\x9A\x90\x41\x42"},
      {"STATUS=Hello World = ignored", &StationConfig::sSTATUS, "Hello World "},
      {"STATUS", &StationConfig::sSTATUS, ""},
      {"SYMBOL=\\O", &StationConfig::sSYMBOL, "\\O"},
      {"SYMBOL=/>", &StationConfig::sSYMBOL, "/>"},
      {"SYMBOL=\\", &StationConfig::sSYMBOL, "/O"},
      {"SYMBOL=AO", &StationConfig::sSYMBOL, "/O"},
      {"SYMBOL=/O/", &StationConfig::sSYMBOL, "/O"},
      {"SYMBOL=\\X\r\nSYMBOL=", &StationConfig::sSYMBOL, "/O"},
      {"PASS=12345", &StationConfig::sPASS, "12345"},
      {"PASS=01234", &StationConfig::sPASS, "01234"},
      {"PASS=1abc", &StationConfig::sPASS, "1ABC"},  // sorts inside the bounds: not converted
      {"PASS=abc", &StationConfig::sPASS, "123"},
      {"PASS=", &StationConfig::sPASS, ""},
      {"PASS= 12345", &StationConfig::sPASS, "-32-15-14-13-12-11"},
  };
  for (const Case& c : cases) {
    const ConfigResult r = ReadConfigFormat2(c.file, Defaults(), ServerList{});
    EXPECT_EQ(r.config.*(c.field), c.expected) << c.file;
  }
}

TEST(Format2, FlagSettingsLaterLinesDecide) {
  struct Case {
    std::string file;
    std::int16_t StationConfig::*field;
    int expected;
  } cases[] = {
      {"QRG=yes", &StationConfig::nQRG, 1},
      {"QRG=yes\r\nQRG=NO", &StationConfig::nQRG, 1},
      {"QRG= yes", &StationConfig::nQRG, 0},
      {"QRG=yes ", &StationConfig::nQRG, 0},
      {"PRESSURE0=YES", &StationConfig::nP0, 1},
      {"PRESSURE0=YES\r\nPRESSURE0=NO", &StationConfig::nP0, 0},
      {"PRESSURE0=YES\r\nPRESSURE0", &StationConfig::nP0, 0},
      {"ID =yes", &StationConfig::nID, 1},
      {"ID=yes\r\nID=no", &StationConfig::nID, 1},
      {"ALTITUDE=no", &StationConfig::nALTITUDE, 0},
      {"ALTITUDE =NO", &StationConfig::nALTITUDE, 0},
      {"ALTITUDE=off", &StationConfig::nALTITUDE, 1},
      {"ALTITUDE=no\r\nALTITUDE=yes", &StationConfig::nALTITUDE, 0},
      {"FRAME=yes", &StationConfig::nFRAME, 1},
      {"FRAME =yes", &StationConfig::nFRAME, 0},  // "FRAME " is not in the keyword string
      {"Frame=YES=NO", &StationConfig::nFRAME, 1},
  };
  for (const Case& c : cases) {
    const ConfigResult r = ReadConfigFormat2(c.file, Defaults(), ServerList{});
    EXPECT_EQ(r.config.*(c.field), c.expected) << c.file;
    EXPECT_FALSE(r.exits());
  }
}

// OBJECT is matched whole and upper-cased, never shortened; the later line decides.
TEST(Format2, ObjectKey) {
  struct Case {
    std::string file;
    int expected;
  } cases[] = {
      {"OBJECT=YES", 1},
      {"object=yes", 1},
      {"Object=Yes=No", 1},
      {"OBJECT=NO", 0},
      {"OBJECT=", 0},
      {"OBJECT", 0},
      {"OBJECT=JA", 0},
      {"OBJECT=YES\r\nOBJECT=NO", 0},
      {"OBJECT=NO\r\nOBJECT=YES", 1},
      {"OBJ=YES", 0},
      {"OBJECTS=YES", 0},
      {"OBJECT =YES", 0},
      {" OBJECT=YES", 0},
      {"OBJECT= YES", 0},
      {"OBJECT=YES ", 0},
      {"# OBJECT=YES", 0},
  };
  for (const Case& c : cases) {
    const ConfigResult r = ReadConfigFormat2(c.file, Defaults(), ServerList{});
    EXPECT_EQ(r.config.nOBJECT, c.expected) << c.file;
    EXPECT_EQ(r.actions, Actions{kFormat2}) << c.file;
  }
}

// The new key changes nothing else that is read: every other line as before.
TEST(Format2, ObjectKeyLeavesEverythingElseAsItWas) {
  const std::string without =
      "USER=dl1abc-11\r\nPASS=12345\r\nSTATUS=Sonde relay\r\nSERVER=a,1\r\nQRG=YES\r\n"
      "ID=YES\r\nSYMBOL=\\O\r\nALTITUDE=NO\r\nFRAME=YES\r\nPRESSURE0=YES\r\n";
  const ConfigResult before = ReadConfiguration(without);
  EXPECT_EQ(before.config.nOBJECT, 0);
  for (const char* line : {"OBJECT=YES\r\n", "object=no\r\n", "OBJ=YES\r\n"}) {
    SCOPED_TRACE(line);
    const ConfigResult after = ReadConfiguration(line + without + line);
    const StationConfig& a = after.config;
    const StationConfig& b = before.config;
    EXPECT_EQ(after.actions, before.actions);
    EXPECT_EQ(std::tie(a.sUSER, a.sPASS, a.sSTATUS, a.sSYMBOL, a.LoginLine),
              std::tie(b.sUSER, b.sPASS, b.sSTATUS, b.sSYMBOL, b.LoginLine));
    EXPECT_EQ(std::tie(a.nQRG, a.nP0, a.nID, a.nALTITUDE, a.nFRAME),
              std::tie(b.nQRG, b.nP0, b.nID, b.nALTITUDE, b.nFRAME));
    EXPECT_EQ(after.servers.nSERVERS, 1);
    EXPECT_EQ(after.servers.sSERVER[1], "a,1");
  }
  EXPECT_EQ(ReadConfiguration("OBJECT=YES\r\n" + without).config.nOBJECT, 1);
}

TEST(Format1, ObjectIsNoItemOfTheOldFormat) {
  const ConfigResult r =
      ReadConfiguration(std::string("DL1ABC\r\nA\r\n2\r\nh1,1\r\nOBJECT=YES\r\n"));
  EXPECT_EQ(r.actions, (Actions{kFormat1, kBlank}));
  EXPECT_EQ(r.config.nOBJECT, 0);
  EXPECT_EQ(r.servers.sSERVER[2], "OBJECT=YES");
}

TEST(Format2, SkippedAndIgnoredLinesChangeNothing) {
  const std::string file =
      "# USER=X\r\n\r\nSER=DL1ABC\r\n USER=DL1ABC\r\nCOMMENT=yes\r\nDL1ABC\r\n"
      "PRESSURE1=YES\r\nS=1\r\n";
  const ConfigResult r = ReadConfiguration(file);
  EXPECT_EQ(r.actions, (Actions{kFormat2, kBlank}));
  EXPECT_EQ(r.config.sUSER, "");
  EXPECT_EQ(r.config.nP0, 0);
  EXPECT_EQ(r.servers.nSERVERS, 0);
  EXPECT_EQ(r.config.LoginLine, Login("", ""));
}

TEST(Format2, ServersInFileOrderUpToTen) {
  std::string file;
  // Appended piece by piece: g++ 12 -O3 for 32-bit ARM warns of an overlap that is not there
  // in "text" + std::to_string(i) (-Wrestrict).
  for (int i = 1; i <= 12; ++i) {
    file.append("SERVER=host").append(std::to_string(i)).append(",14580\r\n");
  }
  file += "USER=DL1ABC\r\n";
  const ConfigResult r = ReadConfiguration(file);
  EXPECT_EQ(r.actions, (Actions{kFormat2, kMaxServers, kKey, kMaxServers, kKey, kBlank}));
  EXPECT_EQ(r.servers.nSERVERS, 10);
  EXPECT_EQ(r.servers.sSERVER[0], "");
  for (int i = 1; i <= 10; ++i) {
    EXPECT_EQ(r.servers.sSERVER[i], "host" + std::to_string(i) + ",14580");
  }
  EXPECT_EQ(r.config.sUSER, "DL1ABC");  // reading went on after the dropped lines

  const ConfigResult eleven = ReadConfiguration(file.substr(0, file.find("SERVER=host12")));
  EXPECT_EQ(eleven.actions, (Actions{kFormat2, kMaxServers, kKey, kBlank}));
}

TEST(Format2, ServerValueAsWritten) {
  const ConfigResult r =
      ReadConfiguration(std::string("SERVER= a.b , 1 =x\r\nSERVER\r\nSERVER=c,2"));
  EXPECT_EQ(r.servers.nSERVERS, 3);
  EXPECT_EQ(r.servers.sSERVER[1], " a.b , 1 ");
  EXPECT_EQ(r.servers.sSERVER[2], "");
  EXPECT_EQ(r.servers.sSERVER[3], "c,2");
}

TEST(Format2, BadCallsignEndsAtOnce) {
  struct Case {
    std::string file;
    std::string shown;
  } cases[] = {
      {"USER=abc\r\nSERVER=x", "ABC"},
      {"USER=dl1ab-16", "DL1AB-16"},
      {"#\r\nUSER", ""},
      {"USER = abcdefghijk", " ABCDEFGHIJK"},
      {"USER=DL1ABC\r\nUSER=AB\r\nUSER=DL1ABC", "AB"},
      {"USER=AB\x1b[2J\x1b[1;1Hxyz",
       "AB\x1b[2J\x1b[1;1HXYZ"},  // raw here; start-up masks control bytes when writing
  };
  for (const Case& c : cases) {
    const ConfigResult r = ReadConfiguration(c.file);
    EXPECT_EQ(r.actions,
              (Actions{kFormat2, Line("Config file error: check callsign in INI file =" + c.shown),
                       kKey, kExit0}))
        << c.file;
    EXPECT_TRUE(r.exits());
    EXPECT_EQ(r.servers.nSERVERS, 0) << "reading stops at the bad line";
  }
}

// A file from a Linux editor: the same refusal, then what is wrong with it. Files with CR LF
// anywhere, and files that are read, get no such line.
TEST(Format2, LineFeedsAloneAreNamedAfterTheRefusal) {
  struct Case {
    std::string file;
    Actions actions;
  } cases[] = {
      {"USER=DL1ABC-9\nPASS=12345\n",
       {kFormat2, Line("Config file error: check callsign in INI file =DL1ABC-9\nPASS"),
        Line(kLineEndHint), kKey, kExit0}},
      {"DL1ABC\nABCDEF\n1\nh1\n",
       {kFormat1, Line("Config file error: check callsign in INI file"), Line(kLineEndHint), kKey,
        kExit0}},
      {"USER=DL1ABC-9\r\nPASS=1\nSERVER=x\r\nUSER=abc\r\n",
       {kFormat2, Line("Config file error: check callsign in INI file =ABC"), kKey, kExit0}},
  };
  for (const Case& c : cases) EXPECT_EQ(ReadConfiguration(c.file).actions, c.actions) << c.file;
  EXPECT_FALSE(ReadConfiguration(std::string("USER=DL1ABC-9\r\nSERVER=a,1\r\n")).exits());
}

// A port that can never be connected to is named once at start; the entry stays in the list.
TEST(Format2, APortAbove32767IsNamedAtStart) {
  struct Case {
    const char* servers;
    std::vector<std::string> lines;
  } cases[] = {
      {"SERVER=a,14580\r\nSERVER=tunnel,40000\r\n",
       {"SERVER=tunnel,40000: ports above 32767 cannot be used, entry 2 will not connect"}},
      {"SERVER=a,32767\r\nSERVER=b,14580,x\r\nSERVER=c\r\n", {}},
      {"SERVER=a,65535,filter\r\n",
       {"SERVER=a,65535,filter: ports above 32767 cannot be used, entry 1 will not connect"}},
  };
  for (const Case& c : cases) {
    const ConfigResult r = ReadConfiguration("USER=DL1ABC\r\n" + std::string(c.servers));
    Actions expected{kFormat2};
    for (const std::string& line : c.lines) expected.push_back(Line(line));
    expected.push_back(kBlank);
    EXPECT_EQ(r.actions, expected) << c.servers;
  }
  EXPECT_EQ(ReadConfiguration(std::string("USER=DL1ABC\r\nSERVER=t,40000\r\n")).servers.nSERVERS,
            1);
}

TEST(Format2, FullFile) {
  const std::string file =
      "# NIMBRIX station\r\nUSER=dl1abc-11\r\nPASS=12345\r\nSTATUS=Sonde relay\r\n"
      "SERVER=rotate.aprs2.net,14580\r\nSERVER=euro.aprs2.net,14580\r\nQRG=YES\r\nID=YES\r\n"
      "SYMBOL=/O\r\nALTITUDE=YES\r\nFRAME=YES\r\nPRESSURE0=NO\r\n";
  const ConfigResult r = ReadConfiguration(file);
  EXPECT_EQ(r.actions, (Actions{kFormat2, kBlank}));
  EXPECT_EQ(r.config.LoginLine, Login("DL1ABC-11", "12345"));
  EXPECT_EQ(r.config.sSTATUS, "Sonde relay");
  EXPECT_EQ(r.servers.nSERVERS, 2);
  EXPECT_EQ(r.servers.sSERVER[2], "euro.aprs2.net,14580");
  EXPECT_EQ(r.config.nQRG, 1);
  EXPECT_EQ(r.config.nID, 1);
  EXPECT_EQ(r.config.nFRAME, 1);
  EXPECT_EQ(r.config.nALTITUDE, 1);
  EXPECT_EQ(r.config.nP0, 0);
}

TEST(Format2, LoginLineCarriesTheConvertedPasscode) {
  const ConfigResult r = ReadConfiguration(std::string("USER=dl1abc\r\nPASS=abc\r\n"));
  EXPECT_EQ(r.config.LoginLine, Login("DL1ABC", "123"));
}

TEST(Format1, ItemsAndServers) {
  struct Case {
    std::string file;
    std::string user, pass, status;
    int servers;
    std::vector<std::string> slots;
  } cases[] = {
      {"dl1abc\r\nABC\r\n2\r\nhost1,14580\r\n", "dl1abc", "123", "", 2, {"host1,14580", ""}},
      {"DL1ABC\r\nABC\r\n2\r\nh1,1\r\nh2,2\r\nh3,3\r\n", "DL1ABC", "123", "", 2, {"h1,1", "h2,2"}},
      {"DL1ABC,abc,1,h1,1\r\n", "DL1ABC", "333435", "", 1, {"h1,1"}},
      {"DL1ABC\r\nA\r\nSonde relay\r\n1\r\nh1\r\n", "DL1ABC", "1", "Sonde relay", 1, {"h1"}},
      {"DL1ABC\r\nA\r\n0\r\n1\r\nh1\r\n", "DL1ABC", "1", "0", 1, {"h1"}},
      {"DL1ABC\r\nA\r\nX\r\n1\r\nh1\r\n", "DL1ABC", "1", "X", 1, {"h1"}},
      {"DL1ABC\r\nA\r\nrelay,2\r\nh1\r\nh2\r\n", "DL1ABC", "1", "relay", 2, {"h1", "h2"}},
      {"DL1ABC\r\nA\r\n\"a, b\" ,1\r\nh1\r\n", "DL1ABC", "1", "a, b", 1, {"h1"}},
      {"DL1ABC\r\n12\r\n1\r\n h1 , 2 \r\n", "DL1ABC", "-15-14", "", 1, {" h1 , 2 "}},
      {"DL1ABC\r\nA\r\ns\r\n2.5\r\nh1\r\nh2\r\n", "DL1ABC", "1", "s", 2, {"h1", "h2"}},
      {"DL1ABC\r\nA\r\ns\r\n1.5\r\nh1\r\nh2\r\n", "DL1ABC", "1", "s", 2, {"h1", "h2"}},
      {"DL1ABC\r\nA\r\ns\r\n10.5\r\n", "DL1ABC", "1", "s", 10, {}},
      {"DL1ABC\r\nA\r\ns\r\n1e1\r\n", "DL1ABC", "1", "s", 10, std::vector<std::string>(10)},
      {"DL1ABC\r\nA\r\n1\r\nh1\x1ah2\r\n", "DL1ABC", "1", "", 1, {"h1"}},
      {"\"DL1ABC\"\r\n\"A B\"\r\n1\r\nh1\r\n", "DL1ABC", "1-322", "", 1, {"h1"}},
      {"  dl1abc-15  \r\nA\r\n1\r\nh1", "dl1abc-15  ", "1", "", 1, {"h1"}},
  };
  for (const Case& c : cases) {
    const ConfigResult r = ReadConfiguration(c.file);
    SCOPED_TRACE(c.file);
    EXPECT_EQ(r.actions, (Actions{kFormat1, kBlank}));
    EXPECT_EQ(r.config.sUSER, c.user);
    EXPECT_EQ(r.config.sPASS, c.pass);
    EXPECT_EQ(r.config.sSTATUS, c.status);
    EXPECT_EQ(r.servers.nSERVERS, c.servers);
    for (std::size_t i = 0; i < c.slots.size(); ++i)
      EXPECT_EQ(r.servers.sSERVER[i + 1], c.slots[i]);
    EXPECT_EQ(r.config.LoginLine, Login(c.user, c.pass));
    EXPECT_EQ(r.config.nALTITUDE, 1);
    EXPECT_EQ(r.config.sSYMBOL, "/O");
    EXPECT_EQ(r.config.nQRG + r.config.nP0 + r.config.nID + r.config.nFRAME, 0);
  }
}

TEST(Format1, BadCallsignHidesIt) {
  for (const ConfigBytes& file :
       {ConfigBytes{std::nullopt}, ConfigBytes{""}, ConfigBytes{"abc\r\nA\r\n1\r\nh\r\n"},
        ConfigBytes{"dl1abcdefghi\r\n"}, ConfigBytes{"dl1ab-16,A,1,h"}}) {
    const ConfigResult r = ReadConfiguration(file);
    EXPECT_EQ(r.actions, (Actions{kFormat1, Line("Config file error: check callsign in INI file"),
                                  kKey, kExit0}))
        << file.value_or("-");
  }
}

TEST(Format1, BadServerCount) {
  const Actions refused{kFormat1,
                        Line("Config file error: check number of servers should be 1 to 9"),
                        Line("Exiting..."), Pause(5000), kExit0};
  for (const char* count : {"0", "11", "-1", "abc", "", "0.5", "11.5", "99999999999", "1e999"}) {
    const std::string file = std::string("DL1ABC\r\nA\r\nstatus\r\n") + count + "\r\nh1\r\n";
    const ConfigResult r = ReadConfiguration(file);
    EXPECT_EQ(r.actions, refused) << count;
  }
  // Wrapping 65537 into 16 bits would give 1; it is clamped and refused.
  EXPECT_EQ(ReadConfiguration(std::string("DL1ABC,A,s,65537,h")).actions, refused);
  // The status item ends the file: the count reads as empty.
  EXPECT_EQ(ReadConfiguration(std::string("DL1ABC\r\nA\r\nstatus")).actions, refused);
}

TEST(HostileInput, NoCrashNoHangLinearReading) {
  const std::string mega(2 << 20, 'A');
  std::string binary;
  for (int i = 0; i < 1 << 16; ++i) binary += static_cast<char>(i * 7919 % 256);
  std::string manyServers;
  for (int i = 0; i < 20000; ++i) manyServers += "SERVER=\r\n";
  const ConfigBytes files[] = {
      "USER=" + mega,
      "USER=DL1ABC\r\nSTATUS=" + mega + "\r\nPASS=" + mega,
      mega + "=" + mega,
      mega,
      "\"" + mega,
      "DL1ABC\r\nA\r\n" + mega,
      "DL1ABC\r\nA\r\nS\r\n" + mega,
      "DL1ABC\r\n\"" + mega,
      "#" + binary,
      binary,
      std::string(1 << 16, '\0'),
      std::string(1 << 16, '\n'),
      std::string(1 << 16, '"'),
      std::string(1 << 16, ','),
      manyServers,
  };
  for (const ConfigBytes& file : files) {
    const ConfigResult r = ReadConfiguration(file);
    ASSERT_FALSE(r.actions.empty());
    if (!r.exits()) {
      EXPECT_EQ(r.config.LoginLine.find_first_of("\r\n"), r.config.LoginLine.size() - 2);
    }
  }
  EXPECT_EQ(ReadConfiguration(manyServers).servers.nSERVERS, 10);
}

TEST(HostileInput, LineEndsInTheCallsignStayOutOfTheLogin) {
  const ConfigResult r = ReadConfiguration(std::string("\"DL\r\nABC\"\r\nA\r\n1\r\nh\r\n"));
  ASSERT_FALSE(r.exits());
  EXPECT_EQ(r.config.sUSER, "DL\r\nABC");
  EXPECT_EQ(r.config.LoginLine, Login("DLABC", "1"));
}

}  // namespace
}  // namespace nimbrix
