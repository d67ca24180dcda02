#include "uplink/server_entry.h"

#include "format/text_to_number.h"
#include "format/whole_number.h"

namespace nimbrix {

ServerEntry SplitServerEntry(std::string_view entry) {
  ServerEntry result;
  const std::size_t comma = entry.find(',');
  if (comma == std::string_view::npos) {
    result.host = std::string(entry);
    return result;
  }
  result.host = std::string(entry.substr(0, comma));
  std::string_view portText = entry.substr(comma + 1);
  portText = portText.substr(0, portText.find(','));
  result.port = LowWord(TextToNumber(portText));
  return result;
}

}  // namespace nimbrix
