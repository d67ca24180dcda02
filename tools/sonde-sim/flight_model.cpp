#include "flight_model.h"

#include <algorithm>
#include <cmath>

namespace sondesim {

namespace {

constexpr double kGravity = 9.80665;        // m/s^2
constexpr double kGasConstant = 287.053;    // J/(kg K), dry air
constexpr double kSeaLevelDensity = 1.225;  // kg/m^3
constexpr double kMetresPerDegree = 111320.0;
constexpr double kPi = 3.14159265358979323846;

struct Layer {
  double base;   // m
  double lapse;  // K/m
};
// The ISA layers; base temperatures and pressures follow from the layers below.
constexpr Layer kLayers[] = {{0, -0.0065},    {11000, 0}, {20000, 0.001},
                             {32000, 0.0028}, {47000, 0}, {51000, -0.0028}};

double PressureStep(double p0, double t0, double lapse, double dh) {
  if (lapse == 0) return p0 * std::exp(-kGravity * dh / (kGasConstant * t0));
  return p0 * std::pow(t0 / (t0 + lapse * dh), kGravity / (kGasConstant * lapse));
}

double Wrap360(double deg) {
  double d = std::fmod(deg, 360.0);
  return d < 0 ? d + 360.0 : d;
}

}  // namespace

Atmosphere StandardAtmosphere(double altitudeM) {
  const double h = std::clamp(altitudeM, -500.0, 71000.0);
  double t = 288.15;
  double p = 101325.0;
  const size_t n = std::size(kLayers);
  size_t i = 0;
  while (i + 1 < n && h >= kLayers[i + 1].base) {
    const double dh = kLayers[i + 1].base - kLayers[i].base;
    p = PressureStep(p, t, kLayers[i].lapse, dh);
    t += kLayers[i].lapse * dh;
    ++i;
  }
  const double dh = h - kLayers[i].base;
  p = PressureStep(p, t, kLayers[i].lapse, dh);
  t += kLayers[i].lapse * dh;
  return {p / 100.0, t - 273.15, p / (kGasConstant * t)};
}

double HumidityAt(double altitudeM) {
  const double h = std::max(altitudeM, 0.0);
  const double cloud = (h - 3000.0) / 800.0;
  const double rh = 2.0 + 78.0 * std::exp(-h / 5000.0) + 18.0 * std::exp(-cloud * cloud);
  return std::clamp(rh, 1.0, 100.0);
}

Wind WindAt(double altitudeM, double groundSpeedMs, double groundFromDeg) {
  const double h = std::max(altitudeM, 0.0);
  const double jet = (h - 11000.0) / 4000.0;
  const double speed = groundSpeedMs * (1.0 + h / 20000.0) + 22.0 * std::exp(-jet * jet);
  return {speed, Wrap360(groundFromDeg + 30.0 * std::sin(h / 8000.0))};
}

Flight::Flight(const FlightParams& params) {
  double lat = params.lat;
  double lon = params.lon;
  double alt = params.launchAltM;
  const double burst = std::max(params.burstAltM, params.launchAltM + 1.0);
  const double ascent = std::max(params.ascentMs, 0.1);
  const double descent = std::max(params.descentMs, 0.1);
  bool rising = true;
  // Falls in thin air are fast: at equal drag, speed goes with 1/sqrt(density).
  auto fallRate = [&](double h) {
    return descent * std::sqrt(kSeaLevelDensity / StandardAtmosphere(h).densityKgM3);
  };
  constexpr int kMaxSeconds = 7 * 24 * 3600;  // slow settings must still end
  for (int t = 0; t < kMaxSeconds; ++t) {
    const Atmosphere air = StandardAtmosphere(alt);
    const Wind wind = WindAt(alt, params.windMs, params.windFromDeg);
    FlightPoint point;
    point.lat = lat;
    point.lon = lon;
    point.alt = alt;
    point.headingDeg = wind.fromDeg;
    point.speedMs = wind.speedMs;
    point.climbMs = rising ? ascent : -fallRate(alt);
    point.pressureHpa = air.pressureHpa;
    point.temperatureC = air.temperatureC;
    point.humidity = HumidityAt(alt);
    track_.push_back(point);

    if (!rising && alt <= params.launchAltM) break;
    const double towards = (wind.fromDeg + 180.0) * kPi / 180.0;
    lat += wind.speedMs * std::cos(towards) / kMetresPerDegree;
    const double cosLat = std::max(std::cos(lat * kPi / 180.0), 0.01);
    lon += wind.speedMs * std::sin(towards) / (kMetresPerDegree * cosLat);
    lat = std::clamp(lat, -90.0, 90.0);
    lon = lon > 180.0 ? lon - 360.0 : (lon < -180.0 ? lon + 360.0 : lon);
    alt += point.climbMs;
    if (rising && alt >= burst) {
      alt = burst;
      rising = false;
      burstTime_ = t + 1;
    }
    alt = std::max(alt, params.launchAltM);
  }
  FlightPoint& landed = track_.back();
  landed.speedMs = 0;
  landed.climbMs = 0;
}

FlightPoint Flight::At(double seconds) const {
  if (!(seconds > 0)) {  // NaN too
    FlightPoint p = track_.front();
    p.speedMs = 0;
    p.climbMs = 0;
    return p;
  }
  if (seconds >= LandingTime()) return track_.back();
  const size_t i = static_cast<size_t>(seconds);
  const double f = seconds - static_cast<double>(i);
  const FlightPoint& a = track_[i];
  const FlightPoint& b = track_[i + 1];
  auto mix = [f](double x, double y) { return x + (y - x) * f; };
  FlightPoint p = a;
  p.lat = mix(a.lat, b.lat);
  p.lon = mix(a.lon, b.lon);
  p.alt = mix(a.alt, b.alt);
  p.speedMs = mix(a.speedMs, b.speedMs);
  p.climbMs = mix(a.climbMs, b.climbMs);
  p.pressureHpa = mix(a.pressureHpa, b.pressureHpa);
  p.temperatureC = mix(a.temperatureC, b.temperatureC);
  p.humidity = mix(a.humidity, b.humidity);
  return p;
}

}  // namespace sondesim
