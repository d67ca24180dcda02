#pragma once
// Earth-centred, earth-fixed coordinates (what the RS41's GPS sends) to WGS84 latitude,
// longitude and height above the ellipsoid, and velocities to speed, heading and climb.

namespace receiver {

struct Geodetic {
  double lat_deg = 0;
  double lon_deg = 0;
  double height_m = 0;  // above the WGS84 ellipsoid
};

struct Ecef {
  double x = 0, y = 0, z = 0;  // metres (positions) or m/s (velocities)
};

struct GroundMotion {
  double speed_ms = 0;     // horizontal
  double heading_deg = 0;  // 0..360, the direction of travel, clockwise from north
  double climb_ms = 0;     // positive upwards
};

// Closed form (one Bowring step): better than a millimetre from the ground to far above 80 km.
Geodetic EcefToGeodetic(const Ecef& position);
Ecef GeodeticToEcef(const Geodetic& point);

GroundMotion EcefVelocityToMotion(const Geodetic& at, const Ecef& velocity);
Ecef EastNorthUpToEcefVelocity(const Geodetic& at, double east_ms, double north_ms, double up_ms);

}  // namespace receiver
