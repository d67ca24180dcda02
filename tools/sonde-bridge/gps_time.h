#pragma once

// GPS time to UTC. GPS time runs ahead of UTC by the leap seconds inserted into UTC since GPS
// time began (1980-01-06): 0 then, 18 since 2017-01-01.

#include <cstdint>

namespace bridge {

// GPS time minus UTC, in whole seconds, in force at a GPS time (milliseconds since 1970 counted
// as if the GPS time were UTC, as the decoders print it). 0 before 1980-01-06.
std::int64_t GpsMinusUtcSeconds(std::int64_t gpsMs);

// The UTC time of a GPS time, both in milliseconds since 1970. A leap second itself (23:59:60
// UTC) comes out as the following 00:00:00, as POSIX clocks count it.
std::int64_t GpsToUtcMs(std::int64_t gpsMs);

}  // namespace bridge
