#include "rs41/rs41_decoder.h"

#include <bit>
#include <cstring>

#include "rs41/ecef.h"
#include "rs41/gps_date.h"

namespace receiver {

namespace {

constexpr std::uint8_t kStatusBlock = 0x79;
constexpr std::uint8_t kPtuBlock = 0x7A;
constexpr std::uint8_t kGpsTimeBlock = 0x7C;
// 0x7D, the raw GPS measurements, is checked by its CRC like every block and not read.
constexpr std::uint8_t kGpsPositionBlock = 0x7B;
constexpr std::uint8_t kEncryptedBlock = 0x80;
constexpr std::uint8_t kExtraSensorBlock = 0x7E;
constexpr std::size_t kFirstBlock = 0x39;
// Header bit errors accepted at sync: the header is 64 bits, noise rarely comes this close.
constexpr int kHeaderBitErrors = 3;
constexpr std::size_t kMaxSerials = 64;

std::uint32_t Le(std::span<const std::uint8_t> bytes, std::size_t at, int count) {
  std::uint32_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes[at + static_cast<std::size_t>(i)];
  return value;
}

std::int32_t LeSigned32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::int32_t>(Le(bytes, at, 4));
}

std::int16_t LeSigned16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::int16_t>(Le(bytes, at, 2));
}

std::uint64_t HeaderPattern() {
  std::uint64_t pattern = 0;
  for (std::uint8_t byte : Rs41AirHeader()) {
    for (int bit = 0; bit < 8; ++bit) pattern = pattern << 1 | ((byte >> bit) & 1u);
  }
  return pattern;
}

struct Blocks {
  std::optional<Rs41Block> status, ptu, gps_time, gps_position;
  std::vector<Rs41Block> extra;  // sensors added to the sonde (ozone and others)
  bool encrypted = false;
  bool bad = false;
};

// Walks the blocks from the first; any block failing its CRC spoils the frame.
Blocks FindBlocks(std::span<const std::uint8_t> frame) {
  Blocks found;
  std::size_t at = kFirstBlock;
  while (at + 4 <= frame.size()) {
    const std::optional<Rs41Block> block = Rs41BlockAt(frame, at);
    if (!block) {
      found.bad = true;
      break;
    }
    if (!block->crc_ok) {
      found.bad = true;
      break;
    }
    switch (block->id) {
      case kStatusBlock:
        if (block->length >= 40) found.status = block;
        break;
      case kPtuBlock:
        if (block->length >= 36) found.ptu = block;
        break;
      case kGpsTimeBlock:
        if (block->length >= 6) found.gps_time = block;
        break;
      case kGpsPositionBlock:
        if (block->length >= 19) found.gps_position = block;
        break;
      case kEncryptedBlock:
        found.encrypted = true;
        break;
      case kExtraSensorBlock:
        found.extra.push_back(*block);
        break;
      default:
        break;
    }
    at = block->payload_at + block->length + 2;
  }
  return found;
}

}  // namespace

Rs41Decoder::Rs41Decoder() {
  air_.reserve(kRs41ExtendedFrameBytes);
}

const Rs41Calibration* Rs41Decoder::CalibrationOf(const std::string& serial) const {
  auto it = calibrations_.find(serial);
  return it == calibrations_.end() ? nullptr : &it->second;
}

std::optional<DecodedFrame> Rs41Decoder::DecodeDescrambled(std::span<const std::uint8_t> frame) {
  if (frame.size() != kRs41FrameBytes && frame.size() != kRs41ExtendedFrameBytes) {
    ++rejected_;
    return std::nullopt;
  }
  std::vector<std::uint8_t> work(frame.begin(), frame.end());
  const std::optional<int> corrected = reed_solomon_.Correct(work);
  // The corrected type byte must agree with the length the frame was collected with.
  if (!corrected || Rs41FrameLength(work[kRs41FrameTypeAt]) != work.size()) {
    ++rejected_;
    return std::nullopt;
  }
  std::optional<DecodedFrame> decoded = Parse(work);
  if (!decoded) {
    ++rejected_;
    return std::nullopt;
  }
  corrected_bytes_ += *corrected;
  return decoded;
}

