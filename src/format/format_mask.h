#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace nimbrix {

// Writes a number through a display mask such as "* ######", "00.0000" or "* #0.00000 ".
// Works on the exact binary value (a float widens to double without loss), with 18 significant
// decimal digits; ties at the mask's last decimal place go to the even neighbour.
// NaN and infinities are written as 0.
std::string FormatMask(double value, std::string_view mask);
std::string FormatMask(std::int64_t value, std::string_view mask);

}  // namespace nimbrix
