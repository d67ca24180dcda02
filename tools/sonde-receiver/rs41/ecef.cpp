#include "rs41/ecef.h"

#include <cmath>
#include <numbers>

namespace receiver {

namespace {
constexpr double kA = 6378137.0;                          // semi-major axis
constexpr double kB = 6356752.31424518;                   // semi-minor axis
constexpr double kE2 = (kA * kA - kB * kB) / (kA * kA);   // first eccentricity squared
constexpr double kEp2 = (kA * kA - kB * kB) / (kB * kB);  // second eccentricity squared
constexpr double kDeg = 180.0 / std::numbers::pi;
}  // namespace

Geodetic EcefToGeodetic(const Ecef& p) {
  const double lon = std::atan2(p.y, p.x);
  const double r = std::sqrt(p.x * p.x + p.y * p.y);
  const double u = std::atan2(p.z * kA, r * kB);  // parametric latitude, first guess
  const double su = std::sin(u), cu = std::cos(u);
  const double lat = std::atan2(p.z + kEp2 * kB * su * su * su, r - kE2 * kA * cu * cu * cu);
  const double sl = std::sin(lat), cl = std::cos(lat);
  const double n = kA / std::sqrt(1 - kE2 * sl * sl);
  // r / cos(lat) loses everything near the poles; there the projection on the normal holds.
  const double height =
      std::fabs(cl) > 1e-3 ? r / cl - n : r * cl + p.z * sl - kA * std::sqrt(1 - kE2 * sl * sl);
  return Geodetic{lat * kDeg, lon * kDeg, height};
}

Ecef GeodeticToEcef(const Geodetic& g) {
  const double lat = g.lat_deg / kDeg, lon = g.lon_deg / kDeg;
  const double sl = std::sin(lat), cl = std::cos(lat);
  const double n = kA / std::sqrt(1 - kE2 * sl * sl);
  return Ecef{(n + g.height_m) * cl * std::cos(lon), (n + g.height_m) * cl * std::sin(lon),
              (n * (1 - kE2) + g.height_m) * sl};
}

GroundMotion EcefVelocityToMotion(const Geodetic& at, const Ecef& v) {
  const double lat = at.lat_deg / kDeg, lon = at.lon_deg / kDeg;
  const double sl = std::sin(lat), cl = std::cos(lat), so = std::sin(lon), co = std::cos(lon);
  const double north = -v.x * sl * co - v.y * sl * so + v.z * cl;
  const double east = -v.x * so + v.y * co;
  const double up = v.x * cl * co + v.y * cl * so + v.z * sl;
  double heading = std::atan2(east, north) * kDeg;
  if (heading < 0) heading += 360;
  return GroundMotion{std::sqrt(north * north + east * east), heading, up};
}

Ecef EastNorthUpToEcefVelocity(const Geodetic& at, double east, double north, double up) {
  const double lat = at.lat_deg / kDeg, lon = at.lon_deg / kDeg;
  const double sl = std::sin(lat), cl = std::cos(lat), so = std::sin(lon), co = std::cos(lon);
  return Ecef{-east * so - north * sl * co + up * cl * co,
              east * co - north * sl * so + up * cl * so, north * cl + up * sl};
}

}  // namespace receiver
