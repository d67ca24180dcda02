#include "uplink/server_entry.h"

#include <cmath>

#include "format/round_to.h"
#include "format/text_to_number.h"

namespace nimbrix {

std::int16_t LowWord(double value) {
  if (!std::isfinite(value)) return 0;
  // fmod is exact, so even a whole number far beyond 2^53 keeps its true low 16 bits; only
  // values already in -65535..65535 are ever converted to an integer.
  double rest = std::fmod(RoundHalfEven(value), 65536.0);
  if (rest < 0) rest += 65536.0;
  const auto bits = static_cast<std::uint16_t>(static_cast<std::uint32_t>(rest));
  return static_cast<std::int16_t>(bits);
}

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
