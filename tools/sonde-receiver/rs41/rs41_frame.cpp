#include "rs41/rs41_frame.h"

#include <algorithm>
#include <bit>

extern "C" {
#include <fec.h>
}

namespace receiver {

namespace {
constexpr std::array<std::uint8_t, 64> kWhitening = {
    0x96, 0x83, 0x3E, 0x51, 0xB1, 0x49, 0x08, 0x98, 0x32, 0x05, 0x59, 0x0E, 0xF9, 0x44, 0xC6, 0x26,
    0x21, 0x60, 0xC2, 0xEA, 0x79, 0x5D, 0x6D, 0xA1, 0x54, 0x69, 0x47, 0x0C, 0xDC, 0xE8, 0x5C, 0xF1,
    0xF7, 0x76, 0x82, 0x7F, 0x07, 0x99, 0xA2, 0x2C, 0x93, 0x7C, 0x30, 0x63, 0xF5, 0x10, 0x2E, 0x61,
    0xD0, 0xBC, 0xB4, 0xB6, 0x06, 0xAA, 0xF4, 0x23, 0x78, 0x6E, 0x3B, 0xAE, 0xBF, 0x7B, 0x4C, 0xC1};

constexpr int kCodewordSymbols = 255;
constexpr int kDataPerCodeword = kCodewordSymbols - static_cast<int>(kRs41ParityPerCodeword);
}  // namespace

void Rs41Whiten(std::span<std::uint8_t> bytes, std::size_t first) {
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] ^= kWhitening[(first + i) % 64];
}

std::array<std::uint8_t, 8> Rs41AirHeader() {
  std::array<std::uint8_t, 8> header = kRs41Header;
  Rs41Whiten(header);
  return header;
}

std::uint16_t Rs41Crc16(std::span<const std::uint8_t> bytes) {
  std::uint16_t crc = 0xFFFF;
  for (std::uint8_t byte : bytes) {
    crc ^= static_cast<std::uint16_t>(byte << 8);
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021)
                           : static_cast<std::uint16_t>(crc << 1);
    }
  }
  return crc;
}

std::size_t Rs41FrameLength(std::uint8_t type_byte) {
  const int low = std::popcount(static_cast<unsigned>(type_byte & 0x0F));
  const int high = std::popcount(static_cast<unsigned>(type_byte >> 4));
  return low >= high ? kRs41FrameBytes : kRs41ExtendedFrameBytes;
}

std::optional<Rs41Block> Rs41BlockAt(std::span<const std::uint8_t> frame, std::size_t at) {
  if (at + 2 > frame.size()) return std::nullopt;
  Rs41Block block;
  block.id = frame[at];
  block.length = frame[at + 1];
  block.payload_at = at + 2;
  if (block.payload_at + block.length + 2 > frame.size()) return std::nullopt;
  const std::size_t crc_at = block.payload_at + block.length;
  const std::uint16_t sent = static_cast<std::uint16_t>(frame[crc_at] | frame[crc_at + 1] << 8);
  block.crc_ok = sent == Rs41Crc16(frame.subspan(block.payload_at, block.length));
  return block;
}

// libfec holds a codeword highest power first, parity last; the RS41 sends parity first and
// the data lowest power first, so both are reversed on the way in and out. The unused high
// powers of a shortened codeword are libfec's pad.
struct Rs41ReedSolomon::Codec {
  void* rs = nullptr;
  int data_bytes = 0;
  explicit Codec(int data) : data_bytes(data) {
    rs = init_rs_char(8, 0x11D, 0, 1, static_cast<int>(kRs41ParityPerCodeword),
                      kDataPerCodeword - data);
  }
  ~Codec() {
    if (rs) free_rs_char(rs);
  }
  // The codeword `which` (0 or 1) of the frame, in libfec's order.
  void Gather(std::span<const std::uint8_t> frame, int which, std::uint8_t* out) const {
    for (int i = 0; i < data_bytes; ++i) {
      out[data_bytes - 1 - i] = frame[kRs41DataStart + 2 * i + which];
    }
    const std::size_t parity = kRs41ParityStart + which * kRs41ParityPerCodeword;
    for (std::size_t i = 0; i < kRs41ParityPerCodeword; ++i) {
      out[data_bytes + kRs41ParityPerCodeword - 1 - i] = frame[parity + i];
    }
  }
  void Scatter(const std::uint8_t* in, int which, std::span<std::uint8_t> frame) const {
    for (int i = 0; i < data_bytes; ++i) {
      frame[kRs41DataStart + 2 * i + which] = in[data_bytes - 1 - i];
    }
    const std::size_t parity = kRs41ParityStart + which * kRs41ParityPerCodeword;
    for (std::size_t i = 0; i < kRs41ParityPerCodeword; ++i) {
      frame[parity + i] = in[data_bytes + kRs41ParityPerCodeword - 1 - i];
    }
  }
};

Rs41ReedSolomon::Rs41ReedSolomon()
    : short_(std::make_unique<Codec>(static_cast<int>((kRs41FrameBytes - kRs41DataStart) / 2))),
      extended_(std::make_unique<Codec>(
          static_cast<int>((kRs41ExtendedFrameBytes - kRs41DataStart) / 2))) {}

Rs41ReedSolomon::~Rs41ReedSolomon() = default;

const Rs41ReedSolomon::Codec* Rs41ReedSolomon::For(std::size_t frame_bytes) const {
  const Codec* codec = frame_bytes == kRs41FrameBytes           ? short_.get()
                       : frame_bytes == kRs41ExtendedFrameBytes ? extended_.get()
                                                                : nullptr;
  return codec && codec->rs ? codec : nullptr;
}

std::optional<int> Rs41ReedSolomon::Correct(std::span<std::uint8_t> frame) const {
  const Codec* codec = For(frame.size());
  if (!codec) return std::nullopt;
  std::array<std::array<std::uint8_t, kCodewordSymbols>, 2> words{};
  int corrected = 0;
  for (int which = 0; which < 2; ++which) {
    codec->Gather(frame, which, words[which].data());
    const int result = decode_rs_char(codec->rs, words[which].data(), nullptr, 0);
    if (result < 0) return std::nullopt;
    corrected += result;
  }
  for (int which = 0; which < 2; ++which) codec->Scatter(words[which].data(), which, frame);
  return corrected;
}

void Rs41ReedSolomon::Encode(std::span<std::uint8_t> frame) const {
  const Codec* codec = For(frame.size());
  if (!codec) return;
  for (int which = 0; which < 2; ++which) {
    std::array<std::uint8_t, kCodewordSymbols> word{};
    codec->Gather(frame, which, word.data());
    encode_rs_char(codec->rs, word.data(), word.data() + codec->data_bytes);
    codec->Scatter(word.data(), which, frame);
  }
}

}  // namespace receiver
