#pragma once

#include <cstdint>

#include "format/local_time.h"

namespace nimbrix {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalTime Now() = 0;
  // Milliseconds from an arbitrary start, never going back: for how long something has taken,
  // which the wall clock cannot tell when it is set or changes to summer time.
  virtual std::int64_t MonotonicMs() = 0;
  // The wall clock in UTC, milliseconds since 1970-01-01: for what the station stamps for
  // others (the time a frame was received), which must not depend on the local time zone.
  virtual std::int64_t UtcMs() = 0;
  virtual void SleepMs(int milliseconds) = 0;
};

}  // namespace nimbrix
