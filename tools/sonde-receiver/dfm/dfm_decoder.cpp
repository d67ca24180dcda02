#include "dfm/dfm_decoder.h"

#include <bit>
#include <cmath>
#include <cstdio>

namespace receiver {
namespace {

using dfm::kConfWords;
using dfm::kDataWords;

template <std::size_t N>
std::uint32_t Nibbles(const std::array<std::uint8_t, N>& words, int first, int count) {
  std::uint32_t value = 0;
  for (int i = first; i < first + count; ++i) value = (value << 4) | (words[i] & 0xF);
  return value;
}

// A data packet as one 52-bit value; fields are counted in bits from its start.
class DataBits {
 public:
  explicit DataBits(const std::array<std::uint8_t, kDataWords>& words) {
    for (std::uint8_t w : words) value_ = (value_ << 4) | (w & 0xF);
  }
  std::uint32_t Field(int start, int length) const {
    const std::uint64_t mask = (std::uint64_t{1} << length) - 1;
    return static_cast<std::uint32_t>((value_ >> (52 - start - length)) & mask);
  }
  std::int32_t Signed32(int start) const { return static_cast<std::int32_t>(Field(start, 32)); }
  std::int16_t Signed16(int start) const { return static_cast<std::int16_t>(Field(start, 16)); }

