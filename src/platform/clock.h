#pragma once

#include "format/local_time.h"

namespace nimbrix {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalTime Now() = 0;
  virtual void SleepMs(int milliseconds) = 0;
};

}  // namespace nimbrix
