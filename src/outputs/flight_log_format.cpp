#include "outputs/flight_log_format.h"

#include <charconv>
#include <cmath>

#include "format/round_to.h"
#include "format/utc_text.h"
#include "version/version.h"

namespace nimbrix {

namespace {

// The factor the telemetry reader turned m/s into km/h with.
constexpr double kKmhPerMs = static_cast<double>(3.6f);
// Beyond this no reading of a sonde is a reading at all.
constexpr double kLargest = 1e9;

void Field(std::string& row, std::string_view text) {
  row += ',';
  row += text;
}

// The value rounded to `places`, in the shortest fixed form ("12.5", "-3", never "-0").
std::string Decimal(double value, int places) {
  if (!std::isfinite(value) || std::fabs(value) > kLargest) return {};
  double rounded = RoundTo(value, places);
  if (rounded == 0) rounded = 0;  // no "-0"
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, rounded, std::chars_format::fixed);
  if (result.ec != std::errc()) return {};
  return std::string(text, result.ptr);
}

std::string Whole(std::int64_t value) {
  char text[24];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

std::string Given(bool given, double value, int places) {
  return given ? Decimal(value, places) : std::string();
}

bool UsableFix(const SondeSample& s) {
  return std::isfinite(s.latitude) && std::isfinite(s.longitude) && std::fabs(s.latitude) <= 90 &&
         std::fabs(s.longitude) <= 180 && !(s.latitude == 0 && s.longitude == 0);
}

std::optional<double> FrequencyMhz(std::string_view qrg) {
  while (!qrg.empty() && qrg.front() == ' ') qrg.remove_prefix(1);
  while (!qrg.empty() && qrg.back() == ' ') qrg.remove_suffix(1);
  double value = 0;
  const auto [end, error] = std::from_chars(qrg.data(), qrg.data() + qrg.size(), value);
  if (qrg.empty() || error != std::errc() || end != qrg.data() + qrg.size() ||
      !(value > 0 && value < 10000)) {
    return std::nullopt;
  }
  return value;
}

std::string_view NthField(std::string_view row, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t comma = row.find(',');
    if (comma == std::string_view::npos) return {};
    row.remove_prefix(comma + 1);
  }
  return row.substr(0, row.find(','));
}

}  // namespace

std::string FileSafeSerial(std::string_view serial) {
  std::string safe;
  for (char c : serial) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '_') {
      safe += c;
    }
  }
  if (safe.size() > 64) safe.resize(64);  // no name a file system refuses
  return safe;
}

std::string CsvSafeText(std::string_view text) {
  std::string safe;
  for (unsigned char c : text) {
    if (c >= 32 && c < 127 && c != ',' && c != '"') safe += static_cast<char>(c);
  }
  return safe;
}

std::string FlightFileStem(const std::string& folder, const std::string& safeSerial,
                           std::int64_t utcMs) {
  std::string stem = folder;
  if (!stem.empty() && stem.back() != '/' && stem.back() != '\\') stem += '/';
  return stem + safeSerial + "_" + UtcDateDigits(utcMs);
}

std::string FlightCsvRow(const SondeSample& s, const std::string& safeSerial,
                         std::int64_t frameUtcMs) {
  const GivenReadings& g = s.given;
  const bool fix = UsableFix(s);
  std::string row = IsoUtcMillis(frameUtcMs);
  Field(row, safeSerial);
  Field(row, CsvSafeText(s.kind));
  Field(row, g.frame ? Whole(s.frame) : "");
  Field(row, fix ? Decimal(s.latitude, 6) : "");
  Field(row, fix ? Decimal(s.longitude, 6) : "");
  Field(row, Given(g.altitude, s.altitude, 2));
  Field(row, Given(g.speed, s.speedKmh / kKmhPerMs, 2));
  Field(row, Given(g.course, s.course, 1));
  Field(row, Given(g.climb, s.climb, 2));
  Field(row, Given(g.temperature, s.temperature, 1));
  Field(row, Given(g.humidity, s.humidity, 1));
  Field(row, Given(g.pressure, s.pressure, 2));
  Field(row, s.satellites ? Whole(*s.satellites) : "");
  Field(row, s.batteryVolts ? Decimal(*s.batteryVolts, 2) : "");
  const std::optional<double> mhz = FrequencyMhz(s.qrg);
  Field(row, mhz ? Decimal(*mhz, 4) : "");
  row += '\n';
  return row;
}

std::string FlightGpxPoint(const SondeSample& s, std::int64_t frameUtcMs) {
  if (!UsableFix(s)) return {};
  // Appended piece by piece: g++ 12 at -O3 sees a false overlap (-Wrestrict) in "<" + text.
  std::string point = "<trkpt lat=\"";
  point += Decimal(s.latitude, 6);
  point += "\" lon=\"";
  point += Decimal(s.longitude, 6);
  point += "\">";
  if (const std::string ele = Given(s.given.altitude, s.altitude, 2); !ele.empty()) {
    point += "<ele>";
    point += ele;
    point += "</ele>";
  }
  point += "<time>";
  point += IsoUtcMillis(frameUtcMs);
  point += "</time></trkpt>\n";
  return point;
}

std::string FlightGpxHead(const std::string& safeSerial) {
  return std::string(
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             "<gpx version=\"1.1\" creator=\"") +
         kVersionText +
         "\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
         "<trk><name>" +
         safeSerial + "</name><trkseg>\n";
}

std::string FrameKeyOf(const SondeSample& sample) {
  if (sample.given.frame) return Whole(sample.frame);
  // Without a number, what the frame says of itself: its times and its place (never the
  // station's clock, which would make every reading of one frame a new one).
  std::string key = "@";
  key += CsvSafeText(sample.timeText);
  Field(key, Whole(sample.timeMs));
  Field(key, Decimal(sample.latitude, 6));
  Field(key, Decimal(sample.longitude, 6));
  Field(key, Decimal(sample.altitude, 2));
  return key;
}

std::optional<std::size_t> CsvResumeOffset(std::string_view content) {
  if (content.substr(0, kFlightCsvHeader.size()) != kFlightCsvHeader) return std::nullopt;
  // A row cut short (a crash, a full disk) goes: the next row is written over it.
  return content.rfind('\n') + 1;
}

std::optional<std::size_t> GpxResumeOffset(std::string_view content) {
  constexpr std::string_view kSegment = "<trkseg>\n";
  constexpr std::string_view kPointEnd = "</trkpt>\n";
  if (content.substr(0, 5) != "<?xml") return std::nullopt;
  const std::size_t segment = content.find(kSegment);
  if (segment == std::string_view::npos ||
      content.substr(0, segment).find("</trkseg>") != std::string_view::npos) {
    return std::nullopt;
  }
  const std::size_t points = segment + kSegment.size();
  const std::size_t last = content.rfind(kPointEnd);
  if (last == std::string_view::npos || last < points) return points;
  return last + kPointEnd.size();
}

std::string LastCsvFrameKey(std::string_view content) {
  const std::optional<std::size_t> end = CsvResumeOffset(content);
  if (!end || *end <= kFlightCsvHeader.size()) return {};
  std::string_view rows = content.substr(0, *end - 1);  // without the last LF
  const std::string_view last = rows.substr(rows.rfind('\n') + 1);
  return std::string(NthField(last, 3));
}

}  // namespace nimbrix
