#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace nimbrix {

// A server entry "host,port[,anything]" as written in the configuration.
struct ServerEntry {
  std::string host;       // before the first comma, or the whole entry
  std::int16_t port = 0;  // 0 or negative: the entry cannot be used
};

ServerEntry SplitServerEntry(std::string_view entry);

}  // namespace nimbrix
