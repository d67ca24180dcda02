#pragma once

// What the bridge answers to GETSONDEDATA for a frame: the items of the contract and its
// extension in their types (telemetry/decoder_items.h, docs/decoder-dbus.xml).

#include <array>
#include <cstdint>
#include <string>

#include "decoder-service/answer.h"
#include "frame.h"

namespace bridge {

// The answers for the items 0 to 17. `qrgFallback` is item 7 when the frame names no
// frequency of its own ("" when the operator gave none either). A reading the frame lacks is
// EMPTY, except the temperature, humidity and heading, whose stand-ins the station shows as "no
// reading" (-99, 0, course 0).

std::array<decoder::Answer, decoder::kItemCount> AnswersOf(const Frame& frame,
                                                           const std::string& qrgFallback);

// A frequency given in kHz as item 7 shows it, in MHz with three decimals: 403500 gives
// "403.500". Rounded to the nearest kHz (a half away from zero); from 0 up to 10 GHz.
std::string FrequencyText(double khz);

// Item 15, the kind of sonde: the subtype where it refines the type ("RS41-SGP", "DFM06" of
// "0x6:DFM06"), else the type ("M10" of subtype "0x9F"); "" when the frame names neither.
std::string KindOf(const Frame& frame);

// Whole seconds of a time in milliseconds since 1970, rounded down (also before 1970).
std::int64_t WholeSeconds(std::int64_t ms);

}  // namespace bridge
