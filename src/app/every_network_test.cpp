// The outputs beside the primary link as the station runs them: the station beacon, the extra
// destinations over fake sockets, what row 17 says of them, and how the system's outputs are
// made from the configuration.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/destination_rows.h"
#include "app/fake/fake_platform.h"
#include "app/station.h"
#include "app/system_outputs.h"
#include "outputs/aprs_destination.h"
#include "platform/fake/fake_socket.h"
#include "uplink/beacon.h"
#include "version/version.h"

namespace nimbrix {
namespace {

using fake::FakeNameResolver;
using fake::FakePlatform;
using fake::FakeTcpSocket;
using State = DestinationStatus::State;

constexpr char kBeacon[] = "N0CALL-11>APZQW0,TCPIP*:!4807.40N/01134.07E`/A=001706 NIMBRIX 0.22\r\n";

struct EveryNetworkTest : ::testing::Test {
  FakePlatform f;
  // What the extra destination's socket was given; the socket itself ends with the station.
  fake::Journal extraSends;

  void SetUp() override {
    f.http.reply = std::string("versao=") + kVersion;
    f.tcp.reachable = {"aprs.local:14580"};
    f.automation.answers = {{0, Variant::Text("T1234567")},
                            {1, Variant::Real(48.1)},
                            {2, Variant::Real(11.5)},
                            {3, Variant::Real(500)},
                            {6, Variant::Text("x")}};
  }

