#include "config/output_keys.h"

#include <gtest/gtest.h>

#include <string>

#include "config/config_reader.h"

namespace nimbrix {
namespace {

ConfigResult Read(const std::string& lines) {
  return ReadConfiguration("USER=N0CALL-11\r\nPASS=12345\r\n" + lines);
}

// Each key is matched whole and upper-cased; a shortened or padded key is no key at all, and
// every older setting stays as it was.
TEST(OutputKeys, MatchedWholeOnly) {
  struct Case {
    const char* lines;
    int sondehub;
    int beacon;
  } cases[] = {
      {"", 0, 0},
      {"SONDEHUB=YES\r\n", 1, 0},
      {"sondehub=yes\r\n", 1, 0},
      {"SONDEHUB=YES\r\nSONDEHUB=NO\r\n", 0, 0},
      {"SONDEHUB =YES\r\n", 0, 0},
      {" SONDEHUB=YES\r\n", 0, 0},
      {"SONDE=YES\r\n", 0, 0},
      {"SONDEHUB= YES\r\n", 0, 0},
      {"BEACON=YES\r\n", 0, 1},
      {"BEAC=YES\r\n", 0, 0},
      {"# BEACON=YES\r\n", 0, 0},
  };
  for (const Case& c : cases) {
    const ConfigResult r = Read(c.lines);
    EXPECT_EQ(r.config.nSONDEHUB, c.sondehub) << c.lines;
    EXPECT_EQ(r.config.nBEACON, c.beacon) << c.lines;
    EXPECT_EQ(r.config.sUSER, "N0CALL-11");
    EXPECT_EQ(r.config.LoginLine,
              ReadConfiguration("USER=N0CALL-11\r\nPASS=12345\r\n").config.LoginLine);
  }
}

TEST(OutputKeys, StationPosition) {
  struct Case {
    const char* text;
    bool valid;
    double lat, lon, alt;
  } cases[] = {
      {"48.1234,11.5678,520", true, 48.1234, 11.5678, 520},
      {"-33.5, -70.25 , 12.5", true, -33.5, -70.25, 12.5},
      {"48.1,11.5", true, 48.1, 11.5, 0},
      {"+48.1,11.5,0", true, 48.1, 11.5, 0},
      {"90,180,0", true, 90, 180, 0},
      {"90.01,11,0", false, 0, 0, 0},
      {"48,180.5,0", false, 0, 0, 0},
      {"48,11,20000", false, 0, 0, 0},
      {"48", false, 0, 0, 0},
      {"48,11,5,6", false, 0, 0, 0},
      {"48N,11E,5", false, 0, 0, 0},
      {"48,11,", false, 0, 0, 0},
      {"nan,11,5", false, 0, 0, 0},
      {"inf,11,5", false, 0, 0, 0},
      {"", false, 0, 0, 0},
  };
  for (const Case& c : cases) {
    const std::optional<StationPosition> p = ParseStationPosition(c.text);
    ASSERT_EQ(p.has_value(), c.valid) << c.text;
    if (!p) continue;
    EXPECT_DOUBLE_EQ(p->lat, c.lat) << c.text;
    EXPECT_DOUBLE_EQ(p->lon, c.lon) << c.text;
    EXPECT_DOUBLE_EQ(p->alt, c.alt) << c.text;
  }
}

TEST(OutputKeys, HostAndPort) {
  struct Case {
    const char* text;
    bool valid;
    const char* host;
    int port;
  } cases[] = {
      {"radiosondy.example,14580", true, "radiosondy.example", 14580},
      {" 127.0.0.1 , 8080 ", true, "127.0.0.1", 8080},
      {"0.0.0.0,65535", true, "0.0.0.0", 65535},
      {"host,0", false, "", 0},
      {"host,65536", false, "", 0},
      {"host,80x", false, "", 0},
      {"host", false, "", 0},
      {",80", false, "", 0},
      {"ho st,80", false, "", 0},
      {"host\x1b[2J,80", false, "", 0},
      {"host,80,more", false, "", 0},
  };
  for (const Case& c : cases) {
    const std::optional<HostAndPort> hp = ParseHostAndPort(c.text);
    ASSERT_EQ(hp.has_value(), c.valid) << c.text;
    if (!hp) continue;
    EXPECT_EQ(hp->host, c.host);
    EXPECT_EQ(hp->port, c.port);
  }
}

TEST(OutputKeys, ExtraServers) {
  const ConfigResult r = Read(
      "ALSO=radiosondy.example,14580\r\n"
      "also=wettersonde.example,14580,n0call-5,12345\r\n"
      "ALSO=third.example,14580,N0CALL-6,ABC\r\n");
  ASSERT_EQ(r.config.extras.size(), 3u);
  EXPECT_EQ(r.config.extras[0].entry, "radiosondy.example,14580");
  EXPECT_EQ(r.config.extras[0].call, "");
  EXPECT_EQ(r.config.extras[1].entry, "wettersonde.example,14580");
  EXPECT_EQ(r.config.extras[1].call, "N0CALL-5");
  EXPECT_EQ(r.config.extras[1].pass, "12345");
  EXPECT_EQ(r.config.extras[2].pass, "123");  // converted as PASS is
}

// A value that cannot be used is said once at start-up and left out; the station goes on.
TEST(OutputKeys, WarningsForValuesThatCannotBeUsed) {
  struct Case {
    const char* line;
    const char* warning;
  } cases[] = {
      {"ALSO=host\r\n", "ALSO=host is not host,port or host,port,CALL,PASS: left out"},
      {"ALSO=host,1,CALL\r\n",
       "ALSO=host,1,CALL is not host,port or host,port,CALL,PASS: left out"},
      {"ALSO=host,1,X,1\r\n", "ALSO=host,1,X,1: the callsign is not valid: left out"},
      {"UDP=255.255.255.255\r\n", "UDP=255.255.255.255 is not host,port: left out"},
      {"WEB=127.0.0.1,99999\r\n", "WEB=127.0.0.1,99999 is not host,port: left out"},
      {"POSITION=north\r\n", "POSITION=north is not lat,lon,alt: left out"},
      {"FLIGHTLOG=\r\n", "FLIGHTLOG= is not a folder: left out"},
      {"FLIGHTLOG=  \r\n", "FLIGHTLOG=   is not a folder: left out"},
      {"FLIGHTLOG=log\x1b[2J\r\n", "FLIGHTLOG=log\x1b[2J is not a folder: left out"},
      {"SONDEHUB_URL=ftp://x\r\n",
       "SONDEHUB_URL=ftp://x is not an http:// or https:// address: https://api.v2.sondehub.org "
       "is used"},
  };
  for (const Case& c : cases) {
    const ConfigResult r = Read(c.line);
    ASSERT_FALSE(r.exits()) << c.line;
    bool found = false;
    for (const ConfigAction& a : r.actions) found = found || a.text == c.warning;
    EXPECT_TRUE(found) << c.line;
    EXPECT_TRUE(r.config.extras.empty());
    EXPECT_TRUE(r.config.sUDP.empty());
    EXPECT_TRUE(r.config.sWEB.empty());
    EXPECT_FALSE(r.config.position.has_value());
    EXPECT_EQ(r.config.sSONDEHUB_URL, kDefaultSondehubUrl);
    EXPECT_TRUE(r.config.sFLIGHTLOG.empty());
  }
}

// The folder is taken as written, blanks around it dropped; the key is matched whole.
TEST(OutputKeys, FlightLogFolder) {
  struct Case {
    const char* lines;
    const char* folder;
  } cases[] = {
      {"FLIGHTLOG=/var/lib/nimbrix/flights\r\n", "/var/lib/nimbrix/flights"},
      {"flightlog= C:\\Sonde Logs \r\n", "C:\\Sonde Logs"},
      {"FLIGHTLOG=a\r\nFLIGHTLOG=b\r\n", "b"},
      {"FLIGHTLOG=a\r\nFLIGHTLOG=\r\n", ""},
      {"FLIGHT=a\r\n", ""},
      {"FLIGHTLOGS=a\r\n", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    const ConfigResult r = Read(c.lines);
    ASSERT_FALSE(r.exits()) << c.lines;
    EXPECT_EQ(r.config.sFLIGHTLOG, c.folder) << c.lines;
  }
}

TEST(OutputKeys, AtMostNineExtraServers) {
  std::string lines;
  for (int i = 1; i <= 10; ++i) lines += "ALSO=h" + std::to_string(i) + ",14580\r\n";
  const ConfigResult r = Read(lines);
  ASSERT_EQ(r.config.extras.size(), 9u);
  EXPECT_EQ(r.config.extras.back().entry, "h9,14580");
  EXPECT_EQ(r.actions[r.actions.size() - 2].text, "Maximum ALSO=9: ALSO=h10,14580 is left out");
}

TEST(OutputKeys, TextsAndAddresses) {
  const ConfigResult r = Read(
      "SONDEHUB_URL=http://127.0.0.1:8000/\r\nSONDEHUB_DEV=yes\r\nANTENNA=5/8 vertical\r\n"
      "RADIO=RTL-SDR v3\r\nUDP=127.0.0.1,55673\r\nWEB=0.0.0.0,8080\r\n"
      "POSITION=48.1,11.5,520\r\n");
  EXPECT_EQ(r.config.sSONDEHUB_URL, "http://127.0.0.1:8000");
  EXPECT_EQ(r.config.nSONDEHUB_DEV, 1);
  EXPECT_EQ(r.config.sANTENNA, "5/8 vertical");
  EXPECT_EQ(r.config.sRADIO, "RTL-SDR v3");
  EXPECT_EQ(r.config.sUDP, "127.0.0.1,55673");
  EXPECT_EQ(r.config.sWEB, "0.0.0.0,8080");
  ASSERT_TRUE(r.config.position.has_value());
  EXPECT_DOUBLE_EQ(r.config.position->alt, 520);
}

// The positional format has no place for any of them.
TEST(OutputKeys, PositionalFormatHasNone) {
  const ConfigResult r = ReadConfiguration("N0CALL-11\r\nABC\r\n1\r\nSONDEHUB=YES\r\n");
  EXPECT_EQ(r.config.nSONDEHUB, 0);
  EXPECT_EQ(r.servers.sSERVER[1], "SONDEHUB=YES");
}

}  // namespace
}  // namespace nimbrix
