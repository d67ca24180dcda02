// The RS41 decoder on arbitrary input: whole frames as bytes after the XOR (both lengths), and
// the same bytes as a symbol stream cut at fuzzed sizes, in either polarity. Whatever it
// returns is one JSON line with the members a frame must have.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/decoded_frame.h"
#include "fuzz_check.h"
#include "rs41/rs41_decoder.h"

namespace {

using nimbrix::fuzz::Check;

void CheckFrame(const receiver::DecodedFrame& frame) {
  const std::string line = receiver::FrameJsonLine(frame, 403500);
  Check(line.rfind("{ \"type\": \"RS41\"", 0) == 0, "an RS41 line starts with its type", line);
  Check(line.find_first_of("\r\n") == std::string::npos, "one line", line);
  Check(!frame.id.empty(), "a frame has a serial", line);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  receiver::Rs41Decoder decoder;
  const bool whole = in.ConsumeBool();
  if (whole) {
    std::vector<std::uint8_t> frame = in.ConsumeBytes<std::uint8_t>(in.ConsumeBool() ? 320 : 518);
    if (const auto decoded = decoder.DecodeDescrambled(frame)) CheckFrame(*decoded);
  }
  const bool invert = in.ConsumeBool();
  while (in.remaining_bytes() > 0) {
    std::vector<std::uint8_t> bytes =
        in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(1, 700));
    std::vector<std::uint8_t> symbols;
    for (std::uint8_t b : bytes) {
      for (int bit = 0; bit < 8; ++bit) symbols.push_back(((b >> bit) & 1) ^ (invert ? 1 : 0));
    }
    for (const auto& frame : decoder.PushSymbols(symbols)) CheckFrame(frame);
  }
  return 0;
}
