#include "sondehub/record.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <charconv>
#include <cmath>

#include "format/round_to.h"
#include "format/safe_text.h"
#include "format/utc_text.h"
#include "telemetry/frame_time.h"
#include "telemetry/sonde_kinds.h"
#include "version/version.h"

namespace nimbrix {

namespace {

using JsonWriter = rapidjson::Writer<rapidjson::StringBuffer>;

constexpr const char* kSoftwareName = "NIMBRIX";
// The factor the telemetry reader turned m/s into km/h with.
constexpr double kKmhPerMs = static_cast<double>(3.6f);

void Text(JsonWriter& w, const char* key, std::string_view value) {
  const std::string clean = CleanText(value);
  w.Key(key);
  w.String(clean.data(), static_cast<rapidjson::SizeType>(clean.size()));
}

void Number(JsonWriter& w, const char* key, double value, int places) {
  w.Key(key);
  w.Double(RoundTo(value, places));
}

void Optional(JsonWriter& w, const char* key, const std::optional<double>& value, int places) {
  if (value && std::isfinite(*value)) Number(w, key, *value, places);
}

void Position(JsonWriter& w, const std::optional<StationPosition>& position) {
  w.Key("uploader_position");
  if (!position) {
    w.Null();
    return;
  }
  w.StartArray();
  w.Double(RoundTo(position->lat, 6));
  w.Double(RoundTo(position->lon, 6));
  w.Double(RoundTo(position->alt, 1));
  w.EndArray();
}

std::optional<double> FrequencyMhz(std::string_view qrg) {
  while (!qrg.empty() && qrg.front() == ' ') qrg.remove_prefix(1);
  while (!qrg.empty() && qrg.back() == ' ') qrg.remove_suffix(1);
  double value = 0;
  const auto [end, error] = std::from_chars(qrg.data(), qrg.data() + qrg.size(), value);
  if (error != std::errc() || end != qrg.data() + qrg.size() || !(value > 0 && value < 10000)) {
    return std::nullopt;
  }
  return value;
}

bool ValidFix(const SondeSample& s) {
  return std::isfinite(s.latitude) && std::isfinite(s.longitude) && std::isfinite(s.altitude) &&
         std::fabs(s.latitude) <= 90 && std::fabs(s.longitude) <= 180 &&
         !(s.latitude == 0 && s.longitude == 0);
}

}  // namespace

SondehubStation StationOf(const StationConfig& config) {
  return {config.sUSER, config.position, config.sANTENNA, config.sRADIO, config.nSONDEHUB_DEV != 0};
}

std::string DecoderKindOf(const SondeSample& sample) {
  return sample.kind;
}

bool NeedsFullBatch(std::string_view type) {
  return type.find("DFM") != std::string_view::npos ||
         type.find("iMS-100") != std::string_view::npos ||
         type.find("IMS100") != std::string_view::npos;
}

FrameOutcome FrameOf(const SondeSample& sample, std::int64_t receivedUtcMs) {
  FrameOutcome outcome;
  // Without a height the network takes no position.
  if (sample.serial.empty() || !ValidFix(sample) || !sample.given.altitude) return outcome;
  const std::string kindText = DecoderKindOf(sample);
  const std::optional<SondeKind> kind = SondeKindOf(kindText, sample.serial);
  if (!kind) {
    outcome.refusal = kindText.empty() ? "kind of sonde unknown"
                                       : "kind of sonde " + CleanText(kindText) + " unknown";
    return outcome;
  }
  const std::optional<std::string> serial = SondehubSerial(*kind, sample.serial);
  if (!serial) {
    outcome.refusal = "serial not accepted for " + kind->type;
    return outcome;
  }
  if (!sample.given.frame) {
    outcome.refusal = "no frame number";
    return outcome;
  }
  const std::optional<std::int64_t> frameUtc = FrameUtcMs(sample, receivedUtcMs);
  if (!frameUtc) return outcome;

  SondehubFrame f;
  f.manufacturer = kind->manufacturer;
  f.type = kind->type;
  f.subtype = kind->subtype;
  f.serial = *serial;
  f.frame = sample.frame;
  f.frameUtcMs = *frameUtc;
  f.receivedUtcMs = receivedUtcMs;
  f.lat = sample.latitude;
  f.lon = sample.longitude;
  f.alt = sample.altitude;
  if (sample.given.climb) f.velV = sample.climb;
  if (sample.given.speed) f.velH = sample.speedKmh / kKmhPerMs;
  if (sample.given.course) f.heading = sample.course;
  if (sample.given.temperature) f.temp = sample.temperature;
  if (sample.given.humidity) f.humidity = sample.humidity;
  if (sample.given.pressure) f.pressure = sample.pressure;
  f.frequencyMhz = FrequencyMhz(sample.qrg);
  f.sats = sample.satellites;
  f.batt = sample.batteryVolts;
  outcome.frame = std::move(f);
  return outcome;
}

std::string TelemetryRecordJson(const SondehubFrame& f, const SondehubStation& station) {
  rapidjson::StringBuffer buffer;
  JsonWriter w(buffer);
  w.StartObject();
  Text(w, "software_name", kSoftwareName);
  Text(w, "software_version", kVersion);
  Text(w, "uploader_callsign", station.callsign);
  Text(w, "time_received", IsoUtcMicros(f.receivedUtcMs));
  Text(w, "datetime", IsoUtcMicros(f.frameUtcMs));
  Text(w, "manufacturer", f.manufacturer);
  Text(w, "type", f.type);
  if (!f.subtype.empty()) Text(w, "subtype", f.subtype);
  Text(w, "serial", f.serial);
  w.Key("frame");
  w.Int64(f.frame);
  Number(w, "lat", f.lat, 6);
  Number(w, "lon", f.lon, 6);
  Number(w, "alt", f.alt, 2);
  Optional(w, "vel_v", f.velV, 2);
  Optional(w, "vel_h", f.velH, 2);
  Optional(w, "heading", f.heading, 1);
  Optional(w, "temp", f.temp, 1);
  Optional(w, "humidity", f.humidity, 1);
  Optional(w, "pressure", f.pressure, 2);
  Optional(w, "frequency", f.frequencyMhz, 4);
  if (f.sats) {
    w.Key("sats");
    w.Int(*f.sats);
  }
  Optional(w, "batt", f.batt, 2);
  if (station.position) Position(w, station.position);
  if (!station.antenna.empty()) Text(w, "uploader_antenna", station.antenna);
  if (station.dev) {
    w.Key("dev");
    w.Bool(true);
  }
  w.EndObject();
  return {buffer.GetString(), buffer.GetSize()};
}

std::string ListenerRecordJson(const SondehubStation& station) {
  rapidjson::StringBuffer buffer;
  JsonWriter w(buffer);
  w.StartObject();
  Text(w, "software_name", kSoftwareName);
  Text(w, "software_version", kVersion);
  Text(w, "uploader_callsign", station.callsign);
  Position(w, station.position);
  Text(w, "uploader_radio", station.radio);
  Text(w, "uploader_antenna", station.antenna);
  w.Key("mobile");
  w.Bool(false);
  w.EndObject();
  return {buffer.GetString(), buffer.GetSize()};
}

std::string JsonArray(const std::vector<std::string_view>& records) {
  std::size_t size = 2;
  for (std::string_view r : records) size += r.size() + 1;
  std::string array;
  array.reserve(size);
  array += '[';
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (i > 0) array += ',';
    array += records[i];
  }
  array += ']';
  return array;
}

std::string CleanText(std::string_view text) {
  const std::string line = StripControlBytes(text);
  std::string clean;
  clean.reserve(line.size());
  std::size_t i = 0;
  while (i < line.size()) {
    const auto lead = static_cast<unsigned char>(line[i]);
    std::size_t length = 0;
    unsigned int code = 0;
    if (lead < 0x80) {
      length = 1;
      code = lead;
    } else if (lead >= 0xc2 && lead <= 0xdf) {
      length = 2;
      code = lead & 0x1fu;
    } else if (lead >= 0xe0 && lead <= 0xef) {
      length = 3;
      code = lead & 0x0fu;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
      length = 4;
      code = lead & 0x07u;
    }
    bool valid = length > 0 && i + length <= line.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(line[i + k]);
      valid = (next & 0xc0u) == 0x80u;
      code = (code << 6) | (next & 0x3fu);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are no UTF-8 either.
    valid = valid && !(length == 3 && (code < 0x800 || (code >= 0xd800 && code <= 0xdfff))) &&
            !(length == 4 && (code < 0x10000 || code > 0x10ffff));
    if (valid) {
      clean.append(line, i, length);
      i += length;
    } else {
      clean += '?';
      ++i;
    }
  }
  return clean;
}

}  // namespace nimbrix