std::optional<DecodedFrame> Rs41Decoder::Parse(std::span<const std::uint8_t> frame) {
  const Blocks blocks = FindBlocks(frame);
  if (blocks.bad || blocks.encrypted || !blocks.status || !blocks.gps_time ||
      !blocks.gps_position) {
    return std::nullopt;
  }

  const std::size_t s = blocks.status->payload_at;
  const long frame_number = static_cast<long>(Le(frame, s, 2));
  std::string serial;
  for (std::size_t i = 0; i < 8; ++i) {
    const std::uint8_t c = frame[s + 2 + i];
    if (c < 0x20 || c >= 0x7F) return std::nullopt;  // serials are printable
    serial += static_cast<char>(c);
  }
  const double battery_v = frame[s + 10] / 10.0;
  const int fragment = frame[s + 23];

  const std::size_t t = blocks.gps_time->payload_at;
  const int week = static_cast<int>(Le(frame, t, 2));
  const std::int64_t tow_ms = LeSigned32(frame, t + 2);
  const std::optional<CalendarTime> when = GpsToCalendar(week, tow_ms);
  if (!when) return std::nullopt;

  const std::size_t g = blocks.gps_position->payload_at;
  const Ecef position{LeSigned32(frame, g) / 100.0, LeSigned32(frame, g + 4) / 100.0,
                      LeSigned32(frame, g + 8) / 100.0};
  const Ecef velocity{LeSigned16(frame, g + 12) / 100.0, LeSigned16(frame, g + 14) / 100.0,
                      LeSigned16(frame, g + 16) / 100.0};
  const int sats = frame[g + 18];
  const Geodetic where = EcefToGeodetic(position);
  if (!(where.height_m >= -1000 && where.height_m <= 80000)) return std::nullopt;
  const GroundMotion motion = EcefVelocityToMotion(where, velocity);

  if (calibrations_.size() >= kMaxSerials && !calibrations_.contains(serial)) {
    calibrations_.erase(calibrations_.begin());  // a station hears a handful; bound the rest
  }
  Rs41Calibration& calibration = calibrations_[serial];
  if (fragment < kRs41CalibrationFragments) {
    calibration.Add(fragment, frame.subspan(s + 24, kRs41FragmentBytes));
  }

  std::optional<float> temperature, humidity;
  if (blocks.ptu) {
    Rs41PtuReadings readings;
    for (std::size_t i = 0; i < readings.values.size(); ++i) {
      readings.values[i] = Le(frame, blocks.ptu->payload_at + 3 * i, 3);
    }
    temperature = calibration.Temperature(readings);
    if (temperature) humidity = calibration.Humidity(readings, *temperature);
  }

  DecodedFrame out;
  out.kind = "RS41";
  out.id = serial;
  out.frame = frame_number;
  out.tx_frequency_khz = calibration.TxFrequencyKhz();
  auto add = [&out](const char* name, std::string value) {
    out.members.push_back(JsonMember{name, std::move(value)});
  };
  add("type", JsonText("RS41"));
  add("frame", JsonInt(frame_number));
  add("id", JsonText(serial));
  add("datetime", JsonText(CalendarText(*when)));
  add("lat", JsonFixed(where.lat_deg, 5));
  add("lon", JsonFixed(where.lon_deg, 5));
  add("alt", JsonFixed(where.height_m, 5));
  add("vel_h", JsonFixed(motion.speed_ms, 5));
  add("heading", JsonFixed(motion.heading_deg, 5));
  add("vel_v", JsonFixed(motion.climb_ms, 5));
  add("sats", JsonInt(sats));
  add("bt", JsonInt(calibration.BurstCountdown()));
  add("batt", JsonFixed(battery_v, 2));
  if (temperature) add("temp", JsonFixed(*temperature, 1));
  if (humidity) add("humidity", JsonFixed(*humidity, 1));
  if (!blocks.extra.empty()) {
    // Each block's printable text after its instrument byte, '#' between blocks.
    std::string aux;
    for (const Rs41Block& block : blocks.extra) {
      if (&block != &blocks.extra.front()) aux += '#';
      for (std::size_t i = 1; i < block.length; ++i) {
        const std::uint8_t c = frame[block.payload_at + i];
        if (c > 0x1E && c < 0x7F) aux += static_cast<char>(c);
      }
    }
    add("aux", JsonText(aux));
  }
  const std::optional<std::string> subtype = calibration.Subtype();
  add("subtype", JsonText(subtype.value_or("RS41")));
  if (subtype && subtype->starts_with("RS41-SGM")) add("encrypted", "false");
  if (const auto board = calibration.Mainboard()) add("rs41_mainboard", JsonText(*board));
  if (const auto firmware = calibration.Firmware()) add("rs41_mainboard_fw", JsonInt(*firmware));
  if (out.tx_frequency_khz) add("tx_frequency", JsonInt(*out.tx_frequency_khz));
  add("ref_datetime", JsonText("GPS"));
  add("ref_position", JsonText("GPS"));
  return out;
}

std::vector<DecodedFrame> Rs41Decoder::PushSymbols(std::span<const std::uint8_t> symbols) {
  static const std::uint64_t kPattern = HeaderPattern();
  std::vector<DecodedFrame> out;
  for (std::uint8_t symbol : symbols) {
    const std::uint8_t bit = symbol ? 1 : 0;
    shift_ = shift_ << 1 | bit;
    if (symbols_seen_ < 64) ++symbols_seen_;

    // A header is looked for even inside a frame: one that faded out must not cost the next.
    // Frame data coming within 3 bits of the 64-bit header is too unlikely to matter.
    if (symbols_seen_ == 64) {
      const int errors = std::popcount(shift_ ^ kPattern);
      const int inverted_errors = 64 - errors;
      if (errors <= kHeaderBitErrors || inverted_errors <= kHeaderBitErrors) {
        if (collecting_) ++rejected_;
        collecting_ = true;
        inverted_ = inverted_errors < errors;
        const std::array<std::uint8_t, 8> header = Rs41AirHeader();
        air_.assign(header.begin(), header.end());
        wanted_ = kRs41FrameBytes;
        bit_in_byte_ = 0;
        byte_ = 0;
        symbols_seen_ = 0;
        continue;
      }
    }
    if (!collecting_) continue;

    const std::uint8_t data = inverted_ ? bit ^ 1 : bit;
    byte_ = static_cast<std::uint8_t>(byte_ | data << bit_in_byte_);  // least significant first
    if (++bit_in_byte_ < 8) continue;
    air_.push_back(byte_);
    bit_in_byte_ = 0;
    byte_ = 0;
    if (air_.size() == kRs41FrameTypeAt + 1) {
      std::uint8_t type = air_.back();
      Rs41Whiten(std::span<std::uint8_t>(&type, 1), kRs41FrameTypeAt);
      wanted_ = Rs41FrameLength(type);
    }
    if (air_.size() == wanted_) OnFrameCollected(out);
  }
  return out;
}

void Rs41Decoder::OnFrameCollected(std::vector<DecodedFrame>& out) {
  collecting_ = false;
  Rs41Whiten(air_);
  if (std::optional<DecodedFrame> frame = DecodeDescrambled(air_)) out.push_back(std::move(*frame));
  air_.clear();
}

}  // namespace receiver
