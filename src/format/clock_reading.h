#pragma once

#include <cstdint>

#include "format/local_time.h"

namespace nimbrix {

// The clock read once, on both faces: for showing UTC times of the destinations in local time.
struct ClockReading {
  LocalTime local;
  std::int64_t utcMs = 0;
};

}  // namespace nimbrix