  // Runs the station for `cycles` cycles with one extra destination (its own call N0CALL-5)
  // over a fake socket to a server that answers at once.
  int Run(const std::string& extraLines, int cycles) {
    f.files.contents["NIMBRIX.INI"] =
        "USER=N0CALL-11\r\nPASS=12345\r\nSERVER=aprs.local,14580\r\n" + extraLines;
    f.console.keys.assign(static_cast<std::size_t>(cycles) - 1, "");
    f.console.keys.push_back(kKeyEscape);
    Platform p = f.platform();
    return RunStation(p, {"http", "update.test", "page"},
                      [this](const StationConfig& config, Platform&) {
                        auto socket = std::make_unique<FakeTcpSocket>(f.clock, &extraSends);
                        socket->servers["192.0.2.7:14580"] = 0;
                        auto resolver = std::make_shared<FakeNameResolver>(f.clock);
                        resolver->answers["extra"] = {0, "192.0.2.7"};
                        OutputList list;
                        list.push_back(std::make_unique<AprsDestination>(
                            AprsDestinationSetup{"extra,14580", "extra", 14580, "N0CALL-5",
                                                 "user N0CALL-5 pass 1 vers x\r\n", true,
                                                 StationBeaconLine(config)},
                            std::move(socket), resolver, f.clock));
                        return list;
                      });
  }
  long Count(const std::vector<std::string>& lines, const std::string& line) {
    return std::count(lines.begin(), lines.end(), line);
  }
};

// At start and every 30 minutes, to the primary link and, under its own call, to the extra
// destination.
TEST_F(EveryNetworkTest, TheBeaconGoesOutAtStartAndEveryHalfHourEverywhere) {
  ASSERT_EQ(Run("BEACON=YES\r\nPOSITION=48.1234,11.5678,520\r\n", 2000), 0);
  const std::int64_t minutes = f.clock.MonotonicMs() / 60000;
  ASSERT_GE(minutes, 31);
  ASSERT_LT(minutes, 60);
  EXPECT_EQ(Count(f.tcp.lines, kBeacon), 2);
  std::string swapped = kBeacon;
  swapped.replace(0, 9, "N0CALL-5");
  std::string sent;
  for (const std::string& event : extraSends.events) {
    if (event.rfind("socket send ", 0) == 0) sent += event.substr(12);
  }
  const std::string printable = fake::Printable(swapped);
  std::size_t found = 0;
  for (std::size_t at = 0; (at = sent.find(printable, at)) != std::string::npos; ++at) ++found;
  EXPECT_EQ(found, 2u);
}

TEST_F(EveryNetworkTest, WithoutAPositionTheBeaconSaysWhyAndSendsNothing) {
  ASSERT_EQ(Run("BEACON=YES\r\n", 3), 0);
  EXPECT_NE(f.console.transcript.find("BEACON=YES without POSITION=: no station beacon is sent"),
            std::string::npos);
  for (const auto& line : f.tcp.lines) EXPECT_EQ(line.find(":!"), std::string::npos) << line;
}

TEST_F(EveryNetworkTest, NoBeaconUnlessAskedFor) {
  ASSERT_EQ(Run("POSITION=48.1234,11.5678,520\r\n", 3), 0);
  EXPECT_EQ(Count(f.tcp.lines, kBeacon), 0);
  EXPECT_EQ(f.console.transcript.find("BEACON"), std::string::npos);
}

DestinationStatus Extra(const char* kind, State state, std::uint64_t sent, std::uint64_t failed,
                        const char* text = "") {
  DestinationStatus s;
  s.kind = kind;
  s.name = "host,1";
  s.state = state;
  s.stateText = text;
  s.sent = sent;
  s.failed = failed;
  return s;
}

TEST(ExtrasRow, EachDestinationInAFewCharacters) {
  DestinationStatus primary = Extra("APRS-IS", State::kUp, 5, 0);
  primary.primary = true;
  const DestinationStatus hub = Extra("SondeHub", State::kUp, 5, 0);
  struct Case {
    std::vector<DestinationStatus> statuses;
    const char* expected;
  };
  const Case cases[] = {
      {{primary, hub}, ""},
      {{primary, Extra("APRS-IS", State::kUp, 9, 0), Extra("APRS-IS", State::kFailing, 0, 3)},
       "+APRS 1:up 2:down(3 missed)"},
      {{primary, Extra("APRS-IS", State::kUp, 9, 0), hub, Extra("UDP", State::kUp, 12, 0)},
       "+APRS 1:up UDP:12"},
      {{Extra("UDP", State::kFailing, 0, 4)}, "UDP:down(4 missed)"},
      {{primary, Extra("UDP", State::kUp, 12, 0), Extra("LOG", State::kUp, 340, 0)},
       "UDP:12 LOG:340"},
      {{Extra("LOG", State::kFailing, 7, 0, "cannot write: disk full or read-only?")}, "LOG:down"},
      {{Extra("APRS-IS", State::kConnecting, 0, 0),
        Extra("APRS-IS", State::kFailing, 1, 0, "login unverified")},
       "+APRS 1:conn 2:unver"},
  };
  for (const auto& c : cases) EXPECT_EQ(ExtrasRow(c.statuses, {}), c.expected);
  // Nine destinations that all missed a great deal still fit the row.
  std::vector<DestinationStatus> nine(9, Extra("APRS-IS", State::kFailing, 0, 123456789));
  nine.push_back(Extra("UDP", State::kFailing, 0, 123456789));
  EXPECT_LE(ExtrasRow(nine, {}).size(), kDestinationRowWidth);
}

// What the configuration asks for, in the configured order, the chase-car summary last;
// nothing is looked up or connected before the first cycle.
TEST(SystemOutputs, MadeFromTheConfiguration) {
  FakePlatform f;
  Platform p = f.platform();
  StationConfig config;
  config.sUSER = "N0CALL-11";
  config.extras = {{"192.0.2.1,14580", "", ""}, {"192.0.2.2,14580", "N0CALL-5", "1"}};
  config.sUDP = "192.0.2.255,55673";
  const OutputList outputs = MakeSystemOutputs(config, p);
  ASSERT_EQ(outputs.size(), 3u);
  const char* kinds[] = {"APRS-IS", "APRS-IS", "UDP"};
  const char* names[] = {"192.0.2.1,14580", "192.0.2.2,14580", "192.0.2.255,55673"};
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    EXPECT_EQ(outputs[i]->Status().kind, kinds[i]);
    EXPECT_EQ(outputs[i]->Status().name, names[i]);
    EXPECT_EQ(outputs[i]->Status().state, State::kOff);
  }
  EXPECT_TRUE(MakeSystemOutputs(StationConfig{}, p).empty());
}

}  // namespace
}  // namespace nimbrix
