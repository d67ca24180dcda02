#include "heights.h"

#include <cmath>
#include <utility>

namespace bridge {

namespace {

// A geoid height beyond this is no geoid height (the model's own range is about ±110 m).
constexpr double kMostGeoidHeight = 200;

}  // namespace

Geoid* SeaLevel::Model() {
  if (!tried_) {
    tried_ = true;
    std::string error = "no geoid model";
    if (open_) geoid_ = open_(error);
    if (!geoid_ && notice_) {
      notice_(error +
              ": heights of frames with \"ref_position\": \"GPS\" and no \"diff_GPS_MSL\" stay "
              "above the ellipsoid");
    }
  }
  return geoid_.get();
}

double SeaLevel::AltitudeOf(const Frame& f) {
  if (f.heightReference == HeightReference::kSeaLevel) return f.alt;
  if (f.diffGpsMsl) return f.alt - *f.diffGpsMsl;
  if (f.heightReference != HeightReference::kEllipsoid) return f.alt;
  Geoid* geoid = Model();
  if (!geoid) return f.alt;
  const std::optional<double> n = geoid->HeightAt(f.lat, f.lon);
  if (!n || !std::isfinite(*n) || std::fabs(*n) > kMostGeoidHeight) return f.alt;
  return f.alt - *n;
}

}  // namespace bridge
