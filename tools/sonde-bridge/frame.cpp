#include "frame.h"

#include <rapidjson/error/error.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "decoder-service/time_text.h"
#include "decoder-service/utf8.h"
#include "gps_time.h"

namespace bridge {

namespace {

// The fields the bridge reads; every other key is passed over.
enum Field {
  kType,
  kFrameNumber,
  kId,
  kDatetime,
  kLat,
  kLon,
  kAlt,
  kVelH,
  kHeading,
  kVelV,
  kTemp,
  kHumidity,
  kPressure,
  kSubtype,
  kEncryptedFlag,
  kFreq,
  kTxFrequency,
  kRefDatetime,
  kRefPosition,
  kDiffGpsMsl,
  kAprsid,
  kSats,
  kBatt,
  kFieldCount
};
constexpr std::array<std::string_view, kFieldCount> kFieldNames = {
    "type",         "frame",        "id",        "datetime", "lat",          "lon",
    "alt",          "vel_h",        "heading",   "vel_v",    "temp",         "humidity",
    "pressure",     "subtype",      "encrypted", "freq",     "tx_frequency", "ref_datetime",
    "ref_position", "diff_GPS_MSL", "aprsid",    "sats",     "batt"};

int FieldOf(std::string_view key) {
  if (key.empty()) return -1;
  for (int f = 0; f < kFieldCount; ++f) {
    // Length and first letter first: most keys differ there, without a call to memcmp.
    const std::string_view name = kFieldNames[static_cast<std::size_t>(f)];
    if (name.size() == key.size() && name[0] == key[0] && name == key) return f;
  }
  return -1;
}

struct Value {
  enum class Kind { kAbsent, kNull, kBool, kInteger, kUnsigned, kFloat, kString, kContainer };
  Kind kind = Kind::kAbsent;
  bool boolean = false;
  std::int64_t integer = 0;
  std::uint64_t unsignedInteger = 0;
  double real = 0;
  std::string text;

  bool IsNumber() const {
    return kind == Kind::kInteger || kind == Kind::kUnsigned || kind == Kind::kFloat;
  }
  double Number() const {
    if (kind == Kind::kInteger) return static_cast<double>(integer);
    if (kind == Kind::kUnsigned) return static_cast<double>(unsignedInteger);
    return real;
  }
};

// Collects the top-level values of the fields above, as RapidJSON's reader hands them over.
// Only the values of the outermost object are taken; an object or array in a field's place
// marks it as of the wrong type.
class FrameReader final : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, FrameReader> {
 public:
  bool Null() { return Set(Value::Kind::kNull); }
  bool Bool(bool b) {
    if (Value* v = Slot(Value::Kind::kBool)) v->boolean = b;
    return true;
  }
  // Numbers come as their text (kParseNumbersAsStringsFlag) and are read by from_chars, which
  // rounds every double correctly and fast, where RapidJSON's own conversion is not free of
  // faults at the edges (zero with a large exponent, subnormals).
  bool RawNumber(const char* s, rapidjson::SizeType length, bool) {
    const char* end = s + length;
    if (std::find_if(s, end, [](char c) { return c == '.' || c == 'e' || c == 'E'; }) == end) {
      if (*s == '-') {
        std::int64_t i = 0;
        if (std::from_chars(s, end, i).ec == std::errc()) return Integer(i);
      } else {
        std::uint64_t u = 0;
        if (std::from_chars(s, end, u).ec == std::errc()) return Unsigned(u);
      }
    }
    double d = 0;
    if (std::from_chars(s, end, d).ec == std::errc::result_out_of_range) {
      // Too small becomes 0 (or the nearest subnormal), too large infinity: let strtod say.
      d = std::strtod(std::string(s, length).c_str(), nullptr);
    }
    if (!std::isfinite(d)) {
      overflow_ = true;  // beyond a double's range: the line is no frame
      return false;
    }
    if (Value* v = Slot(Value::Kind::kFloat)) v->real = d;
    return true;
  }
  bool String(const char* s, rapidjson::SizeType length, bool) {
    if (Value* v = Slot(Value::Kind::kString)) v->text.assign(s, length);
    return true;
  }
  bool Key(const char* s, rapidjson::SizeType length, bool) {
    if (depth_ == 1) field_ = FieldOf(std::string_view(s, length));
    return true;
  }
  bool StartObject() { return Open(true); }
  bool StartArray() { return Open(false); }
  bool EndObject(rapidjson::SizeType) { return Close(); }
  bool EndArray(rapidjson::SizeType) { return Close(); }

