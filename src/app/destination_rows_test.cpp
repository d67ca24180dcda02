#include "app/destination_rows.h"

#include <gtest/gtest.h>

namespace nimbrix {
namespace {

using State = DestinationStatus::State;

TEST(SondehubRowTest, WhatTheOperatorReadsOfTheFeed) {
  // Local time one hour ahead of UTC; 2026-12-08 20:41:16 UTC is 21:41:16 local.
  const ClockReading now{LocalTime{2026, 12, 8, 21, 45, 0, 0}, 1796762700000};
  constexpr std::int64_t kSuccess = 1796762476000;
  struct Case {
    State state;
    const char* stateText;
    const char* lastMessage;
    std::uint64_t sent, failed;
    std::int64_t lastSuccess;
    const char* row;
  } cases[] = {
      {State::kConnecting, "starting", "", 0, 0, 0, "SondeHub: 0 frames sent starting"},
      {State::kUp, "OK", "^v^ telm logged", 412, 0, kSuccess,
       "SondeHub: 412 frames sent, last 21:41:16 OK"},
      {State::kFailing, "HTTP 503", "Service Unavailable", 412, 3, kSuccess,
       "SondeHub: 412 frames sent, 3 lost, last 21:41:16 HTTP 503: Service Unavailable"},
      {State::kFailing, "no connection", "", 0, 0, 0, "SondeHub: 0 frames sent no connection"},
      {State::kUp, "refused: Sonde S1 position breached altitude cap by 12m.",
       "some or all payloads could not be processed", 40, 2, kSuccess,
       "SondeHub: 40 frames sent, 2 lost, last 21:41:16 refused: Sonde S1 position brea"},
  };
  for (const Case& c : cases) {
    DestinationStatus s;
    s.kind = "SondeHub";
    s.state = c.state;
    s.stateText = c.stateText;
    s.lastMessage = c.lastMessage;
    s.sent = c.sent;
    s.failed = c.failed;
    s.lastSuccessUtcMs = c.lastSuccess;
    const std::string row = SondehubRow(s, now);
    EXPECT_EQ(row, c.row);
    EXPECT_LE(row.size(), kDestinationRowWidth);
  }
}

}  // namespace
}  // namespace nimbrix
