#include "flight.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace standin {
namespace {

constexpr double kMetresPerDegree = 111320;

unsigned Mix(int index, unsigned seed) {
  unsigned x = seed * 2654435761u + static_cast<unsigned>(index) * 40503u + 12345u;
  x ^= x >> 15;
  x *= 2246822519u;
  x ^= x >> 13;
  return x;
}

}  // namespace

FlightPoint FlightAt(const FlightPlan& plan, double t_seconds) {
  const double t = std::max(t_seconds, 0.0);
  const double climb_time = (plan.burst_alt_m - plan.launch_alt_m) / plan.climb_ms;
  FlightPoint p;
  if (t <= climb_time) {
    p.alt_m = plan.launch_alt_m + plan.climb_ms * t;
    p.vel_up_ms = plan.climb_ms;
  } else {
    p.alt_m = std::max(plan.burst_alt_m - plan.fall_ms * (t - climb_time), 0.0);
    p.vel_up_ms = p.alt_m > 0 ? -plan.fall_ms : 0;
  }
  const bool landed = t > climb_time && p.alt_m <= 0;
  const double drift_time = landed ? climb_time + plan.burst_alt_m / plan.fall_ms : t;
  p.vel_east_ms = landed ? 0 : plan.wind_east_ms;
  p.vel_north_ms = landed ? 0 : plan.wind_north_ms;
  p.lat_deg = plan.lat_deg + plan.wind_north_ms * drift_time / kMetresPerDegree;
  p.lon_deg =
      plan.lon_deg + plan.wind_east_ms * drift_time /
                         (kMetresPerDegree * std::cos(plan.lat_deg * std::numbers::pi / 180));
  return p;
}

FlightPlan PlanForSonde(int index, unsigned seed) {
  FlightPlan plan;
  const unsigned x = Mix(index, seed);
  plan.lat_deg += static_cast<double>(x % 1000) / 1000 - 0.5;
  plan.lon_deg += static_cast<double>((x / 1000) % 1000) / 1000 - 0.5;
  plan.wind_east_ms += static_cast<double>((x / 1000000) % 7) - 3;
  return plan;
}

std::string MadeUpRs41Serial(int index, unsigned seed) {
  char serial[16];
  std::snprintf(serial, sizeof(serial), "S%07u", Mix(index, seed) % 10000000u);
  return serial;
}

long MadeUpDfmSerial(int index, unsigned seed) {
  return 100000 + static_cast<long>(Mix(index + 1000, seed) % 900000u);
}

}  // namespace standin
