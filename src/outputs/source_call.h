#pragma once

#include <string>
#include <string_view>

namespace nimbrix {

// `line` with its source call (everything before the first '>') replaced by `call`; the rest,
// an object's name included, byte for byte. A line without '>' is returned as it is.
std::string WithSourceCall(std::string_view line, std::string_view call);

}  // namespace nimbrix
