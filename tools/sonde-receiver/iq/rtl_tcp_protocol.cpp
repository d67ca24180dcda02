#include "iq/rtl_tcp_protocol.h"

#include <cstring>

namespace receiver {
namespace {

void PutBigEndian(std::uint32_t value, std::uint8_t* out) {
  out[0] = static_cast<std::uint8_t>(value >> 24);
  out[1] = static_cast<std::uint8_t>(value >> 16);
  out[2] = static_cast<std::uint8_t>(value >> 8);
  out[3] = static_cast<std::uint8_t>(value);
}

std::uint32_t GetBigEndian(const std::uint8_t* in) {
  return (std::uint32_t{in[0]} << 24) | (std::uint32_t{in[1]} << 16) | (std::uint32_t{in[2]} << 8) |
         std::uint32_t{in[3]};
}

void Append(std::vector<std::uint8_t>& out, RtlTcpCommand command, std::uint32_t param) {
  const auto bytes = EncodeRtlTcpCommand(command, param);
  out.insert(out.end(), bytes.begin(), bytes.end());
}

}  // namespace

std::string_view RtlTunerName(std::uint32_t tuner_type) {
  switch (static_cast<RtlTuner>(tuner_type)) {
    case RtlTuner::kUnknown:
      return "unknown tuner";
    case RtlTuner::kE4000:
      return "E4000";
    case RtlTuner::kFc0012:
      return "FC0012";
    case RtlTuner::kFc0013:
      return "FC0013";
    case RtlTuner::kFc2580:
      return "FC2580";
    case RtlTuner::kR820t:
      return "R820T";
    case RtlTuner::kR828d:
      return "R828D";
  }
  return "unknown tuner";
}

std::array<std::uint8_t, kRtlTcpGreetingSize> EncodeRtlTcpGreeting(const RtlTcpGreeting& greeting) {
  std::array<std::uint8_t, kRtlTcpGreetingSize> out{'R', 'T', 'L', '0'};
  PutBigEndian(greeting.tuner_type, out.data() + 4);
  PutBigEndian(greeting.gain_count, out.data() + 8);
  return out;
}

std::optional<RtlTcpGreeting> ParseRtlTcpGreeting(std::span<const std::uint8_t> bytes) {
  if (bytes.size() != kRtlTcpGreetingSize || std::memcmp(bytes.data(), "RTL0", 4) != 0) {
    return std::nullopt;
  }
  return RtlTcpGreeting{GetBigEndian(bytes.data() + 4), GetBigEndian(bytes.data() + 8)};
}

std::array<std::uint8_t, kRtlTcpCommandSize> EncodeRtlTcpCommand(RtlTcpCommand command,
                                                                 std::uint32_t param) {
  std::array<std::uint8_t, kRtlTcpCommandSize> out{static_cast<std::uint8_t>(command)};
  PutBigEndian(param, out.data() + 1);
  return out;
}

std::optional<RtlTcpCommandMessage> ParseRtlTcpCommand(std::span<const std::uint8_t> bytes) {
  if (bytes.size() != kRtlTcpCommandSize) return std::nullopt;
  return RtlTcpCommandMessage{bytes[0], GetBigEndian(bytes.data() + 1)};
}

std::vector<std::uint8_t> RtlTcpSetupCommands(const RtlTcpSetup& setup) {
  std::vector<std::uint8_t> out;
  Append(out, RtlTcpCommand::kSampleRate, setup.sample_rate);
  Append(out, RtlTcpCommand::kFrequency, setup.center_hz);
  if (setup.gain_tenths_db) {
    Append(out, RtlTcpCommand::kGainMode, 1);
    Append(out, RtlTcpCommand::kGain, static_cast<std::uint32_t>(*setup.gain_tenths_db));
  } else {
    // The tuner's own gain control; the RTL2832's digital AGC stays off, as it clips.
    Append(out, RtlTcpCommand::kGainMode, 0);
    Append(out, RtlTcpCommand::kAgcMode, 0);
  }
  Append(out, RtlTcpCommand::kFreqCorrection, static_cast<std::uint32_t>(setup.ppm));
  Append(out, RtlTcpCommand::kBiasTee, setup.bias_tee ? 1 : 0);
  return out;
}

std::size_t AppendIqPairs(std::span<const std::uint8_t> bytes,
                          std::vector<std::complex<float>>& out) {
  const std::size_t pairs = bytes.size() / 2;
  out.reserve(out.size() + pairs);
  for (std::size_t k = 0; k < pairs; ++k) out.push_back(IqFromU8(bytes[2 * k], bytes[2 * k + 1]));
  return pairs * 2;
}

}  // namespace receiver
