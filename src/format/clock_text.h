#pragma once

#include <string>
#include <string_view>

#include "format/local_time.h"

namespace nimbrix {

// "hh:mm:ss", 24-hour clock.
std::string ClockText(const LocalTime& time);
// "mm-dd-yyyy".
std::string DateText(const LocalTime& time);
// "yyyy-mm-dd hh:mm:ss", the date and time that begin each line of the station's log.
std::string DateTimeText(const LocalTime& time);

// The time of day in the decoder's time text, whose characters 12 to 19 hold "hh:mm:ss": up to
// 8 characters from the 12th on, without ":" ("204105"; fewer or none for a shorter text).
std::string TimeOfDayField(std::string_view timeText);

}  // namespace nimbrix
