#pragma once

// The records SondeHub takes: one per frame of a sonde (PUT /sondes/telemetry, in an array),
// and the station's own (PUT /listeners). Values go in as the decoder gave them; a reading it
// did not give is left out, never written as a stand-in value.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/station_config.h"
#include "telemetry/sonde_sample.h"

namespace nimbrix {

// The station as SondeHub knows it, from NIMBRIX.INI.
struct SondehubStation {
  std::string callsign;
  std::optional<StationPosition> position;
  std::string antenna;
  std::string radio;
  bool dev = false;  // trial records: the server checks them and keeps nothing
};

SondehubStation StationOf(const StationConfig& config);

// One frame of one sonde, in SondeHub's units.
struct SondehubFrame {
  std::string manufacturer, type, subtype;
  std::string serial;  // in the network's form
  std::int64_t frame = 0;
  std::int64_t frameUtcMs = 0;     // the sonde's time of the frame
  std::int64_t receivedUtcMs = 0;  // the station's clock when it read the frame
  double lat = 0, lon = 0, alt = 0;
  std::optional<double> velV, velH, heading;
  std::optional<double> temp, humidity, pressure;
  std::optional<double> frequencyMhz;
  std::optional<int> sats;
  std::optional<double> batt;
};

// A frame from one cycle's sample, or why the sample makes none.
struct FrameOutcome {
  std::optional<SondehubFrame> frame;
  // Empty when there is simply nothing to send (no fix, no time); else a sonde the network
  // would refuse, in words for the operator.
  std::string refusal;
};
FrameOutcome FrameOf(const SondeSample& sample, std::int64_t receivedUtcMs);

// The decoder's kind of sonde as the sample carries it (item 15, else item 11).
std::string DecoderKindOf(const SondeSample& sample);

// Whether SondeHub refuses frames of this type from a batch that holds too few of them.
bool NeedsFullBatch(std::string_view type);

std::string TelemetryRecordJson(const SondehubFrame& frame, const SondehubStation& station);
std::string ListenerRecordJson(const SondehubStation& station);
// The records, each already JSON, as one JSON array.
std::string JsonArray(const std::vector<std::string_view>& records);

// A text from outside as one line of valid UTF-8: control bytes dropped, broken sequences "?".
std::string CleanText(std::string_view text);

}  // namespace nimbrix