 private:
  std::uint64_t value_ = 0;
};

// The sensor readings: a 4-bit binary exponent over a 20-bit mantissa, value = m / 2^e.
float Reading24(std::uint32_t raw) {
  const int exponent = (raw >> 20) & 0xF;
  return static_cast<float>(raw & 0xFFFFF) / static_cast<float>(1 << exponent);
}

// Seconds since the GPS epoch as the open decoder counts them for the frame number: from the
// UTC date, leap seconds ignored.
long long GpsSecondsOf(int year, int month, int day, int hour, int minute, int second) {
  if (month < 3) {
    year -= 1;
    month += 12;
  }
  const int days =
      static_cast<int>(365.25 * year) + static_cast<int>(30.6001 * (month + 1.0)) + day - 723263;
  const long long week = days / 7;
  const long long tow =
      static_cast<long long>(days % 7) * 86400 + hour * 3600 + minute * 60 + second;
  return week * 604800 + tow;
}

std::string Printf(const char* format, std::uint32_t value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

constexpr double kMetresPerDegree = 111320.0;
constexpr double kPi = 3.14159265358979323846;

}  // namespace

std::vector<DecodedFrame> DfmDecoder::PushSymbols(std::span<const std::uint8_t> symbols) {
  std::vector<DecodedFrame> frames;
  for (std::uint8_t s : symbols) chips_.push_back(s & 1);
  std::size_t pos = 0;
  std::array<std::uint8_t, dfm::kFrameBits - dfm::kSyncBits> bits{};
  while (chips_.size() - pos >= static_cast<std::size_t>(dfm::kFrameChips)) {
    const int mismatches =
        dfm::SyncMismatches(std::span<const std::uint8_t>(chips_.data() + pos, dfm::kSyncChips));
    // Two chips wrong in 32 still hold the sync; the polarity is the one it matched in.
    const bool usual = mismatches <= 2;
    const bool inverted = mismatches >= dfm::kSyncChips - 2;
    if (!usual && !inverted) {
      ++pos;
      continue;
    }
    // The second chip of each pair carries the bit (01 is 1), in the frame's polarity.
    for (std::size_t k = 0; k < bits.size(); ++k) {
      const std::uint8_t chip = chips_[pos + dfm::kSyncChips + 2 * k + 1];
      bits[k] = inverted ? chip ^ 1 : chip;
    }
    const double frame_time =
        static_cast<double>(chips_dropped_ + static_cast<long long>(pos)) / dfm::kFrameChips;
    if (auto frame = DecodeAt(dfm::BitsToWords(bits, inverted), frame_time)) {
      frames.push_back(std::move(*frame));
    }
    pos += dfm::kFrameChips;
  }
  chips_.erase(chips_.begin(), chips_.begin() + static_cast<std::ptrdiff_t>(pos));
  chips_dropped_ += static_cast<long long>(pos);
  return frames;
}

std::optional<DecodedFrame> DfmDecoder::DecodeWords(const dfm::DfmWords& words) {
  words_time_ += 1;
  return DecodeAt(words, words_time_);
}

std::optional<DecodedFrame> DfmDecoder::DecodeAt(const dfm::DfmWords& words, double frame_time) {
  if (words.conf_check.bad || words.dat1_check.bad || words.dat2_check.bad) ++rejected_;
  // A bad block is left out; the others still count, as each block stands on its own.
  if (!words.conf_check.bad) ConfPacket(words.conf, words.conf_check.corrected, words.inverted);
  std::optional<DecodedFrame> frame;
  if (!words.dat1_check.bad &&
      DataPacket(words.dat1, words.dat1_check.corrected, frame_time) == 8) {
    frame = FrameOut(words.inverted);
  }
  if (!words.dat2_check.bad &&
      DataPacket(words.dat2, words.dat2_check.corrected, frame_time) == 8) {
    if (auto second = FrameOut(words.inverted)) frame = std::move(second);
  }
  return frame;
}

void DfmDecoder::ForgetIdentity() {
  meas_seen_.fill(false);
  meas_complete_ = false;
  sensor_kind_ = 0;
  serial_text_.clear();
}

void DfmDecoder::ConfPacket(const std::array<std::uint8_t, kConfWords>& conf, int corrected,
                            bool inverted) {
  const std::uint8_t id = conf[0] & 0xF;
  const std::uint8_t head = static_cast<std::uint8_t>(Nibbles(conf, 0, 2));
  // A channel above 4 with nothing in it marks where the serial comes next (DFM-06: 0x5A/0x5B).
  if (id > 4 && Nibbles(conf, 2, 5) == 0) null_channel_ = head;
  const bool dfm06 = (null_channel_ & 0xF0) == 0x50 && (null_channel_ & 0x0F) != 0;
  if (dfm06) sensor_kind_ = 6;
  if (dfm06 && type_ > 6) {
    type_ = 0;
    max_channel_ = id;
    ForgetIdentity();
  }
  if (id > 5 && id > max_channel_ && corrected == 0 && conf[1] == 0xC) max_channel_ = id;

  if (id > 5 && (id == (null_channel_ >> 4) + 1 || id == max_channel_)) {
    if ((null_channel_ & 0x58) == 0x58) {
      // DFM-06: the serial's six digits in one packet, trusted once heard twice alike.
      const std::uint32_t serial6 = Nibbles(conf, 1, 6);
      if (serial6 == serial6_ && serial6 != 0) {
        type_ = id;
        sensor_kind_ = 6;
        serial_text_ = Printf("%6X", serial6_);
      } else {
        type_ = 0;
        ForgetIdentity();
      }
      serial6_ = serial6;
    } else if ((head & 0xF) == 0xC || (head & 0xF) == 0x0) {
      // DFM-09/-17: the serial in two 16-bit halves, the last nibble saying which.
      const std::uint32_t value = Nibbles(conf, 2, 5);
      const std::uint32_t half = value & 0xF;
      if (half < 2) {
        if (serial_channel_ != id) {
          halves_seen_ = 0;
          halves_ = {};
          ForgetIdentity();
        }
        serial_channel_ = id;
        halves_[half] = (value >> 4) & 0xFFFF;
        halves_seen_ |= static_cast<std::uint8_t>(1u << half);
        if (halves_seen_ == 3) {
          const std::uint32_t serial = (halves_[0] << 16) | halves_[1];
          if (serial == last_serial_ || last_serial_ == 0) {
            type_ = id;
            serial_ = serial;
            sensor_kind_ = (id >= 0xA && id <= 0xD) ? id : 0;
            if (serial6_ == 0 || type_ >= 0xA) serial_text_ = Printf("%6u", serial_);
          } else {
            type_ = 0;
            ForgetIdentity();
          }
          last_serial_ = serial;
          halves_seen_ = 0;
        }
      }
    }
  }

  // Serials from 23000000 on sent in the inverted polarity with kind 0xA are DFM-17s.
  const bool dfm17_as_a = serial_ >= 23000000 && inverted;
  if (id <= 8 && corrected == 0) {
    meas_seen_[id] = true;
    meas_[id] = Reading24(Nibbles(conf, 1, 6));
    bool complete = false;
    if (sensor_kind_ >= 5) {
      complete = true;
      for (int k = 0; k <= 5; ++k) complete = complete && meas_seen_[k];
    }
    if (sensor_kind_ >= 7) complete = complete && meas_seen_[6] && meas_seen_[7];
    if (sensor_kind_ >= 8) complete = complete && meas_seen_[8];
    meas_complete_ = complete;
  }

  pressure_sensor_ = false;
  feedback_ohm_ = 220e3f;
  if (meas_complete_) {
    if (sensor_kind_ >= 0xD || (sensor_kind_ >= 0xC && meas_[6] < 220e3f)) pressure_sensor_ = true;
    if (((sensor_kind_ == 0xB || sensor_kind_ == 0xC) && !pressure_sensor_) ||
        sensor_kind_ >= 0xD) {
      feedback_ohm_ = 332e3f;
    }
    if (sensor_kind_ == 0xA && !pressure_sensor_ && dfm17_as_a) feedback_ohm_ = 332e3f;
    if (sensor_kind_ == 6 && type_ == 8) pressure_sensor_ = true;
    if (sensor_kind_ >= 0xA) {
      const int offset = pressure_sensor_ ? 2 : 0;
      const std::uint32_t value = Nibbles(conf, 2, 4);
      if (id == 5 + offset) status_[0] = static_cast<float>(value / 1000.0);
      if (id == 6 + offset) status_[1] = static_cast<float>(value / 100.0);
      if (id == 7 + offset && feedback_ohm_ > 300e3f) status_[2] = static_cast<float>(value);
    } else {
      status_ = {};
    }
  }

  switch (type_) {
    case 0x6:
      model_ = "DFM06";
      break;
    case 0x7:
    case 0x8:
      model_ = serial6_ != 0 ? "DFM06P" : "PS15";
      break;
    case 0xA:
      model_ = dfm17_as_a ? "DFM17" : "DFM09";
      break;
    case 0xB:
      model_ = "DFM17";
      break;
    case 0xC:
      model_ = pressure_sensor_ ? "DFM09P" : "DFM17";
      break;
    case 0xD:
      model_ = "DFM17P";
      break;
    default:
      model_ = "DFMxX";
      break;
  }
}

int DfmDecoder::DataPacket(const std::array<std::uint8_t, kDataWords>& dat, int corrected,
                           double frame_time) {
  const DataBits bits(dat);
  const int id = dat[12] & 0xF;
  if (id <= 8) {
    packets_[id].time = frame_time;
    // More than four corrected words in a block is more luck than code: not counted.
    packets_[id].errors = corrected > 4 ? -2 : corrected;
  }
  if (id == 0) {
    const int mode = static_cast<int>(bits.Field(16, 8));
    position_mode_ = (mode > 1 && mode < 5) ? mode : -1;
    counter_ = static_cast<int>(bits.Field(24, 8));
  }
  if (position_mode_ <= 2) {
    switch (id) {
      case 1:
        prn_mask_ = bits.Field(0, 32);
        prn_count_ = std::popcount(prn_mask_);
        second_ = static_cast<float>(bits.Field(32, 16) / 1000.0);
        break;
      case 2:
        lat_ = bits.Signed32(0) / 1e7;
        speed_ = bits.Signed16(32) / 1e2;
        break;
      case 3:
        lon_ = bits.Signed32(0) / 1e7;
        heading_ = bits.Field(32, 16) / 1e2;
        break;
      case 4:
        alt_ = bits.Signed32(0) / 1e2;
        climb_ = bits.Signed16(32) / 1e2;
        break;
      case 5:
        geoid_ = static_cast<float>(static_cast<std::int16_t>(bits.Field(0, 16)) / 1e2);
        break;
      default:
        break;
    }
  } else {
    // Modes 3 and 4: time and velocity packed differently, the height above sea level.
    switch (id) {
      case 0:
        second_ = static_cast<float>(bits.Field(0, 16) / 1000.0);
        speed_ = bits.Signed16(32) / 1e2;
        break;
      case 1:
        lat_ = bits.Signed32(0) / 1e7;
        heading_ = bits.Field(32, 16) / 1e2;
        break;
      case 2:
        lon_ = bits.Signed32(0) / 1e7;
        climb_ = bits.Signed16(32) / 1e2;
        break;
      case 3:
        alt_ = bits.Signed32(0) / 1e2;
        break;
      default:
        break;
    }
  }
  if (id == 8) {
    year_ = static_cast<int>(bits.Field(0, 12));
    month_ = static_cast<int>(bits.Field(12, 4));
    day_ = static_cast<int>(bits.Field(16, 5));
    hour_ = static_cast<int>(bits.Field(21, 5));
    minute_ = static_cast<int>(bits.Field(26, 6));
    sats_ = static_cast<int>(bits.Field(32, 8));
  }
  return id;
}

float DfmDecoder::Temperature() const {
  // NTC thermistor (R25 = 5 kOhm, B = 3260 K) against a reference and a feedback resistor; the
  // arithmetic in single precision where the open decoder has it, for the same last digit.
  float f = meas_[0], f1 = meas_[3], f2 = meas_[4];
  if (pressure_sensor_) {
    f = meas_[1];
    f1 = meas_[5];
    f2 = meas_[6];
  }
  float kelvin = 0;
  if (meas_complete_ && f * f1 * f2 != 0) {
    const float b0 = 3260.0f;
    const float t0 = static_cast<float>(25 + 273.15);
    const float r0 = 5.0e3f;
    const float g = f2 / feedback_ohm_;
    const float r = (f - f1) / g;
    if (r > 0) {
      kelvin = static_cast<float>(
          1.0 / (static_cast<double>(1 / t0) +
                 static_cast<double>(1 / b0) * std::log(static_cast<double>(r / r0))));
    }
  }
  return static_cast<float>(static_cast<double>(kelvin) - 273.15);
}

bool DfmDecoder::Plausible(long long gps_seconds) {
  const bool valid = year_ >= 2000 && year_ <= 2099 && month_ >= 1 && month_ <= 12 && day_ >= 1 &&
                     day_ <= 31 && hour_ <= 23 && minute_ <= 59 && second_ >= 0 &&
                     second_ < 60.0f && std::fabs(lat_) <= 90 && std::fabs(lon_) <= 180 &&
                     alt_ >= -500 && alt_ <= 50000;
  if (!valid) return false;
  if (last_sent_) {
    const double dt = static_cast<double>(gps_seconds - last_sent_->gps_seconds);
    bool consistent = dt > 0;
    if (consistent) {
      const double north = (lat_ - last_sent_->lat) * kMetresPerDegree;
      double dlon = lon_ - last_sent_->lon;
      if (dlon > 180) dlon -= 360;
      if (dlon < -180) dlon += 360;
      const double east = dlon * kMetresPerDegree * std::cos(lat_ * kPi / 180);
      consistent = std::hypot(north, east) <= 1000 + 300 * dt &&
                   std::fabs(alt_ - last_sent_->alt) <= 200 + 100 * dt;
    }
    if (!consistent) {
      if (++refused_in_row_ >= 3) {
        last_sent_.reset();
        refused_in_row_ = 0;
      }
      return false;
    }
  }
  refused_in_row_ = 0;
  last_sent_ = Sent{gps_seconds, lat_, lon_, alt_};
  return true;
}

std::optional<DecodedFrame> DfmDecoder::FrameOut(bool inverted) {
  int heard = 0;
  for (int i = 0; i < 9; ++i) {
    if (packets_[i].errors >= 0 && packets_[8].time - packets_[i].time < 6.0) heard |= 1 << i;
  }
  for (Packet& p : packets_) p.errors = -1;
  // The frame needs packets 0-4 (counter, time, position, velocity) and 8 (date).
  if ((heard & 0x11F) != 0x11F) return std::nullopt;

  const long long gps_seconds = GpsSecondsOf(year_, month_, day_, hour_, minute_,
                                             static_cast<int>(static_cast<double>(second_) + 0.5));
  // The 8-bit frame counter runs with the seconds: a change in their difference (or in the
  // polarity) means another sonde or a misread, and the identity is heard anew.
  int step = static_cast<std::uint8_t>(gps_seconds) - counter_;
  if (step < 0) step += 256;
  const bool steady = step == last_step_ && inverted == last_inverted_;
  if (!steady) {
    if (have_step_) ++rejected_;
    type_ = 0;
    ForgetIdentity();
  }
  have_step_ = true;
  last_step_ = step;
  last_inverted_ = inverted;
  if (!steady || counter_ == 0 || type_ == 0 || serial_text_.empty()) return std::nullopt;
  if (!Plausible(gps_seconds)) {
    ++rejected_;
    return std::nullopt;
  }

  float temperature = -273.15f;
  std::string model = model_;
  if (meas_complete_ && sensor_kind_ != 0) {
    temperature = Temperature();
    if (temperature < -270.0f && (type_ == 0x8 || type_ == 0xC)) model = "DFMxX";
  }

  DecodedFrame frame;
  frame.kind = "DFM";
  frame.id = "DFM-" + serial_text_;
  frame.frame = gps_seconds;
  char datetime[48];
  std::snprintf(datetime, sizeof datetime, "%04d-%02d-%02dT%02d:%02d:%06.3fZ", year_, month_, day_,
                hour_, minute_, static_cast<double>(second_));
  auto& m = frame.members;
  m.push_back({"type", JsonText("DFM")});
  m.push_back({"frame", JsonInt(gps_seconds)});
  m.push_back({"id", JsonText(frame.id)});
  m.push_back({"datetime", JsonText(datetime)});
  m.push_back({"lat", JsonFixed(lat_, 5)});
  m.push_back({"lon", JsonFixed(lon_, 5)});
  m.push_back({"alt", JsonFixed(alt_, 5)});
  m.push_back({"vel_h", JsonFixed(speed_, 5)});
  m.push_back({"heading", JsonFixed(heading_, 5)});
  m.push_back({"vel_v", JsonFixed(climb_, 5)});
  m.push_back({"sats", JsonInt(sats_ != 0 ? sats_ : prn_count_)});
  if (sensor_kind_ >= 0xA && status_[0] > 0) {
    m.push_back({"batt", JsonFixed(static_cast<double>(status_[0]), 2)});
  }
  if (sensor_kind_ != 0 && temperature > -270.0f) {
    m.push_back({"temp", JsonFixed(static_cast<double>(temperature), 1)});
  }
  char subtype[24];
  std::snprintf(subtype, sizeof subtype, "0x%1X:%s", static_cast<unsigned>(type_), model.c_str());
  m.push_back({"subtype", JsonText(subtype)});
  m.push_back({"ref_datetime", JsonText("UTC")});
  if (position_mode_ <= 2) {
    m.push_back({"ref_position", JsonText("GPS")});
    m.push_back({"diff_GPS_MSL", JsonFixed(static_cast<double>(-geoid_), 2)});
  } else {
    m.push_back({"ref_position", JsonText("MSL")});
  }
  return frame;
}

}  // namespace receiver
