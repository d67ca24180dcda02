#pragma once

// What the status page shows: a value the cycle builds once per cycle and publishes as JSON.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "outputs/output.h"
#include "telemetry/sonde_sample.h"

namespace nimbrix {

struct TrackPoint {
  std::int64_t utcMs = 0;
  double latitude = 0;
  double longitude = 0;
  double altitude = 0;
};

// A text with the UTC time it happened at: a line sent, an error record.
struct StampedText {
  std::int64_t utcMs = 0;
  std::string text;
};

struct StationSnapshot {
  std::string callsign;
  std::string version;  // "NIMBRIX 0.22"
  std::int64_t startUtcMs = 0;
  std::int64_t nowUtcMs = 0;
  bool decoderAnswers = false;
  // The sonde's latest frame and when the station first read it; none before the first.
  std::optional<SondeSample> frame;
  std::int64_t frameUtcMs = 0;
  std::deque<TrackPoint> track;  // oldest first
  std::vector<DestinationStatus> destinations;
  std::deque<StampedText> linesSent;  // oldest first, line ends removed
  std::deque<StampedText> records;    // oldest first, line ends removed
};

// Keeps the snapshot from cycle to cycle: the latest frame, the track of the sonde followed,
// the recent lines and records. Pure: every time is handed in.
class StatusCollector {
 public:
  static constexpr std::size_t kTrackPoints = 300;
  static constexpr std::size_t kLines = 20;
  static constexpr std::size_t kRecords = 20;

  StatusCollector(std::string callsign, std::string version, std::int64_t startUtcMs);

  // This cycle's reading of the decoder. A frame counts as new when its serial, frame number,
  // time or position changed; a new position of the same sonde extends the track, another
  // sonde starts a track of its own.
  void Sample(const SondeSample& sample, bool answered, std::int64_t utcMs);
  void LineSent(const std::string& line, std::int64_t utcMs);
  void Record(const std::string& record, std::int64_t utcMs);
  void Destinations(std::vector<DestinationStatus> statuses);
  // The moment of a snapshot taken outside the cycle (while the station looks for a server).
  void Moment(bool decoderAnswers, std::int64_t utcMs);

  const StationSnapshot& snapshot() const { return snapshot_; }

 private:
  StationSnapshot snapshot_;
};

}  // namespace nimbrix
