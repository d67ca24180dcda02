#pragma once
// RS41 decoder: 4800 bit/s symbols in, checked frames out as JSON members in rs41mod's order.
//
// What is refused, counted in Rejected() and never returned:
//  - a frame whose two Reed-Solomon codewords cannot both be corrected (more than 12 byte
//    errors in one of them);
//  - a frame without a status, GPS time and GPS position block whose CRC checks (these are
//    what every line prints), or with any other block failing its CRC;
//  - a GPS time of week outside one week, or a position more than 1 km below the ellipsoid or
//    above 80 km (ECEF zeros from a GPS without a fix land there);
//  - encrypted RS41-SGM frames, which carry no usable position.
// A header heard while a frame is still being collected starts a new frame (the one before
// faded out and is counted as rejected). Extra sensor blocks are printed as "aux" text.
// Temperature and humidity are printed once the calibration fragments they need have been
// received from the same serial; the calibration is kept per serial over frames.

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/frame_decoder.h"
#include "rs41/calibration.h"
#include "rs41/rs41_frame.h"

namespace receiver {

class Rs41Decoder : public FrameDecoder {
 public:
  Rs41Decoder();

  std::vector<DecodedFrame> PushSymbols(std::span<const std::uint8_t> symbols) override;
  long long Rejected() const override { return rejected_; }

  // A whole frame after the XOR (header included, 320 or 518 bytes): corrected, checked and
  // parsed. Calibration fragments are kept as with frames from the air.
  std::optional<DecodedFrame> DecodeDescrambled(std::span<const std::uint8_t> frame);

  // Bytes corrected by Reed-Solomon over all frames returned.
  long long CorrectedBytes() const { return corrected_bytes_; }
  const Rs41Calibration* CalibrationOf(const std::string& serial) const;

 private:
  std::optional<DecodedFrame> Parse(std::span<const std::uint8_t> frame);
  void OnFrameCollected(std::vector<DecodedFrame>& out);

  Rs41ReedSolomon reed_solomon_;
  std::map<std::string, Rs41Calibration> calibrations_;
  long long rejected_ = 0;
  long long corrected_bytes_ = 0;

  // Bit stage.
  std::uint64_t shift_ = 0;  // the last 64 symbols, the newest in bit 0
  int symbols_seen_ = 0;     // up to 64, for the first header
  bool collecting_ = false;
  bool inverted_ = false;
  int bit_in_byte_ = 0;
  std::uint8_t byte_ = 0;
  std::size_t wanted_ = kRs41FrameBytes;
  std::vector<std::uint8_t> air_;  // the frame as sent, header first
};

}  // namespace receiver
