#pragma once

// A radiosonde flight without a radio: launch, ascent, burst, descent under a parachute, drifting
// with a wind that changes with height, in a standard atmosphere. Pure arithmetic, no clock.

#include <vector>

namespace sondesim {

// The International Standard Atmosphere up to 71 km (temperature piecewise linear in height,
// pressure from the barometric formula of each layer).
struct Atmosphere {
  double pressureHpa;
  double temperatureC;
  double densityKgM3;
};
Atmosphere StandardAtmosphere(double altitudeM);

// Relative humidity in percent: moist near the ground, a cloud layer near 3 km, dry above.
double HumidityAt(double altitudeM);

struct Wind {
  double speedMs;
  double fromDeg;  // where it blows from, 0..360
};
// The ground wind, strengthening to a jet stream near the tropopause and veering with height.
Wind WindAt(double altitudeM, double groundSpeedMs, double groundFromDeg);

struct FlightParams {
  double lat = 48.1;
  double lon = 11.5;
  double launchAltM = 500;
  double burstAltM = 30000;
  double ascentMs = 5;   // near constant for a balloon
  double descentMs = 5;  // with the parachute at sea level; faster where the air is thin
  double windMs = 5;     // at the ground
  double windFromDeg = 270;
};

// One second of flight.
struct FlightPoint {
  double lat = 0, lon = 0, alt = 0;
  double headingDeg = 0;  // where the sonde comes from (its travel direction plus 180)
  double speedMs = 0;     // horizontal
  double climbMs = 0;
  double pressureHpa = 0, temperatureC = 0, humidity = 0;
};

class Flight {
 public:
  explicit Flight(const FlightParams& params);
  // The state `seconds` after launch; before launch the sonde waits at the site, after landing
  // it lies still.
  FlightPoint At(double seconds) const;
  double BurstTime() const { return burstTime_; }
  double LandingTime() const { return static_cast<double>(track_.size() - 1); }

 private:
  std::vector<FlightPoint> track_;  // one point per whole second, from launch to landing
  double burstTime_ = 0;
};

}  // namespace sondesim
