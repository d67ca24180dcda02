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
  virtual void SleepMs(int milliseconds) = 0;
};

}  // namespace nimbrix