  // Ready for the next line; the texts keep their memory.
  void Reset() {
    for (Value& v : values_) v.kind = Value::Kind::kAbsent;
    depth_ = 0;
    field_ = -1;
    topIsObject_ = false;
    overflow_ = false;
  }

  bool TopIsObject() const { return topIsObject_; }
  // A number beyond the range of a double ended the parse.
  bool Overflowed() const { return overflow_; }
  // The field whose value was being read, if it is one of ours.
  const char* CurrentField() const {
    return depth_ == 1 && field_ >= 0 ? kFieldNames[static_cast<std::size_t>(field_)].data()
                                      : nullptr;
  }
  const Value& operator[](Field f) const { return values_[f]; }

 private:
  // The value being read, if it is one of ours, marked as of `kind`.
  Value* Slot(Value::Kind kind) {
    if (depth_ != 1 || field_ < 0) return nullptr;
    Value& v = values_[static_cast<std::size_t>(field_)];
    v.kind = kind;
    return &v;
  }
  bool Set(Value::Kind kind) {
    Slot(kind);
    return true;
  }
  bool Integer(std::int64_t i) {
    if (Value* v = Slot(Value::Kind::kInteger)) v->integer = i;
    return true;
  }
  bool Unsigned(std::uint64_t u) {
    if (Value* v = Slot(Value::Kind::kUnsigned)) v->unsignedInteger = u;
    return true;
  }
  bool Open(bool object) {
    if (depth_ == 0) topIsObject_ = object;
    Slot(Value::Kind::kContainer);
    ++depth_;
    return true;
  }
  bool Close() {
    --depth_;
    return true;
  }

