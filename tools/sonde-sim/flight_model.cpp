#include "flight_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

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

// Days since 1970-01-01 to year, month, day in the proleptic Gregorian calendar (the
// era-based method: 400-year eras of 146097 days, years starting in March).
static void CivilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
}

static std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

std::string TimeText(std::int64_t unixSeconds) {
  std::int64_t days = unixSeconds / 86400;
  std::int64_t secs = unixSeconds % 86400;
  if (secs < 0) {
    secs += 86400;
    --days;
  }
  std::int64_t y = 0;
  unsigned m = 0, d = 0;
  CivilFromDays(days, y, m, d);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u %02d:%02d:%02d", static_cast<long long>(y), m, d,
                static_cast<int>(secs / 3600), static_cast<int>(secs / 60 % 60),
                static_cast<int>(secs % 60));
  return buf;
}

bool ParseTimeText(const std::string& text, std::int64_t& unixSeconds) {
  static const char kLayout[] = "dddd-dd-dd dd:dd:dd";
  if (text.size() != sizeof kLayout - 1) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kLayout[i] == 'd' ? !digit : text[i] != kLayout[i]) return false;
  }
  auto num = [&](size_t pos, size_t len) {
    unsigned v = 0;
    for (size_t i = pos; i < pos + len; ++i) v = v * 10 + static_cast<unsigned>(text[i] - '0');
    return v;
  };
  const unsigned y = num(0, 4), mo = num(5, 2), d = num(8, 2);
  const unsigned h = num(11, 2), mi = num(14, 2), s = num(17, 2);
  if (mo < 1 || mo > 12 || d < 1 || h > 23 || mi > 59 || s > 59) return false;
  const std::int64_t days = DaysFromCivil(y, mo, d);
  std::int64_t cy = 0;
  unsigned cm = 0, cd = 0;
  CivilFromDays(days, cy, cm, cd);
  if (cm != mo || cd != d) return false;  // 31 April and the like
  unixSeconds = days * 86400 + h * 3600 + mi * 60 + s;
  return true;
}

}  // namespace sondesim
