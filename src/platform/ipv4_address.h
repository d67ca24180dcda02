#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace nimbrix {

// The first IPv4 address that the system's name resolution gives for `host` (a name or a
// dotted address), in network byte order; nothing when there is none. On Windows, Winsock must
// be started first.
std::optional<std::uint32_t> FirstIpv4Address(const std::string& host);

}  // namespace nimbrix
