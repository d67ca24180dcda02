#include "answers.h"

#include <gtest/gtest.h>

namespace sondesim {
namespace {

// A frame is what the sonde measured when it made it: asked twice within its second, the
// simulator answers the same; the next second is the next frame, somewhere else.
TEST(TelemetryAt, OneFrameASecondThatDoesNotMoveWithinItsSecond) {
  const Flight flight{FlightParams{}};
  const SondeIdentity id;
  for (double second : {0.0, 61.0, 1800.0}) {
    const Telemetry early = TelemetryAt(flight, id, second + 0.05);
    const Telemetry late = TelemetryAt(flight, id, second + 0.95);
    EXPECT_EQ(early.frame, late.frame);
    EXPECT_EQ(early.lat, late.lat);
    EXPECT_EQ(early.lon, late.lon);
    EXPECT_EQ(early.alt, late.alt);
    const Telemetry next = TelemetryAt(flight, id, second + 1.05);
    EXPECT_EQ(next.frame, early.frame + 1);
    EXPECT_NE(next.alt, early.alt);
  }
}

}  // namespace
}  // namespace sondesim
