#pragma once
// Graw DFM-06 / -09 / -17 decoder for one channel. Its JSON lines are those of the open
// decoder (dfm09mod --json) for the same frames, except that a frame goes out only when:
//  - its serial has been pieced together from the configuration packets (no placeholder id),
//  - the packets it is made of (0-4 and 8 since the last one) all checked or were corrected,
//  - the sonde's frame counter keeps its step with the GPS seconds (else the id is heard anew),
//  - its date and time are valid (year 2000-2099, seconds below 60) and later than the last
//    frame sent, its position on the globe, its altitude between -500 m and 50 km,
//  - it has not jumped from the last frame sent by more than a sonde can travel in between
//    (300 m/s horizontally, 100 m/s vertically, plus 1 km / 200 m of slack).
// Three refusals in a row for time or jump start the comparison afresh, so that one wrong
// frame let through cannot silence the sonde.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/frame_decoder.h"
#include "dfm/dfm_frame.h"

namespace receiver {

class DfmDecoder : public FrameDecoder {
 public:
  std::vector<DecodedFrame> PushSymbols(std::span<const std::uint8_t> symbols) override;
  long long Rejected() const override { return rejected_; }

  // One frame's corrected words, as the next frame of the channel (one frame time later).
  std::optional<DecodedFrame> DecodeWords(const dfm::DfmWords& words);

 private:
  struct Packet {
    int errors = -1;  // corrected words; -1 not heard since the last frame went out
    double time = -1e9;
  };
  struct Sent {
    long long gps_seconds = 0;
    double lat = 0, lon = 0, alt = 0;
  };

  std::optional<DecodedFrame> DecodeAt(const dfm::DfmWords& words, double frame_time);
  void ConfPacket(const std::array<std::uint8_t, dfm::kConfWords>& conf, int corrected,
                  bool inverted);
  int DataPacket(const std::array<std::uint8_t, dfm::kDataWords>& dat, int corrected,
                 double frame_time);
  std::optional<DecodedFrame> FrameOut(bool inverted);
  void ForgetIdentity();
  float Temperature() const;
  bool Plausible(long long gps_seconds);

  // Frame assembly.
  std::vector<std::uint8_t> chips_;
  long long chips_dropped_ = 0;
  double words_time_ = 0;
  long long rejected_ = 0;

  // Navigation packets.
  std::array<Packet, 9> packets_{};
  int counter_ = 0;
  int position_mode_ = 0;
  std::uint32_t prn_mask_ = 0;
  int prn_count_ = 0;
  int sats_ = 0;
  float geoid_ = 0;  // sea level minus ellipsoid
  int year_ = 0, month_ = 0, day_ = 0, hour_ = 0, minute_ = 0;
  float second_ = 0;
  double lat_ = 0, lon_ = 0, alt_ = 0, heading_ = 0, speed_ = 0, climb_ = 0;

  // Configuration packets: identity, sensor readings, status.
  int type_ = 0;  // 0 while the serial is unknown, else the kind's nibble (6, 0xA, ...)
  std::uint32_t serial6_ = 0, serial_ = 0;
  std::string serial_text_;
  std::uint8_t max_channel_ = 0, null_channel_ = 0, serial_channel_ = 0, halves_seen_ = 0;
  std::uint32_t last_serial_ = 0;
  std::array<std::uint32_t, 2> halves_{};
  int sensor_kind_ = 0;  // the open decoder's temperature variant; 0 none
  std::array<float, 9> meas_{};
  std::array<bool, 9> meas_seen_{};
  bool meas_complete_ = false;
  bool pressure_sensor_ = false;
  float feedback_ohm_ = 220e3f;
  std::array<float, 3> status_{};
  std::string model_;

  // Consistency with earlier frames.
  bool have_step_ = false;
  int last_step_ = 0;
  bool last_inverted_ = false;
  std::optional<Sent> last_sent_;
  int refused_in_row_ = 0;
};

}  // namespace receiver
