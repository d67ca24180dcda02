#pragma once
// The DFM as the simulator sends it: a frame every half second, plain FSK at 2500 chips/s,
// ±3.4 kHz. Five frames carry one set of data packets, so the telemetry is taken once per
// five frames, at the first one's time.

#include <memory>
#include <string>

#include "flight.h"
#include "sonde_source.h"

namespace standin {

inline constexpr double kDfmFramePeriodS = 0.5;
inline constexpr int kDfmFramesPerCycle = 5;

// The chips of frame `frame_index` of the flight, sent at `t_seconds`.
std::vector<std::uint8_t> DfmFrameSymbols(std::uint32_t serial, const FlightPlan& plan,
                                          long long frame_index, double t_seconds);

// `serial`: the digits as printed ("314377"); empty for a made-up one.
std::unique_ptr<SondeSource> MakeDfmSonde(double frequency_hz, const std::string& serial, int index,
                                          unsigned seed, double snr_db, float noise_sigma);

}  // namespace standin
