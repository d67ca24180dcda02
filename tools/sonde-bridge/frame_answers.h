#pragma once

// What the bridge answers to GETSONDEDATA for a frame: the fifteen items in the types of the
// contract (docs/decoder-dbus.xml).

#include <array>
#include <cstdint>
#include <string>

#include "decoder-service/answer.h"
#include "frame.h"

namespace bridge {

// The answers for the items 0 to 14. `qrgFallback` is item 7 when the frame names no
// frequency of its own ("" when the operator gave none either).
std::array<decoder::Answer, decoder::kItemCount> AnswersOf(const Frame& frame,
                                                           const std::string& qrgFallback);

// A frequency given in kHz as item 7 shows it, in MHz with three decimals: 403500 gives
// "403.500". Rounded to the nearest kHz (a half away from zero); from 0 up to 10 GHz.
std::string FrequencyText(double khz);

// Whole seconds of a time in milliseconds since 1970, rounded down (also before 1970).
std::int64_t WholeSeconds(std::int64_t ms);

}  // namespace bridge
