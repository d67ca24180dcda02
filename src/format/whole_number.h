#pragma once

#include <cstdint>

namespace nimbrix {

// The station's narrow whole numbers, each made from the nearest whole number (an exact half
// going to the even neighbour). Two ways to narrow, for two kinds of value:

// Wrapped: only the lowest 16 bits remain, read as a signed number, as a 16-bit register would
// hold them (40000 gives -25536, 65536 gives 0). NaN and infinities give 0.
std::int16_t LowWord(double value);
std::int16_t LowWord(std::int64_t value);
// The same with 32 bits (frame numbers): 4294967296 gives 0, 2147483648 gives -2147483648.
std::int32_t LowDoubleWord(std::int64_t value);

// Held at the ends of the range instead, so that a huge count can never come out as a small
// valid one (1e300 gives 32767). NaN gives 0.
std::int16_t ClampedWord(double value);

}  // namespace nimbrix
