#include "outputs/payload_summary.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cmath>
#include <cstdio>
#include <string_view>

#include "format/text_to_number.h"

namespace nimbrix {

namespace {

// Each text is cut short so that the whole stays far below one datagram of a typical network.
constexpr std::size_t kMaxTextBytes = 64;

std::string PrintableAscii(std::string_view text) {
  std::string kept;
  for (const char c : text) {
    if (c >= 0x20 && c < 0x7f) kept += c;
    if (kept.size() == kMaxTextBytes) break;
  }
  return kept;
}

// "hh:mm:ss" from the decoder's time ("yyyy-mm-ddThh:mm:ss", characters 12 to 19), or from the
// station's UTC clock when the decoder gave none.
std::string TimeOfDay(const std::string& timeText, std::int64_t utcMs) {
  if (timeText.size() >= 19 && timeText[13] == ':' && timeText[16] == ':') {
    const std::string_view hms = std::string_view(timeText).substr(11, 8);
    bool digits = true;
    for (std::size_t i : {0, 1, 3, 4, 6, 7}) digits = digits && hms[i] >= '0' && hms[i] <= '9';
    if (digits) return std::string(hms);
  }
  const std::int64_t seconds = ((utcMs / 1000) % 86400 + 86400) % 86400;
  char text[9];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(seconds / 3600),
                static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
  return text;
}

double Finite(double value) {
  return std::isfinite(value) ? value : 0;
}

}  // namespace

bool HasSummaryPosition(const SondeSample& sample, bool decoderAnswered) {
  const double lat = sample.latitude;
  const double lon = sample.longitude;
  return decoderAnswered && std::isfinite(lat) && std::isfinite(lon) && lat != 0 && lon != 0 &&
         std::fabs(lat) <= 90 && std::fabs(lon) <= 180;
}

std::string PayloadSummaryJson(const SondeSample& sample, const std::string& station,
                               std::int64_t utcMs) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> json(buffer);
  json.SetMaxDecimalPlaces(6);
  const auto text = [&json](const char* key, std::string_view value) {
    const std::string kept = PrintableAscii(value);
    json.Key(key);
    json.String(kept.c_str(), static_cast<rapidjson::SizeType>(kept.size()));
  };
  const auto number = [&json](const char* key, double value) {
    json.Key(key);
    json.Double(Finite(value));
  };

  json.StartObject();
  text("type", "PAYLOAD_SUMMARY");
  text("callsign", sample.serial);
  number("latitude", sample.latitude);
  number("longitude", sample.longitude);
  number("altitude", sample.altitude);
  number("speed", sample.speedKmh);
  number("heading", sample.course);
  text("time", TimeOfDay(sample.timeText, utcMs));
  text("comment", "Radiosonde");
  if (!sample.typeOrAprsName.empty()) text("model", sample.typeOrAprsName);
  if (const double mhz = Finite(TextToNumber(sample.qrg)); mhz > 0 && mhz < 100000) {
    char freq[32];
    std::snprintf(freq, sizeof freq, "%.3f MHz", mhz);
    text("freq", freq);
  }
  if (sample.given.temperature) number("temp", sample.temperature);
  if (sample.given.humidity) number("humidity", sample.humidity);
  if (sample.given.frame) {
    json.Key("frame");
    json.Int(sample.frame);
  }
  text("station", station);
  json.EndObject();
  return std::string(buffer.GetString(), buffer.GetSize());
}

}  // namespace nimbrix
