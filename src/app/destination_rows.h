#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "format/clock_reading.h"
#include "format/local_time.h"
#include "outputs/output.h"

namespace nimbrix {

// The local time of a UTC moment, by the offset the clock shows now.
LocalTime LocalTimeAt(std::int64_t utcMs, const ClockReading& now);

// Row 16: the SondeHub feed ("SondeHub: 412 frames sent, last 12:03:04 OK").
std::string SondehubRow(const DestinationStatus& status, const ClockReading& now);

// Row 17: each extra APRS-IS destination and the chase-car summary, in a few characters each.
std::string ExtrasRow(const std::vector<DestinationStatus>& statuses, const ClockReading& now);

// Rows are at most this long, so that they never wrap into the next row.
inline constexpr std::size_t kDestinationRowWidth = 79;

}  // namespace nimbrix
