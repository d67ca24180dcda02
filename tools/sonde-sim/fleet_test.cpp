#include "fleet.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

namespace sondesim {
namespace {

// Great-circle distance in km, close enough for a few km.
double DistanceKm(double lat1, double lon1, double lat2, double lon2) {
  constexpr double kRad = 3.14159265358979 / 180;
  const double x = (lon2 - lon1) * kRad * std::cos((lat1 + lat2) / 2 * kRad);
  const double y = (lat2 - lat1) * kRad;
  return 6371 * std::sqrt(x * x + y * y);
}

std::string Text(const Answer& a) {
  return std::get<std::string>(a.value);
}

TEST(FleetTest, OneToThreeSondesOutsideClamped) {
  struct Case {
    int asked;
    std::size_t flown;
  } cases[] = {{-5, 1}, {0, 1}, {1, 1}, {2, 2}, {3, 3}, {4, 3}};
  for (const Case& c : cases) {
    EXPECT_EQ(FleetOf(FlightParams{}, SondeIdentity{}, c.asked).size(), c.flown) << c.asked;
  }
}

TEST(FleetTest, TheFirstSondeIsTheOneTheOptionsGive) {
  FlightParams flight;
  flight.lat = 52.5;
  flight.ascentMs = 6;
  SondeIdentity id;
  id.serial = "T1234567";
  id.qrg = "404.100";
  const auto fleet = FleetOf(flight, id, 3);
  const Flight alone(flight);
  const Flight first(fleet[0].flight);
  for (double second : {0.0, 600.0, 5000.0}) {
    const auto a = ItemsOf(TelemetryAt(alone, id, second));
    const auto b = ItemsOf(TelemetryAt(first, fleet[0].id, second));
    for (int i = 0; i < kItemCount; ++i) {
      EXPECT_EQ(a[static_cast<std::size_t>(i)].value, b[static_cast<std::size_t>(i)].value)
          << second << " item " << i;
    }
  }
}

TEST(FleetTest, TheOthersHaveTheirOwnSerialKindFrequencyAndLaunchSite) {
  SondeIdentity id;  // S3210987
  const auto fleet = FleetOf(FlightParams{}, id, 3);
  struct Expected {
    std::string serial, typeOrAprsName, kind, qrg;
  } expected[] = {
      {"S3210987", "RS41", "RS41", "403.001"},
      {"DFM-3210988", "DFM09", "DFM09", "402.700"},
      {"M10-003-2-10989", "ME030FEED", "M10", "405.100"},  // 3210989 = 0x30FEED
  };
  std::set<std::string> serials, qrgs;
  for (std::size_t i = 0; i < fleet.size(); ++i) {
    const Flight flight(fleet[i].flight);
    const auto items = ItemsOf(TelemetryAt(flight, fleet[i].id, 120));
    EXPECT_EQ(Text(items[nimbrix::kSerial]), expected[i].serial) << i;
    EXPECT_EQ(Text(items[nimbrix::kTypeOrAprsName]), expected[i].typeOrAprsName) << i;
    EXPECT_EQ(Text(items[nimbrix::kKind]), expected[i].kind) << i;
    EXPECT_EQ(Text(items[nimbrix::kQrg]), expected[i].qrg) << i;
    serials.insert(Text(items[nimbrix::kSerial]));
    qrgs.insert(Text(items[nimbrix::kQrg]));
    if (i > 0) {
      const double km = DistanceKm(fleet[0].flight.lat, fleet[0].flight.lon, fleet[i].flight.lat,
                                   fleet[i].flight.lon);
      EXPECT_GT(km, 2) << i;
      EXPECT_LT(km, 10) << i;
    }
  }
  EXPECT_EQ(serials.size(), 3u);
  EXPECT_EQ(qrgs.size(), 3u);
}

TEST(FleetTest, SerialsWithoutDigitsOrNearTheDateLineStayWellFormed) {
  FlightParams flight;
  flight.lon = 179.99;
  flight.lat = 89.99;
  SondeIdentity id;
  id.serial = "TEST";
  const auto fleet = FleetOf(flight, id, 3);
  EXPECT_EQ(fleet[1].id.serial, "DFM-1");
  EXPECT_EQ(fleet[2].id.serial, "M10-000-0-00002");
  EXPECT_EQ(fleet[2].id.aprsName, "ME0000002");
  for (const auto& s : fleet) {
    EXPECT_GE(s.flight.lon, -180);
    EXPECT_LE(s.flight.lon, 180);
    EXPECT_LE(s.flight.lat, 90);
  }
}

TEST(FrameAgeMsTest, RealTimeSinceTheFlightSecondBegan) {
  struct Case {
    double flightSeconds, speedup;
    std::uint32_t ms;
  } cases[] = {
      {10.0, 1, 0},
      {10.25, 1, 250},
      {10.5, 10, 50},
      {3.5, 0, 0},
      {0.5, 1e-9, nimbrix::kSondeListForgetMs - 1},
      {NAN, 1, 0},
      {-0.75, 1, 250},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FrameAgeMs(c.flightSeconds, c.speedup), c.ms) << c.flightSeconds << " " << c.speedup;
  }
}

TEST(ListOfOneTest, TheSourcesItemsAsOneSondeJustHeard) {
  const decoder::AnswerSource source = [](std::int16_t index) -> std::optional<Answer> {
    if (index == 0) return Answer::Text("S1");
    if (index == 5) return std::nullopt;
    return Answer::Int4(index);
  };
  const auto list = ListOfOne(source);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].ageMs, 0u);
  ASSERT_EQ(list[0].items.size(), static_cast<std::size_t>(kItemCount));
  EXPECT_EQ(Text(*list[0].items[0]), "S1");
  EXPECT_FALSE(list[0].items[5].has_value());
  EXPECT_EQ(std::get<std::int64_t>(list[0].items[17]->value), 17);
}

}  // namespace
}  // namespace sondesim
