#include "heights.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace bridge {
namespace {

// A geoid of the test's own: 48 m everywhere north of the equator, none south of it.
class NorthOnlyGeoid : public Geoid {
 public:
  explicit NorthOnlyGeoid(int& asked) : asked_(asked) {}
  std::optional<double> HeightAt(double lat, double) override {
    ++asked_;
    if (lat < 0) return std::nullopt;
    return lat > 89 ? 1e9 : 48.0;  // beyond any geoid: a model gone wrong
  }

 private:
  int& asked_;
};

struct Fixture {
  int opened = 0;
  int asked = 0;
  bool available = true;
  std::vector<std::string> notices;
  SeaLevel seaLevel{[this](std::string& error) -> std::unique_ptr<Geoid> {
                      ++opened;
                      if (!available) {
                        error = "the geoid grid egm96_15.gtx cannot be read";
                        return nullptr;
                      }
                      return std::make_unique<NorthOnlyGeoid>(asked);
                    },
                    [this](const std::string& s) { notices.push_back(s); }};
};

Frame At(double lat, double alt, HeightReference reference, std::optional<double> diff) {
  Frame f;
  f.lat = lat;
  f.lon = 8;
  f.alt = alt;
  f.heightReference = reference;
  f.diffGpsMsl = diff;
  return f;
}

TEST(SeaLevelTest, WhatEachFrameGivesAndWhetherTheModelIsAsked) {
  using enum HeightReference;
  struct Case {
    Frame frame;
    double seaLevel;
    int asked;
    const char* why;
  } const cases[] = {
      {At(50, 7763.78, kEllipsoid, 47.86), 7715.92, 0, "the decoder's own difference"},
      {At(50, 7763.78, kUnknown, 47.86), 7715.92, 0, "a difference without ref_position"},
      {At(50, 14035.75, kEllipsoid, std::nullopt), 13987.75, 1, "ellipsoid: the geoid's height"},
      {At(50, 1520.5, kSeaLevel, std::nullopt), 1520.5, 0, "MSL stays"},
      {At(50, 1520.5, kSeaLevel, 47.86), 1520.5, 0, "MSL stays, whatever else is there"},
      {At(50, 1520.5, kUnknown, std::nullopt), 1520.5, 0, "nothing said: as given"},
      {At(-30, 900, kEllipsoid, std::nullopt), 900, 1, "no model value there: as given"},
      {At(89.5, 900, kEllipsoid, std::nullopt), 900, 1, "an absurd model value: as given"},
  };
  for (const Case& c : cases) {
    Fixture x;
    EXPECT_NEAR(x.seaLevel.AltitudeOf(c.frame), c.seaLevel, 1e-9) << c.why;
    EXPECT_EQ(x.asked, c.asked) << c.why;
    EXPECT_EQ(x.opened, c.asked) << c.why;  // opened only when first needed
    EXPECT_TRUE(x.notices.empty()) << c.why;
  }
}

TEST(SeaLevelTest, AModelThatCannotBeOpenedIsToldOnceAndHeightsStay) {
  Fixture x;
  x.available = false;
  const Frame gps = At(50, 14035.75, HeightReference::kEllipsoid, std::nullopt);
  EXPECT_EQ(x.seaLevel.AltitudeOf(gps), 14035.75);
  EXPECT_EQ(x.seaLevel.AltitudeOf(gps), 14035.75);
  EXPECT_EQ(x.seaLevel.AltitudeOf(At(50, 7763.78, HeightReference::kEllipsoid, 47.86)),
            7763.78 - 47.86);
  EXPECT_EQ(x.opened, 1);
  ASSERT_EQ(x.notices.size(), 1u);
  EXPECT_EQ(x.notices[0],
            "the geoid grid egm96_15.gtx cannot be read: heights of frames with \"ref_position\": "
            "\"GPS\" and no \"diff_GPS_MSL\" stay above the ellipsoid");
}

}  // namespace
}  // namespace bridge
