#pragma once

#include <string>

#include "format/local_time.h"

namespace nimbrix {

// "hh:mm:ss", 24-hour clock.
std::string ClockText(const LocalTime& time);
// "mm-dd-yyyy".
std::string DateText(const LocalTime& time);

}  // namespace nimbrix
