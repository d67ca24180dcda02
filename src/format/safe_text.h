#pragma once

#include <string>
#include <string_view>

namespace nimbrix {

// Control bytes are 0..31 and 127. Texts from the decoder, the network or the configuration
// pass through one of these before they reach a line on the wire or the terminal.

// For the APRS-IS stream: a line on the connection is always exactly one line.
std::string StripControlBytes(std::string_view text);
// For the terminal: no escape sequence from outside ever reaches it; "?" marks the spot.
std::string MaskControlBytes(std::string_view text);

}  // namespace nimbrix
