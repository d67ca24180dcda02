#include "flight.h"

#include <gtest/gtest.h>

namespace standin {
namespace {

struct FlightCase {
  std::string name;
  double t;
  double alt_m;
  double vel_up_ms;
};

class FlightTest : public ::testing::TestWithParam<FlightCase> {};

TEST_P(FlightTest, ClimbsBurstsAndLands) {
  const FlightPlan plan;
  const FlightPoint p = FlightAt(plan, GetParam().t);
  EXPECT_NEAR(p.alt_m, GetParam().alt_m, 1e-6);
  EXPECT_NEAR(p.vel_up_ms, GetParam().vel_up_ms, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(Times, FlightTest,
                         ::testing::Values(FlightCase{"Launch", 0, 300, 5},
                                           FlightCase{"TenMinutes", 600, 3300, 5},
                                           FlightCase{"Burst", 6540, 33000, 5},
                                           FlightCase{"Falling", 6640, 33000 - 1200, -12},
                                           FlightCase{"Landed", 6540 + 3000, 0, 0},
                                           FlightCase{"BeforeLaunch", -5, 300, 5}),
                         [](const auto& info) { return info.param.name; });

TEST(Flight, DriftsWithTheWindAndStopsOnTheGround) {
  const FlightPlan plan;
  const FlightPoint a = FlightAt(plan, 0), b = FlightAt(plan, 1000);
  EXPECT_DOUBLE_EQ(a.lat_deg, plan.lat_deg);
  EXPECT_NEAR((b.lat_deg - a.lat_deg) * 111320, 3000, 1);
  EXPECT_GT(b.lon_deg, a.lon_deg);
  EXPECT_DOUBLE_EQ(b.vel_east_ms, 8);
  const FlightPoint landed = FlightAt(plan, 20000), later = FlightAt(plan, 30000);
  EXPECT_DOUBLE_EQ(landed.lat_deg, later.lat_deg);
  EXPECT_DOUBLE_EQ(later.vel_north_ms, 0);
}

TEST(Flight, EachSondeItsOwnPlaceAndSerial) {
  EXPECT_NE(PlanForSonde(0, 1).lat_deg, PlanForSonde(1, 1).lat_deg);
  EXPECT_EQ(PlanForSonde(2, 7).lon_deg, PlanForSonde(2, 7).lon_deg);
  const std::string serial = MadeUpRs41Serial(0, 1);
  ASSERT_EQ(serial.size(), 8u);
  EXPECT_EQ(serial[0], 'S');
  EXPECT_NE(serial, MadeUpRs41Serial(1, 1));
  const long dfm = MadeUpDfmSerial(0, 1);
  EXPECT_GE(dfm, 100000);
  EXPECT_LT(dfm, 1000000);
}

}  // namespace
}  // namespace standin
