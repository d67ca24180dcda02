#pragma once

// The frame's own UTC time, from the decoder's time items: one rule for every output that
// dates a frame (SondeHub's record, the flight log, the status page).

#include <cstdint>
#include <optional>
#include <string_view>

#include "telemetry/sonde_sample.h"

namespace nimbrix {

// The frame's UTC time in ms since 1970 from item 6 (kTimeText) and item 14 (kTimeMs), nullopt
// when neither tells it. Item 6 as "YYYY-MM-DD hh:mm:ss" (or with 'T') is taken as it stands,
// however far from now: item 14 adds its milliseconds when it falls in that second. Item 6 with
// only a time of day at characters 12 to 19 gets the date that puts it nearest to `nowUtcMs`.
// With no time in item 6, item 14 when it lies within two days of now.
std::optional<std::int64_t> FrameUtcMs(std::string_view timeText, std::int64_t timeMs,
                                       std::int64_t nowUtcMs);
std::optional<std::int64_t> FrameUtcMs(const SondeSample& sample, std::int64_t nowUtcMs);

}  // namespace nimbrix
