#include "flight_model.h"

#include <gtest/gtest.h>

#include <cmath>

#include "answers.h"

namespace sondesim {
namespace {

TEST(StandardAtmosphereTest, MatchesTheIsaTable) {
  struct Case {
    double alt, hPa, celsius;
  } cases[] = {
      {0, 1013.25, 15.0},    {5000, 540.48, -17.5}, {11000, 226.32, -56.5},
      {20000, 54.75, -56.5}, {32000, 8.68, -44.5},  {47000, 1.109, -2.5},
  };
  for (const auto& c : cases) {
    Atmosphere a = StandardAtmosphere(c.alt);
    EXPECT_NEAR(a.pressureHpa, c.hPa, c.hPa * 0.002) << c.alt;
    EXPECT_NEAR(a.temperatureC, c.celsius, 0.01) << c.alt;
  }
  EXPECT_NEAR(StandardAtmosphere(0).densityKgM3, 1.225, 0.001);
  EXPECT_TRUE(std::isfinite(StandardAtmosphere(1e9).pressureHpa));  // clamped, not NaN
}

class FlightTest : public ::testing::Test {
 protected:
  FlightParams params;  // 500 m launch, 30 km burst, 5 m/s up and down
  Flight flight{params};
};

TEST_F(FlightTest, RisesAtTheAscentRateToTheBurstAltitude) {
  EXPECT_NEAR(flight.At(100).alt, 1000, 1e-6);
  EXPECT_DOUBLE_EQ(flight.At(100).climbMs, 5);
  EXPECT_NEAR(flight.BurstTime(), (30000 - 500) / 5.0, 1);
  EXPECT_NEAR(flight.At(flight.BurstTime()).alt, 30000, 1e-6);
  double highest = 0;
  for (double t = 0; t <= flight.LandingTime(); t += 10)
    highest = std::max(highest, flight.At(t).alt);
  EXPECT_LE(highest, 30000);
}

TEST_F(FlightTest, DescentSlowsTowardTheGround) {
  double previous = 1e9;
  for (double t = flight.BurstTime() + 1; t < flight.LandingTime() - 1; t += 60) {
    const double fall = -flight.At(t).climbMs;
    EXPECT_GT(fall, 0) << t;
    EXPECT_LT(fall, previous) << t;
    previous = fall;
  }
  EXPECT_GT(-flight.At(flight.BurstTime() + 1).climbMs, 30);  // thin air at 30 km
  EXPECT_NEAR(-flight.At(flight.LandingTime() - 2).climbMs, 5, 0.5);
}

TEST_F(FlightTest, LiesStillAfterLandingAndWaitsBeforeLaunch) {
  FlightPoint landed = flight.At(flight.LandingTime() + 1000);
  EXPECT_DOUBLE_EQ(landed.alt, 500);
  EXPECT_DOUBLE_EQ(landed.speedMs, 0);
  EXPECT_DOUBLE_EQ(landed.climbMs, 0);
  FlightPoint before = flight.At(-5);
  EXPECT_DOUBLE_EQ(before.lat, params.lat);
  EXPECT_DOUBLE_EQ(before.climbMs, 0);
  EXPECT_DOUBLE_EQ(flight.At(NAN).alt, 500);
}

TEST(FlightDriftTest, DriftsDownwindAndReportsWhereItComesFrom) {
  for (double from : {270.0, 90.0}) {
    FlightParams p;
    p.windFromDeg = from;
    Flight f(p);
    FlightPoint low = f.At(60);
    const double east = f.At(3000).lon - p.lon;
    EXPECT_EQ(east > 0, from == 270.0) << from;
    EXPECT_NEAR(low.headingDeg, from, 5) << from;  // veers only slowly near the ground
    EXPECT_GT(low.speedMs, 4);
  }
}

TEST(FlightDriftTest, MeasurementsFollowHeight) {
  Flight f{FlightParams{}};
  FlightPoint low = f.At(60), high = f.At(4000);
  EXPECT_GT(low.pressureHpa, high.pressureHpa);
  EXPECT_GT(low.temperatureC, high.temperatureC);
  EXPECT_GT(low.humidity, high.humidity);
  EXPECT_GE(high.humidity, 1);
  EXPECT_LE(HumidityAt(3000), 100);
}

TEST(TelemetryTest, ItemsCarryTheDecoderTypesAndAFramePerSecond) {
  Flight f{FlightParams{}};
  SondeIdentity id;
  id.launchUnixSeconds = 1714561200;
  id.firstFrame = 100;
  Telemetry t = TelemetryAt(f, id, 10.7);
  EXPECT_EQ(t.frame, 110);
  EXPECT_EQ(TelemetryAt(f, id, 11.0).frame, 111);
  auto items = ItemsOf(t);
  const std::uint16_t types[kItemCount] = {VT_BSTR, VT_R8,   VT_R8, VT_R8,   VT_R8, VT_R8,
                                           VT_BSTR, VT_BSTR, VT_R8, VT_R8,   VT_R8, VT_BSTR,
                                           VT_R8,   VT_I4,   VT_I8, VT_BSTR, VT_I4, VT_R8};
  for (int i = 0; i < kItemCount; ++i) {
    EXPECT_EQ(items[i].vt, types[i]) << i;
    EXPECT_EQ(items[i].dbusType, DbusTypeOf(types[i])) << i;
  }
  EXPECT_EQ(std::get<std::string>(items[6].value), "2024-05-01 11:00:10");
  EXPECT_EQ(std::get<std::int64_t>(items[14].value), 1714561210000);
  EXPECT_EQ(std::get<std::string>(items[15].value), "RS41");
}

// The extension over a whole flight: a count of satellites a receiver sees, a battery that
// sags but stays within a cell's range; a replayed log has neither and answers EMPTY.
TEST(TelemetryTest, SatellitesAndBatteryArePlausibleAllFlightLong) {
  Flight f{FlightParams{}};
  SondeIdentity id;
  double lastVolts = 3.0;
  for (double s = 0; s < f.LandingTime() + 3600; s += 60) {
    const Telemetry t = TelemetryAt(f, id, s);
    ASSERT_TRUE(t.satellites && t.batteryVolts) << s;
    EXPECT_GE(*t.satellites, 7) << s;
    EXPECT_LE(*t.satellites, 11) << s;
    EXPECT_LE(*t.batteryVolts, lastVolts) << s;
    EXPECT_GE(*t.batteryVolts, 2.5) << s;
    lastVolts = *t.batteryVolts;
  }
  Telemetry replayed = TelemetryAt(f, id, 10);
  replayed.satellites.reset();
  replayed.batteryVolts.reset();
  const auto items = ItemsOf(replayed);
  EXPECT_EQ(items[16].vt, VT_EMPTY);
  EXPECT_EQ(items[17].vt, VT_EMPTY);
}

}  // namespace
}  // namespace sondesim
