#pragma once
// The rtl_tcp wire protocol, as pure functions: the server's 12-byte greeting, the client's
// 5-byte commands (both big-endian), and the dongle's u8 I/Q bytes as complex floats.

#include <array>
#include <complex>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace receiver {

inline constexpr std::size_t kRtlTcpGreetingSize = 12;
inline constexpr std::size_t kRtlTcpCommandSize = 5;

// The tuner numbers of librtlsdr's enum, as the greeting carries them.
enum class RtlTuner : std::uint32_t {
  kUnknown = 0,
  kE4000 = 1,
  kFc0012 = 2,
  kFc0013 = 3,
  kFc2580 = 4,
  kR820t = 5,
  kR828d = 6,
};

struct RtlTcpGreeting {
  std::uint32_t tuner_type = 0;
  std::uint32_t gain_count = 0;
};

// "R820T", "E4000"...; "unknown tuner" for numbers outside librtlsdr's list.
std::string_view RtlTunerName(std::uint32_t tuner_type);

std::array<std::uint8_t, kRtlTcpGreetingSize> EncodeRtlTcpGreeting(const RtlTcpGreeting& greeting);
// Nothing unless the bytes are exactly "RTL0" followed by the two numbers.
std::optional<RtlTcpGreeting> ParseRtlTcpGreeting(std::span<const std::uint8_t> bytes);

enum class RtlTcpCommand : std::uint8_t {
  kFrequency = 0x01,       // Hz
  kSampleRate = 0x02,      // Hz
  kGainMode = 0x03,        // 0 automatic, 1 manual
  kGain = 0x04,            // tenths of a dB
  kFreqCorrection = 0x05,  // ppm, as a signed number in the 32 bits
  kIfGain = 0x06,
  kTestMode = 0x07,
  kAgcMode = 0x08,  // the RTL2832's own AGC: 0 off, 1 on
  kDirectSampling = 0x09,
  kOffsetTuning = 0x0a,
  kRtlXtal = 0x0b,
  kTunerXtal = 0x0c,
  kGainByIndex = 0x0d,
  kBiasTee = 0x0e,  // 0 off, 1 on
};

struct RtlTcpCommandMessage {
  std::uint8_t command = 0;
  std::uint32_t param = 0;
};

std::array<std::uint8_t, kRtlTcpCommandSize> EncodeRtlTcpCommand(RtlTcpCommand command,
                                                                 std::uint32_t param);
std::optional<RtlTcpCommandMessage> ParseRtlTcpCommand(std::span<const std::uint8_t> bytes);

// What a client says to a freshly connected server, in this order: sample rate, centre,
// gain (automatic when `gain_tenths_db` is empty, the digital AGC off), ppm, bias tee.
struct RtlTcpSetup {
  std::uint32_t sample_rate = 2048000;
  std::uint32_t center_hz = 403000000;
  std::optional<int> gain_tenths_db;
  int ppm = 0;
  bool bias_tee = false;
};
std::vector<std::uint8_t> RtlTcpSetupCommands(const RtlTcpSetup& setup);

// The dongle's unsigned bytes to [-1, 1]: its zero sits at 127.4, not 128.
inline std::complex<float> IqFromU8(std::uint8_t i, std::uint8_t q) {
  return {(static_cast<float>(i) - 127.4f) / 128.0f, (static_cast<float>(q) - 127.4f) / 128.0f};
}

// Converts whole pairs from `bytes`, appending to `out`; returns the bytes used (always even).
std::size_t AppendIqPairs(std::span<const std::uint8_t> bytes,
                          std::vector<std::complex<float>>& out);

}  // namespace receiver
