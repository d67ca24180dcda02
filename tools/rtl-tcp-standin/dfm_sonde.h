#pragma once
// The DFM as the simulator sends it: frames back to back as the real one does (280 bits of
// two chips at 2500 chips/s, about four and a half a second), plain FSK, ±3.4 kHz. Five
// frames carry one set of data packets, so the telemetry is taken once per five frames, at
// the first one's time.

#include <memory>
#include <string>

#include "dfm/dfm_frame.h"
#include "flight.h"
#include "sonde_source.h"

namespace standin {

inline constexpr double kDfmChipRate = 2500;
inline constexpr double kDfmFramePeriodS = receiver::dfm::kFrameChips / kDfmChipRate;
inline constexpr int kDfmFramesPerCycle = 5;

// The chips of frame `frame_index` of the flight, sent at `t_seconds`.
std::vector<std::uint8_t> DfmFrameSymbols(std::uint32_t serial, const FlightPlan& plan,
                                          long long frame_index, double t_seconds);

// `serial`: the digits as printed ("314377"); empty for a made-up one. `inverted`: the upper
// frequency for a 0 chip, as some DFMs (or receivers) have it.
std::unique_ptr<SondeSource> MakeDfmSonde(double frequency_hz, const std::string& serial, int index,
                                          unsigned seed, double snr_db, float noise_sigma,
                                          bool inverted = false);

}  // namespace standin
