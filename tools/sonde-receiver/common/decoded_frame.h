#pragma once
// One frame as a decoder made it: who sent it, and the members of its JSON line in the open
// decoders' own order and number formats. The receiver adds "freq" when it prints the line,
// since only it knows the channel's frequency and the dongle's error.

#include <optional>
#include <string>
#include <vector>

namespace receiver {

struct JsonMember {
  std::string name;
  std::string value;  // already JSON text: "\"RS41\"", "46.01891", "true"
};

struct DecodedFrame {
  std::string kind;  // "RS41", "DFM": as in the line's "type"
  std::string id;    // the serial as printed: "S2410203", "DFM-314377"
  long long frame = 0;
  std::optional<int> tx_frequency_khz;  // what the sonde says it sends on (RS41)
  std::vector<JsonMember> members;      // without "freq"
};

// The line as the open decoders print it: `{ "type": "RS41", ..., "ref_position": "GPS" }`.
// `freq_khz` goes before "tx_frequency", or before "ref_datetime" when there is none.
std::string FrameJsonLine(const DecodedFrame& frame, std::optional<int> freq_khz);

// Value helpers in the decoders' printf formats.
std::string JsonText(const std::string& text);  // quoted, escaped, control bytes dropped
std::string JsonFixed(double value, int decimals);
std::string JsonInt(long long value);

}  // namespace receiver
