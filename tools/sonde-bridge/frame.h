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
  kNotJson,       // text lines, broken or truncated JSON
  kNotObject,     // JSON, but an array, a number, ...
  kEncrypted,     // "encrypted": true
  kMissingField,  // id, datetime, lat, lon or alt absent (or an empty id)
  kWrongType,     // one of those of the wrong JSON type
  kAbsurd,        // not finite, or a value no sonde can have
  kInvalidTime,   // datetime not "YYYY-MM-DDThh:mm:ss[.fff][Z]" of a real date and time
  kOutOfRange,    // latitude beyond ±90 or longitude beyond ±180
  kOtherSonde,    // not the sonde --serial asks for
};
inline constexpr int kSkipReasonCount = 12;

// A few words for the reason, as --verbose and the summary show it.
const char* SkipReasonText(SkipReason reason);

struct Skip {
  SkipReason reason;
  const char* field = nullptr;  // the field at fault, where one is
};

// GPS time runs ahead of UTC by the leap seconds since 1980, 18 since 2017-01-01.
inline constexpr std::int64_t kGpsLeapSeconds = 18;

struct Frame {
  std::string id;
  std::int64_t utcMs = 0;  // milliseconds since 1970, UTC (GPS frames already shifted)
  double lat = 0, lon = 0, alt = 0;
  // Optional fields; one that is absent, of the wrong type or absurd stays empty.
  std::string type, subtype;
  std::optional<std::uint64_t> frame;  // as two's complement bits, for the low 32
  std::optional<double> velH, velV, heading;
  std::optional<double> temp, humidity, pressure;
  std::optional<double> freqKhz, txFrequencyKhz;
};

std::variant<Frame, Skip> ParseFrame(std::string_view line);

}  // namespace bridge
