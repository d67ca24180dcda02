#include "uplink/beacon.h"

#include <gtest/gtest.h>

namespace nimbrix {
namespace {

TEST(Beacon, TheStationsPositionWithTheDishSymbol) {
  struct Case {
    StationPosition position;
    const char* expected;
  };
  const Case cases[] = {
      {{48.123456, 11.516667, 520},
       "DL1ABC-9>APZQW0,TCPIP*:!4807.41N/01131.00E`/A=001706 NIMBRIX 0.22\r\n"},
      {{-33.5, -70.75, 0}, "DL1ABC-9>APZQW0,TCPIP*:!3330.00S/07045.00W`/A=000000 NIMBRIX 0.22\r\n"},
      {{52.0, 4.0, -4}, "DL1ABC-9>APZQW0,TCPIP*:!5200.00N/00400.00E`/A=-00013 NIMBRIX 0.22\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(BeaconLine("DL1ABC-9", c.position), c.expected);
}

TEST(Beacon, ACallWithALineEndStaysOneLine) {
  EXPECT_EQ(BeaconLine("DL1\r\nABC", {1, 1, 0}).find("\r\n"),
            BeaconLine("DL1\r\nABC", {1, 1, 0}).size() - 2);
}

TEST(Beacon, DueAtStartThenEveryHalfHour) {
  BeaconTimer timer;
  std::vector<std::int64_t> due;
  for (std::int64_t ms = 0; ms <= 2 * 3600 * 1000; ms += 950) {
    if (timer.Due(ms)) due.push_back(ms / 60000);
  }
  EXPECT_EQ(due, (std::vector<std::int64_t>{0, 30, 60, 90}));
}

}  // namespace
}  // namespace nimbrix
