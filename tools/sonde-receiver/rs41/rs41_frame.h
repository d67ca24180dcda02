#pragma once
// The RS41 frame as sent: an 8-byte header, two interleaved Reed-Solomon (255,231) codewords
// (parity at bytes 8..55, data from byte 56 on: even bytes in the first codeword, odd bytes in
// the second), and the data as blocks of id, length, payload and CRC-16. Everything after the
// header is whitened with a 64-byte XOR sequence; bytes are sent least significant bit first.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

namespace receiver {

inline constexpr std::size_t kRs41FrameBytes = 320;
inline constexpr std::size_t kRs41ExtendedFrameBytes = 518;  // with extra sensor data
inline constexpr std::size_t kRs41HeaderBytes = 8;
inline constexpr std::size_t kRs41ParityStart = 8;
inline constexpr std::size_t kRs41DataStart = 56;
inline constexpr std::size_t kRs41ParityPerCodeword = 24;
inline constexpr std::size_t kRs41FrameTypeAt = 56;  // 0x0F: 320 bytes, 0xF0: 518 bytes

// The header as it stands before the XOR (what the first 8 bytes descramble to).
inline constexpr std::array<std::uint8_t, 8> kRs41Header = {0x86, 0x35, 0xF4, 0x40,
                                                            0x93, 0xDF, 0x1A, 0x60};

// XOR with the whitening sequence, from frame position `first` on (the sequence repeats every
// 64 bytes, counted from the frame's first byte). Its own inverse.
void Rs41Whiten(std::span<std::uint8_t> bytes, std::size_t first = 0);

// The header as it goes on air (whitened).
std::array<std::uint8_t, 8> Rs41AirHeader();

// CRC-16/CCITT (polynomial 0x1021, initial 0xFFFF, no reflection): each block's check.
std::uint16_t Rs41Crc16(std::span<const std::uint8_t> bytes);

// The frame length its type byte says, by a majority of its bits (a bit error still tells).
std::size_t Rs41FrameLength(std::uint8_t type_byte);

// One block's place in a frame.
struct Rs41Block {
  std::uint8_t id = 0;
  std::size_t payload_at = 0;
  std::size_t length = 0;
  bool crc_ok = false;
};

// The block at `at`, or empty when it would run past the frame's end.
std::optional<Rs41Block> Rs41BlockAt(std::span<const std::uint8_t> frame, std::size_t at);

// Both interleaved codewords of a 320- or 518-byte frame, through libfec.
class Rs41ReedSolomon {
 public:
  Rs41ReedSolomon();
  ~Rs41ReedSolomon();
  Rs41ReedSolomon(const Rs41ReedSolomon&) = delete;
  Rs41ReedSolomon& operator=(const Rs41ReedSolomon&) = delete;

  // Corrects the frame in place; the byte errors corrected in both codewords, or empty (and the
  // frame untouched) when either codeword has more errors than it can correct.
  std::optional<int> Correct(std::span<std::uint8_t> frame) const;
  // Writes the parity bytes (8..55) for the frame's data.
  void Encode(std::span<std::uint8_t> frame) const;

 private:
  struct Codec;
  std::unique_ptr<Codec> short_;     // 320-byte frames: 132 data bytes per codeword
  std::unique_ptr<Codec> extended_;  // 518-byte frames: 231 data bytes per codeword
  const Codec* For(std::size_t frame_bytes) const;
};

}  // namespace receiver
