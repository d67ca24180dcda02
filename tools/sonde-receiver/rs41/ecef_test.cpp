#include "rs41/ecef.h"

#include <gtest/gtest.h>

#include <cmath>

namespace receiver {
namespace {

struct PointCase {
  const char* name;
  Ecef ecef;
  Geodetic expected;
};

class EcefToGeodeticTest : public ::testing::TestWithParam<PointCase> {};

// The ECEF coordinates were computed apart, by the textbook forward formula in Python.
TEST_P(EcefToGeodeticTest, KnownPoints) {
  const PointCase& c = GetParam();
  const Geodetic got = EcefToGeodetic(c.ecef);
  EXPECT_NEAR(got.lat_deg, c.expected.lat_deg, 1e-8);
  EXPECT_NEAR(got.lon_deg, c.expected.lon_deg, 1e-8);
  EXPECT_NEAR(got.height_m, c.expected.height_m, 1e-3);
}

INSTANTIATE_TEST_SUITE_P(
    Wgs84, EcefToGeodeticTest,
    ::testing::Values(
        PointCase{"EquatorPrimeMeridian", {6378137.0, 0, 0}, {0, 0, 0}},
        PointCase{"Equator90East", {0, 6378137.0 + 100, 0}, {0, 90, 100}},
        PointCase{"NorthPole", {0, 0, 6356752.31424518}, {90, 0, 0}},
        PointCase{"SouthPole30km", {0, 0, -6356752.31424518 - 30000}, {-90, 0, 30000}},
        PointCase{"Munich", {4177969.8860, 855799.8257, 4727453.7743}, {48.137154, 11.576124, 519}},
        PointCase{
            "Sydney30km", {-4687439.9265, 2576941.9065, -3516892.3976}, {-33.5, 151.2, 30000}},
        PointCase{"RealSonde",
                  {4266796.0195, 1251518.9671, 4576807.0673},
                  {46.01891, 16.34725, 14035.75}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GeodeticToEcefTest, InvertsTheConversionFromGroundTo80Km) {
  for (double lat : {-89.9, -45.0, 0.0, 12.5, 66.6, 89.99}) {
    for (double h : {-400.0, 0.0, 14000.0, 80000.0}) {
      const Geodetic back = EcefToGeodetic(GeodeticToEcef({lat, -120.25, h}));
      EXPECT_NEAR(back.lat_deg, lat, 1e-8) << lat << " " << h;
      EXPECT_NEAR(back.lon_deg, -120.25, 1e-8);
      EXPECT_NEAR(back.height_m, h, 1e-3) << lat << " " << h;
    }
  }
}

struct MotionCase {
  const char* name;
  Geodetic at;
  Ecef velocity;
  double speed, heading, climb;
};

class VelocityTest : public ::testing::TestWithParam<MotionCase> {};

TEST_P(VelocityTest, SpeedHeadingClimb) {
  const MotionCase& c = GetParam();
  const GroundMotion got = EcefVelocityToMotion(c.at, c.velocity);
  EXPECT_NEAR(got.speed_ms, c.speed, 1e-9);
  if (c.heading >= 0) {
    EXPECT_NEAR(got.heading_deg, c.heading, 1e-7);
  }
  EXPECT_GE(got.heading_deg, 0);
  EXPECT_LT(got.heading_deg, 360);
  EXPECT_NEAR(got.climb_ms, c.climb, 1e-9);
}

// A heading of -1: none to check (no horizontal motion).
// At 0 N 0 E the ECEF axes are up (x), east (y) and north (z).
INSTANTIATE_TEST_SUITE_P(
    Directions, VelocityTest,
    ::testing::Values(MotionCase{"East", {0, 0, 0}, {0, 10, 0}, 10, 90, 0},
                      MotionCase{"North", {0, 0, 0}, {0, 0, 3}, 3, 0, 0},
                      MotionCase{"West", {0, 0, 0}, {0, -2, 0}, 2, 270, 0},
                      MotionCase{"SouthWest", {0, 0, 0}, {0, -1, -1}, std::sqrt(2.0), 225, 0},
                      MotionCase{"Up", {0, 0, 0}, {5, 0, 0}, 0, -1, 5},
                      // At 0 N 90 E, east is -x and up is +y.
                      MotionCase{"EastAt90E", {0, 90, 0}, {-4, 0, 0}, 4, 90, 0},
                      MotionCase{"DownAt90E", {0, 90, 0}, {0, -6, 0}, 0, -1, -6}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VelocityTest, EastNorthUpRoundTrip) {
  const Geodetic munich{48.137154, 11.576124, 519};
  const GroundMotion got =
      EcefVelocityToMotion(munich, EastNorthUpToEcefVelocity(munich, -3, -3, 4.5));
  EXPECT_NEAR(got.speed_ms, std::sqrt(18.0), 1e-9);
  EXPECT_NEAR(got.heading_deg, 225, 1e-7);
  EXPECT_NEAR(got.climb_ms, 4.5, 1e-9);
}

}  // namespace
}  // namespace receiver
