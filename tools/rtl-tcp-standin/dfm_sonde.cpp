#include "dfm_sonde.h"

#include <cmath>
#include <cstdlib>
#include <numbers>

#include "dfm/dfm_encoder.h"

namespace standin {
namespace {

// The simulated day starts at 08:00 UTC, so a long run does not cross midnight.
constexpr int kStartHour = 8;

}  // namespace

std::vector<std::uint8_t> DfmFrameSymbols(std::uint32_t serial, const FlightPlan& plan,
                                          long long frame_index, double t_seconds) {
  const double cycle_t = std::max(
      0.0, t_seconds - static_cast<double>(frame_index % kDfmFramesPerCycle) * kDfmFramePeriodS);
  const FlightPoint p = FlightAt(plan, cycle_t);
  const long whole = static_cast<long>(std::floor(cycle_t));
  receiver::DfmTelemetry t;
  t.serial = serial;
  t.frame_count = whole;  // steps with the GPS seconds
  t.year = 2026;
  t.month = 12;
  t.day = 10;
  t.hour = kStartHour + static_cast<int>(whole / 3600) % 16;
  t.minute = static_cast<int>(whole / 60 % 60);
  t.second = static_cast<double>(whole % 60);
  t.lat_deg = p.lat_deg;
  t.lon_deg = p.lon_deg;
  t.alt_m = p.alt_m;
  t.speed_ms = std::hypot(p.vel_east_ms, p.vel_north_ms);
  t.heading_deg =
      std::fmod(std::atan2(p.vel_east_ms, p.vel_north_ms) * 180 / std::numbers::pi + 360, 360);
  t.climb_ms = p.vel_up_ms;
  t.sats = 8;
  t.diff_gps_msl_m = 45;
  return receiver::BuildDfmAirSymbols(t, static_cast<int>(frame_index % 1000000));
}

std::unique_ptr<SondeSource> MakeDfmSonde(double frequency_hz, const std::string& serial, int index,
                                          unsigned seed, double snr_db, float noise_sigma,
                                          bool inverted) {
  const std::uint32_t number =
      serial.empty() ? static_cast<std::uint32_t>(MadeUpDfmSerial(index, seed))
                     : static_cast<std::uint32_t>(std::strtoul(serial.c_str(), nullptr, 10));
  const FlightPlan plan = PlanForSonde(index, seed);
  SondeSignal signal;
  signal.frequency_hz = frequency_hz;
  signal.symbol_rate = kDfmChipRate;
  signal.deviation_hz = 3400;
  signal.gaussian_bt = 0;
  signal.frame_period_s = kDfmFramePeriodS;
  signal.snr_db = snr_db;
  signal.back_to_back = true;
  signal.inverted = inverted;
  return std::make_unique<SondeSource>(signal, noise_sigma,
                                       [number, plan](long long frame, double t) {
                                         return DfmFrameSymbols(number, plan, frame, t);
                                       });
}

}  // namespace standin
