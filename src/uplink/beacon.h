#pragma once

// The station's own position report for the sonde maps' lists of receiving stations: a dish
// antenna ("/" "`") at POSITION, at start and every 30 minutes.

#include <cstdint>
#include <string>

#include "config/station_config.h"

namespace nimbrix {

inline constexpr std::int64_t kBeaconPeriodMs = 30 * 60 * 1000;

// "CALL>APZQW0,TCPIP*:!ddmm.mmN/dddmm.mmE`" + "/A=" altitude in feet + " NIMBRIX 0.22", CR LF.
std::string BeaconLine(const std::string& call, const StationPosition& position);

// The beacon line of this configuration (BEACON=YES with POSITION=), or empty for none.
std::string StationBeaconLine(const StationConfig& config);

// When the beacon is due, by the monotonic clock: at the first look, then every period.
class BeaconTimer {
 public:
  explicit BeaconTimer(std::int64_t periodMs = kBeaconPeriodMs) : periodMs_(periodMs) {}
  bool Due(std::int64_t nowMs) {
    if (started_ && nowMs - lastMs_ < periodMs_) return false;
    started_ = true;
    lastMs_ = nowMs;
    return true;
  }

 private:
  std::int64_t periodMs_;
  bool started_ = false;
  std::int64_t lastMs_ = 0;
};

}  // namespace nimbrix
