#pragma once
// A simulated flight: launched at about 300 m, climbing at 5 m/s, drifting with a steady
// wind, bursting at 33 km and falling back. Pure: the position at a time.

#include <string>

namespace standin {

struct FlightPoint {
  double lat_deg = 0, lon_deg = 0, alt_m = 0;
  double vel_east_ms = 0, vel_north_ms = 0, vel_up_ms = 0;
};

struct FlightPlan {
  double lat_deg = 52.1;
  double lon_deg = 13.2;
  double launch_alt_m = 300;
  double climb_ms = 5;
  double burst_alt_m = 33000;
  double fall_ms = 12;  // a steady descent under the remains of the balloon
  double wind_east_ms = 8;
  double wind_north_ms = 3;
};

FlightPoint FlightAt(const FlightPlan& plan, double t_seconds);

// A sonde's place in the sky at the simulation's start: each sonde of a run its own.
FlightPlan PlanForSonde(int index, unsigned seed);

// Made-up serials in each kind's form: "S" and 7 digits for the RS41, 6 digits for the DFM.
std::string MadeUpRs41Serial(int index, unsigned seed);
long MadeUpDfmSerial(int index, unsigned seed);

}  // namespace standin
