#include "rs41_sonde.h"

#include <cmath>

#include "rs41/rs41_encoder.h"

namespace standin {

std::vector<std::uint8_t> Rs41FrameSymbols(const std::string& serial, const FlightPlan& plan,
                                           double frequency_hz, long frame, double t_seconds) {
  const FlightPoint p = FlightAt(plan, t_seconds);
  receiver::Rs41Telemetry t;
  t.serial = serial;
  t.frame = frame;
  t.gps_week = 2400;
  t.gps_tow_s = std::fmod(302400 + t_seconds, 604800);
  t.lat_deg = p.lat_deg;
  t.lon_deg = p.lon_deg;
  t.alt_m = p.alt_m;
  t.vel_east_ms = p.vel_east_ms;
  t.vel_north_ms = p.vel_north_ms;
  t.vel_up_ms = p.vel_up_ms;
  t.sats = 9;
  t.batt_v = 2.9;
  t.tx_frequency_khz = static_cast<int>(std::lround(frequency_hz / 1e3));
  std::vector<std::uint8_t> symbols;
  for (int k = 0; k < kRs41PreambleBits; ++k) symbols.push_back(static_cast<std::uint8_t>(k & 1));
  const auto air = receiver::Rs41AirSymbols(receiver::BuildRs41AirFrame(t));
  symbols.insert(symbols.end(), air.begin(), air.end());
  return symbols;
}

std::unique_ptr<SondeSource> MakeRs41Sonde(double frequency_hz, const std::string& serial,
                                           const FlightPlan& plan, double snr_db,
                                           float noise_sigma) {
  SondeSignal signal;
  signal.frequency_hz = frequency_hz;
  signal.symbol_rate = 4800;
  signal.deviation_hz = 2400;
  signal.gaussian_bt = 0.5;
  signal.frame_period_s = 1;
  signal.snr_db = snr_db;
  return std::make_unique<SondeSource>(
      signal, noise_sigma, [serial, plan, frequency_hz](long long frame, double t) {
        return Rs41FrameSymbols(serial, plan, frequency_hz, static_cast<long>(frame) + 1000, t);
      });
}

}  // namespace standin
