#pragma once

// UTF-8 checks for texts that travel over D-Bus, whose strings must be valid UTF-8 without NUL.

#include <string>
#include <string_view>

namespace decoder {

// True when every byte belongs to a well-formed UTF-8 sequence (no overlong forms, surrogates or
// values above U+10FFFF). Non-characters and NUL count as valid here: they are well-formed.
bool IsValidUtf8(std::string_view bytes);

// Replaces every byte that is not part of valid UTF-8 (overlong forms, surrogates, values above
// U+10FFFF and non-characters included) and every NUL with U+FFFD.
std::string RepairUtf8(std::string_view bytes);

}  // namespace decoder
