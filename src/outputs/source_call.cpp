#include "outputs/source_call.h"

namespace nimbrix {

std::string WithSourceCall(std::string_view line, std::string_view call) {
  const std::size_t end = line.find('>');
  if (end == std::string_view::npos || call.empty()) return std::string(line);
  std::string swapped(call);
  swapped += line.substr(end);
  return swapped;
}

}  // namespace nimbrix
