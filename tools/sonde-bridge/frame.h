#pragma once

// One decoded frame of the open radiosonde decoders (rs41mod --json and its siblings), taken
// from one line of their output, or the reason the line is not one.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace bridge {

enum class SkipReason {
  kTooLong,  // over 64 KiB
  kNulByte,
  kInvalidUtf8,
  kNotJson,           // text lines, broken or truncated JSON
  kNotObject,         // JSON, but an array, a number, ...
  kEncrypted,         // "encrypted": true
  kMissingField,      // id, datetime, lat, lon or alt absent (or an empty id)
  kWrongType,         // one of those of the wrong JSON type
  kAbsurd,            // not finite, or a value no sonde can have
  kInvalidTime,       // datetime not "YYYY-MM-DDThh:mm:ss[.fff][Z]" of a real date and time
  kOutOfRange,        // latitude beyond ±90 or longitude beyond ±180
  kIncompleteSerial,  // a placeholder in the id ("DFM-xxxxxxxx"): no identity yet
  kOtherSonde,        // not the sonde --serial asks for, or not the one followed
};
inline constexpr int kSkipReasonCount = 13;

// A few words for the reason, as --verbose and the summary show it.
const char* SkipReasonText(SkipReason reason);

struct Skip {
  SkipReason reason;
  const char* field = nullptr;  // the field at fault, where one is
};

// What a frame's altitude is measured from ("ref_position").
enum class HeightReference { kUnknown, kEllipsoid, kSeaLevel };

struct Frame {
  std::string id;
  std::int64_t utcMs = 0;  // milliseconds since 1970, UTC (GPS frames already shifted)
  double lat = 0, lon = 0;
  double alt = 0;  // as the decoder gives it; the intake puts it above sea level (heights.h)
  // Optional fields; one that is absent, of the wrong type or absurd stays empty.
  std::string type, subtype;
  std::string aprsid;  // the APRS name of an M10/M20 ("ME" and 7 hex digits): 9 letters or digits
  HeightReference heightReference = HeightReference::kUnknown;
  std::optional<double> diffGpsMsl;    // ellipsoid above sea level at the position, m
  std::optional<std::uint64_t> frame;  // as two's complement bits, for the low 32
  std::optional<double> velH, velV, heading;
  std::optional<double> temp, humidity, pressure;
  std::optional<double> freqKhz, txFrequencyKhz;
  std::optional<int> sats;     // GPS satellites in the solution
  std::optional<double> batt;  // battery, V
};

std::variant<Frame, Skip> ParseFrame(std::string_view line);

// True for an id that holds a decoder's placeholder for the characters it has not received yet:
// a run of two or more "x" ("DFM-xxxxxxxx", "DFMxx-xxxxxxxx", "C50-xxxx"). Real serials have
// digits and capital letters there.
bool IsIncompleteSerial(std::string_view id);

}  // namespace bridge
