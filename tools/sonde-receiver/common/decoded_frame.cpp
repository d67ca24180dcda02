#include "common/decoded_frame.h"

#include <cmath>
#include <cstdio>

namespace receiver {

std::string FrameJsonLine(const DecodedFrame& frame, std::optional<int> freq_khz) {
  std::string line = "{ ";
  bool first = true;
  bool freq_done = !freq_khz.has_value();
  auto add = [&](const std::string& name, const std::string& value) {
    if (!first) line += ", ";
    first = false;
    line += '"';
    line += name;
    line += "\": ";
    line += value;
  };
  for (const JsonMember& member : frame.members) {
    if (!freq_done && (member.name == "tx_frequency" || member.name == "ref_datetime")) {
      add("freq", JsonInt(*freq_khz));
      freq_done = true;
    }
    add(member.name, member.value);
  }
  if (!freq_done) add("freq", JsonInt(*freq_khz));
  line += " }";
  return line;
}

std::string JsonText(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7f) continue;
    if (c == '"' || c == '\\') out += '\\';
    out += static_cast<char>(c);
  }
  out += '"';
  return out;
}

std::string JsonFixed(double value, int decimals) {
  if (!std::isfinite(value)) value = 0;
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string JsonInt(long long value) {
  return std::to_string(value);
}

}  // namespace receiver