  int depth_ = 0;
  int field_ = -1;
  bool topIsObject_ = false;
  bool overflow_ = false;
  std::array<Value, kFieldCount> values_;
};

// Strict JSON, as the decoders print it: UTF-8 checked in strings, no NaN, nothing after the
// value, numbers handed over as text, and an explicit stack instead of recursion, so that a line
// of nested brackets cannot overflow ours.
constexpr unsigned kParseFlags = rapidjson::kParseValidateEncodingFlag |
                                 rapidjson::kParseNumbersAsStringsFlag |
                                 rapidjson::kParseIterativeFlag;

// Why the line did not parse: invalid UTF-8, or plain not JSON. (The parser checks UTF-8 in
// its strings and allows nothing but ASCII outside them, so a valid line never needs the check.)
Skip Unparsable(std::string_view line) {
  return {decoder::IsValidUtf8(line) ? SkipReason::kNotJson : SkipReason::kInvalidUtf8};
}

// Ranges beyond which a value cannot come from a sonde.
struct Range {
  double min, max;
  bool Holds(double v) const { return std::isfinite(v) && v >= min && v <= max; }
};
constexpr Range kAltitudeRange{-1000, 100000};     // m
constexpr Range kHorizontalSpeedRange{0, 1000};    // m/s
constexpr Range kVerticalSpeedRange{-1000, 1000};  // m/s
constexpr Range kHeadingRange{-360, 360};          // degrees
constexpr Range kTemperatureRange{-273.15, 200};   // degrees Celsius
constexpr Range kHumidityRange{0, 150};            // %
constexpr Range kPressureRange{0, 2000};           // hPa
constexpr Range kFrequencyRange{1e-3, 1e7};        // kHz: above 0, up to 10 GHz
constexpr Range kSatellitesRange{0, 99};
constexpr Range kBatteryRange{0, 100};  // V
// The geoid lies between about -106 m and +85 m of the ellipsoid; room for other models.
constexpr Range kGeoidRange{-200, 200};  // m

std::optional<double> OptionalNumber(const Value& v, Range range) {
  if (!v.IsNumber() || !range.Holds(v.Number())) return std::nullopt;
  return v.Number();
}

std::string OptionalText(const Value& v) {
  return v.kind == Value::Kind::kString ? v.text : std::string();
}

// The text of `v` is `word` in any case.
bool IsWord(const Value& v, std::string_view word) {
  const std::string& t = v.text;
  if (v.kind != Value::Kind::kString || t.size() != word.size()) return false;
  for (std::size_t i = 0; i < t.size(); ++i) {
    if ((t[i] | 0x20) != word[i]) return false;
  }
  return true;
}

HeightReference HeightReferenceOf(const Value& v) {
  if (IsWord(v, "gps")) return HeightReference::kEllipsoid;
  if (IsWord(v, "msl")) return HeightReference::kSeaLevel;
  return HeightReference::kUnknown;
}

// An APRS name as the M10/M20 decoders print it: exactly nine ASCII letters or digits, so that
// nothing else can reach the station's object name.
std::string AprsidOf(const Value& v) {
  if (v.kind != Value::Kind::kString || v.text.size() != 9) return {};
  for (const char c : v.text) {
    const bool alnum = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (!alnum) return {};
  }
  return v.text;
}

// "YYYY-MM-DDThh:mm:ss", then an optional fraction of a second and an optional "Z", as
// milliseconds since 1970 (the fraction cut after three digits).
std::optional<std::int64_t> DatetimeMs(std::string_view text) {
  constexpr std::size_t kDateAndTime = 19;
  if (text.size() < kDateAndTime) return std::nullopt;
  const std::optional<std::int64_t> seconds =
      decoder::ParseDateAndTime(text.substr(0, kDateAndTime), 'T');
  if (!seconds) return std::nullopt;
  std::string_view rest = text.substr(kDateAndTime);
  std::int64_t ms = 0;
  if (!rest.empty() && rest[0] == '.') {
    rest.remove_prefix(1);
    std::size_t digits = 0;
    while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') ++digits;
    if (digits == 0 || digits > 9) return std::nullopt;
    for (std::size_t i = 0; i < 3; ++i) ms = ms * 10 + (i < digits ? rest[i] - '0' : 0);
    rest.remove_prefix(digits);
  }
  if (rest == "Z") rest.remove_prefix(1);
  if (!rest.empty()) return std::nullopt;
  return *seconds * 1000 + ms;
}

}  // namespace

const char* SkipReasonText(SkipReason reason) {
  switch (reason) {
    case SkipReason::kTooLong:
      return "too long";
    case SkipReason::kNulByte:
      return "NUL byte";
    case SkipReason::kInvalidUtf8:
      return "invalid UTF-8";
    case SkipReason::kNotJson:
      return "not JSON";
    case SkipReason::kNotObject:
      return "not an object";
    case SkipReason::kEncrypted:
      return "encrypted";
    case SkipReason::kMissingField:
      return "missing field";
    case SkipReason::kWrongType:
      return "wrong type";
    case SkipReason::kAbsurd:
      return "not finite or absurd";
    case SkipReason::kInvalidTime:
      return "invalid date or time";
    case SkipReason::kOutOfRange:
      return "position out of range";
    case SkipReason::kIncompleteSerial:
      return "incomplete serial";
    case SkipReason::kOtherSonde:
      return "another sonde";
  }
  return "unknown";
}

bool IsIncompleteSerial(std::string_view id) {
  return id.find("xx") != std::string_view::npos;
}

std::variant<Frame, Skip> ParseFrame(std::string_view line) {
  // Before the parser: it takes a NUL byte for the end of its input.
  if (std::memchr(line.data(), '\0', line.size()) != nullptr) return Skip{SkipReason::kNulByte};
  // A byte-order mark before the object, as an editor may leave in a file, is no fault.
  if (line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
  // One reader per thread, used again for every line: its texts need no new memory each time.
  thread_local FrameReader r;
  thread_local rapidjson::Reader parser;
  r.Reset();
  rapidjson::MemoryStream bytes(line.data(), line.size());
  if (parser.Parse<kParseFlags>(bytes, r).IsError()) {
    // A number beyond the range of a double: the reader's own check of the exponent, or ours.
    if (r.Overflowed() || parser.GetParseErrorCode() == rapidjson::kParseErrorNumberTooBig) {
      return Skip{SkipReason::kAbsurd, r.CurrentField()};
    }
    return Unparsable(line);
  }
  if (!r.TopIsObject()) return Skip{SkipReason::kNotObject};
  if (r[kEncryptedFlag].kind == Value::Kind::kBool && r[kEncryptedFlag].boolean) {
    return Skip{SkipReason::kEncrypted};
  }

  struct Required {
    Field field;
    bool text;
  };
  for (const Required q : {Required{kId, true}, Required{kDatetime, true}, Required{kLat, false},
                           Required{kLon, false}, Required{kAlt, false}}) {
    const Value& v = r[q.field];
    const char* name = kFieldNames[q.field].data();
    if (v.kind == Value::Kind::kAbsent ||
        (q.field == kId && v.kind == Value::Kind::kString && v.text.empty())) {
      return Skip{SkipReason::kMissingField, name};
    }
    if (q.text ? v.kind != Value::Kind::kString : !v.IsNumber()) {
      return Skip{SkipReason::kWrongType, name};
    }
  }

  Frame f;
  f.lat = r[kLat].Number();
  f.lon = r[kLon].Number();
  f.alt = r[kAlt].Number();
  // Finite: the parser refuses numbers beyond a double's range.
  if (!kAltitudeRange.Holds(f.alt)) return Skip{SkipReason::kAbsurd, "alt"};
  const std::optional<std::int64_t> ms = DatetimeMs(r[kDatetime].text);
  if (!ms) return Skip{SkipReason::kInvalidTime, "datetime"};
  if (std::fabs(f.lat) > 90) return Skip{SkipReason::kOutOfRange, "lat"};
  if (std::fabs(f.lon) > 180) return Skip{SkipReason::kOutOfRange, "lon"};
  if (IsIncompleteSerial(r[kId].text)) return Skip{SkipReason::kIncompleteSerial, "id"};

  f.id = r[kId].text;
  f.utcMs = IsWord(r[kRefDatetime], "gps") ? GpsToUtcMs(*ms) : *ms;
  f.type = OptionalText(r[kType]);
  f.subtype = OptionalText(r[kSubtype]);
  f.aprsid = AprsidOf(r[kAprsid]);
  f.heightReference = HeightReferenceOf(r[kRefPosition]);
  f.diffGpsMsl = OptionalNumber(r[kDiffGpsMsl], kGeoidRange);
  const Value& n = r[kFrameNumber];
  if (n.kind == Value::Kind::kInteger) f.frame = static_cast<std::uint64_t>(n.integer);
  if (n.kind == Value::Kind::kUnsigned) f.frame = n.unsignedInteger;
  f.velH = OptionalNumber(r[kVelH], kHorizontalSpeedRange);
  f.velV = OptionalNumber(r[kVelV], kVerticalSpeedRange);
  f.heading = OptionalNumber(r[kHeading], kHeadingRange);
  f.temp = OptionalNumber(r[kTemp], kTemperatureRange);
  f.humidity = OptionalNumber(r[kHumidity], kHumidityRange);
  f.pressure = OptionalNumber(r[kPressure], kPressureRange);
  f.freqKhz = OptionalNumber(r[kFreq], kFrequencyRange);
  f.txFrequencyKhz = OptionalNumber(r[kTxFrequency], kFrequencyRange);
  const Value& sats = r[kSats];
  if ((sats.kind == Value::Kind::kInteger || sats.kind == Value::Kind::kUnsigned) &&
      kSatellitesRange.Holds(sats.Number())) {
    f.sats = static_cast<int>(sats.Number());
  }
  f.batt = OptionalNumber(r[kBatt], kBatteryRange);
  return f;
}

}  // namespace bridge
