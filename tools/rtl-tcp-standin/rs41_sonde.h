#pragma once
// The RS41 as the simulator sends it: one frame a second, GFSK BT 0.5, 4800 bit/s, ±2.4 kHz.

#include <memory>
#include <string>

#include "flight.h"
#include "sonde_source.h"

namespace standin {

// The symbols of one RS41 frame for the flight at `t_seconds`, a short alternating preamble
// first for the receiver's clock to settle on.
std::vector<std::uint8_t> Rs41FrameSymbols(const std::string& serial, const FlightPlan& plan,
                                           double frequency_hz, long frame, double t_seconds);

std::unique_ptr<SondeSource> MakeRs41Sonde(double frequency_hz, const std::string& serial,
                                           const FlightPlan& plan, double snr_db,
                                           float noise_sigma);

inline constexpr int kRs41PreambleBits = 64;

}  // namespace standin
