#pragma once

// The flight log's texts: the CSV row and the GPX track point of one frame, the files' heads and
// tails, their names, and where a file left by an earlier run can be written on. Pure: values in,
// texts out, the same whatever the locale.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "telemetry/sonde_sample.h"

namespace nimbrix {

inline constexpr std::string_view kFlightCsvHeader =
    "time_utc,serial,type,frame,lat,lon,alt_m,vel_h_ms,heading_deg,vel_v_ms,temp_c,humidity_pct,"
    "pressure_hpa,sats,batt_v,freq_mhz\n";
inline constexpr std::string_view kFlightGpxTail = "</trkseg></trk>\n</gpx>\n";

// The decoder's serial with only letters, digits, '-' and '_' kept; "" leaves no file.
std::string FileSafeSerial(std::string_view serial);
// Printable ASCII without commas or quotes: a field that cannot break the row.
std::string CsvSafeText(std::string_view text);

// "<serial>_<YYYYMMDD>" in `folder` (no extension).
std::string FlightFileStem(const std::string& folder, const std::string& safeSerial,
                           std::int64_t utcMs);

// One frame's CSV row (LF ended) and its GPX point ("" without a usable position).
std::string FlightCsvRow(const SondeSample& sample, const std::string& safeSerial,
                         std::int64_t frameUtcMs);
std::string FlightGpxPoint(const SondeSample& sample, std::int64_t frameUtcMs);
// The GPX document's head up to its open track segment.
std::string FlightGpxHead(const std::string& safeSerial);

// What tells a frame from the one before: its frame number, else its own times and place.
std::string FrameKeyOf(const SondeSample& sample);

// Where a file an earlier run left can be written on: the byte count of the whole rows (CSV)
// or whole points (GPX) it holds, after its head; nullopt when it is no such file (start anew).
std::optional<std::size_t> CsvResumeOffset(std::string_view content);
std::optional<std::size_t> GpxResumeOffset(std::string_view content);
// The frame number of the last whole row of a CSV flight log; "" when it has none.
std::string LastCsvFrameKey(std::string_view content);

}  // namespace nimbrix
