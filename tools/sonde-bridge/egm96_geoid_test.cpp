#include "egm96_geoid.h"

#include <gtest/gtest.h>

namespace bridge {
namespace {

#ifdef _WIN32

TEST(Egm96GeoidTest, TheWindowsBuildHasNone) {
  std::string error;
  EXPECT_EQ(OpenEgm96Geoid(kEgm96Grid, error), nullptr);
  EXPECT_EQ(error, "this build has no geoid model");
}

#else

// Looked up with PROJ's own tools, by another way than ours (the EPSG transformation from WGS84
// ellipsoid heights to EGM96 heights, which finds the same grid through proj.db):
//   echo "50.02602 7.70338 0" | cs2cs -d 4 EPSG:4979 EPSG:4326+5773
// gives -48.6944, the sea-level height of a point on the ellipsoid: the geoid is 48.6944 m up.
TEST(Egm96GeoidTest, HeightsOfTheGeoidWherePlacesAreKnown) {
  std::string error;
  auto geoid = OpenEgm96Geoid(kEgm96Grid, error);
  ASSERT_NE(geoid, nullptr) << error;
  struct Case {
    double lat, lon, height;
    const char* place;
  } const cases[] = {
      {50.02602, 7.70338, 48.6944, "the DFM recording, near Mainz"},
      {46.01891, 16.34725, 45.8797, "the RS41 recording, Croatia"},
      {48.10243, 11.56785, 45.5231, "Munich"},
      {-33.9, 18.4, 31.0619, "Cape Town"},
      {4.7, 78.8, -106.9638, "south of India, the lowest geoid"},
      {-5, 147, 73.5134, "New Guinea, near the highest"},
      {0, 0, 17.1616, "0 N 0 E"},
      {90, 0, 13.6062, "the North Pole"},
      {-90, 0, -29.5338, "the South Pole"},
      {10, -180, 12.6841, "the date line, west"},
      {10, 180, 12.6841, "the date line, east"},
  };
  for (const Case& c : cases) {
    const std::optional<double> n = geoid->HeightAt(c.lat, c.lon);
    ASSERT_TRUE(n.has_value()) << c.place;
    EXPECT_NEAR(*n, c.height, 0.001) << c.place;
  }
}

TEST(Egm96GeoidTest, AGridThatIsNotThereIsNamed) {
  std::string error;
  EXPECT_EQ(OpenEgm96Geoid("/nonexistent/egm96_15.gtx", error), nullptr);
  EXPECT_NE(error.find("/nonexistent/egm96_15.gtx"), std::string::npos) << error;
  EXPECT_NE(error.find("proj-data"), std::string::npos) << error;
}

#endif

}  // namespace
}  // namespace bridge
