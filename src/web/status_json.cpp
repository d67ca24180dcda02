#include "web/status_json.h"

#include <rapidjson/encodings.h>
#include <rapidjson/stream.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cmath>

#include "format/utc_text.h"
#include "telemetry/frame_time.h"
#include "telemetry/sonde_kinds.h"

namespace nimbrix {

namespace {

using JsonWriter = rapidjson::Writer<rapidjson::StringBuffer>;

void Text(JsonWriter& w, std::string_view text) {
  const std::string valid = ValidUtf8(text);
  w.String(valid.data(), static_cast<rapidjson::SizeType>(valid.size()));
}

void Number(JsonWriter& w, double value) {
  if (std::isfinite(value)) {
    w.Double(value);
  } else {
    w.Null();
  }
}

void Time(JsonWriter& w, std::int64_t utcMs) {
  Text(w, IsoUtcSeconds(utcMs));
}

// A time that may not have happened yet: 0 is none.
void TimeOrNull(JsonWriter& w, std::int64_t utcMs) {
  if (utcMs == 0) {
    w.Null();
  } else {
    Time(w, utcMs);
  }
}

std::int64_t WholeSeconds(std::int64_t ms) {
  return ms < 0 ? 0 : ms / 1000;
}

// What kind of sonde: the decoder's item 11 is its type, except for an M10 or M20, for which it
// is the APRS name; their serial says the kind.
std::string SondeKind(const SondeSample& s) {
  for (const char* prefix : {"M10-", "M20-"}) {
    if (s.serial.rfind(prefix, 0) == 0) return std::string(prefix, 3);
  }
  return s.typeOrAprsName;
}

// A frame's fields, read (or heard) at `receivedUtcMs`, inside an object.
void FrameFields(JsonWriter& w, const SondeSample& s, std::int64_t receivedUtcMs,
                 std::int64_t nowUtcMs) {
  w.Key("serial");
  Text(w, s.serial);
  w.Key("kind");
  Text(w, SondeKind(s));
  w.Key("frame");
  w.Int(s.frame);
  w.Key("time");
  if (const auto t = FrameUtcMs(s, receivedUtcMs)) {
    Time(w, *t);
  } else {
    w.Null();
  }
  w.Key("received");
  Time(w, receivedUtcMs);
  w.Key("ageSeconds");
  w.Int64(WholeSeconds(nowUtcMs - receivedUtcMs));
  w.Key("latitude");
  Number(w, s.latitude);
  w.Key("longitude");
  Number(w, s.longitude);
  w.Key("altitude");
  Number(w, s.altitude);
  w.Key("climb");
  Number(w, s.climb);
  w.Key("speedKmh");
  Number(w, s.speedKmh);
  w.Key("course");
  Number(w, s.course);
  w.Key("temperature");
  Number(w, s.temperature);
  w.Key("humidity");
  Number(w, s.humidity);
  w.Key("pressure");
  Number(w, s.pressure);
  w.Key("frequency");
  Text(w, s.qrg);
}

void Frame(JsonWriter& w, const StationSnapshot& snap) {
  if (!snap.frame) {
    w.Null();
    return;
  }
  w.StartObject();
  FrameFields(w, *snap.frame, snap.frameUtcMs, snap.nowUtcMs);
  w.EndObject();
}

void Track(JsonWriter& w, const std::deque<TrackPoint>& track) {
  w.StartArray();
  for (const TrackPoint& p : track) {
    w.StartObject();
    w.Key("time");
    Time(w, p.utcMs);
    w.Key("latitude");
    Number(w, p.latitude);
    w.Key("longitude");
    Number(w, p.longitude);
    w.Key("altitude");
    Number(w, p.altitude);
    w.EndObject();
  }
  w.EndArray();
}

// One sonde of "sondes": its frame as "sonde" carries one, the type the station knows it by
// (null for a kind it does not know), whether it is the one followed, and its own track.
void HeardEntry(JsonWriter& w, const SondeSample& s, std::int64_t receivedUtcMs,
                const std::deque<TrackPoint>& track, bool followed, std::int64_t nowUtcMs) {
  w.StartObject();
  FrameFields(w, s, receivedUtcMs, nowUtcMs);
  w.Key("type");
  if (const auto kind = SondeKindOf(s.kind, s.serial)) {
    Text(w, kind->type);
  } else {
    w.Null();
  }
  w.Key("followed");
  w.Bool(followed);
  w.Key("track");
  Track(w, track);
  w.EndObject();
}

// The followed sonde first, then the others of the list in the order first heard. Without a
// list (or before the followed sonde is on it) the followed one is the cycle's frame and track.
void Sondes(JsonWriter& w, const StationSnapshot& snap) {
  w.StartArray();
  const ListedSonde* followed = nullptr;
  if (snap.frame) {
    for (const ListedSonde& h : snap.heard) {
      if (h.frame.serial == snap.frame->serial) followed = &h;
    }
    if (followed) {
      HeardEntry(w, followed->frame, followed->heardUtcMs, followed->track, true, snap.nowUtcMs);
    } else {
      HeardEntry(w, *snap.frame, snap.frameUtcMs, snap.track, true, snap.nowUtcMs);
    }
  }
  for (const ListedSonde& h : snap.heard) {
    if (&h == followed) continue;
    HeardEntry(w, h.frame, h.heardUtcMs, h.track, false, snap.nowUtcMs);
  }
  w.EndArray();
}

void Destination(JsonWriter& w, const DestinationStatus& d) {
  w.StartObject();
  w.Key("primary");
  w.Bool(d.primary);
  w.Key("kind");
  Text(w, d.kind);
  w.Key("name");
  Text(w, d.name);
  w.Key("state");
  w.String(StateName(d.state));
  w.Key("stateText");
  Text(w, d.stateText);
  w.Key("since");
  TimeOrNull(w, d.sinceUtcMs);
  w.Key("sent");
  w.Uint64(d.sent);
  w.Key("failed");
  w.Uint64(d.failed);
  w.Key("lastSuccess");
  TimeOrNull(w, d.lastSuccessUtcMs);
  w.Key("lastMessage");
  Text(w, d.lastMessage);
  w.EndObject();
}

void StampedList(JsonWriter& w, const std::deque<StampedText>& list, const char* name) {
  w.StartArray();
  for (const StampedText& item : list) {
    w.StartObject();
    w.Key("time");
    Time(w, item.utcMs);
    w.Key(name);
    Text(w, item.text);
    w.EndObject();
  }
  w.EndArray();
}

}  // namespace

std::string ValidUtf8(std::string_view text) {
  // A copy that ends in NUL: RapidJSON's reading of one code point stops there at the latest.
  const std::string source(text);
  std::string out;
  out.reserve(source.size());
  std::size_t i = 0;
  while (i < source.size()) {
    // RapidJSON's own check of one code point, which also refuses overlong forms and
    // surrogates.
    rapidjson::StringStream in(source.c_str() + i);
    rapidjson::StringBuffer one;
    const bool valid = rapidjson::UTF8<>::Validate(in, one);
    const std::size_t length = in.Tell();
    if (valid && length > 0 && i + length <= source.size()) {
      out.append(source, i, length);
      i += length;
    } else {
      out.append("\xEF\xBF\xBD");  // U+FFFD for the first byte; the next starts anew
      ++i;
    }
  }
  return out;
}

const char* StateName(DestinationStatus::State state) {
  switch (state) {
    case DestinationStatus::State::kOff:
      return "off";
    case DestinationStatus::State::kConnecting:
      return "connecting";
    case DestinationStatus::State::kUp:
      return "up";
    case DestinationStatus::State::kFailing:
      return "failing";
    case DestinationStatus::State::kDown:
      return "down";
  }
  return "off";
}

std::string StatusJson(const StationSnapshot& snap) {
  rapidjson::StringBuffer buffer;
  JsonWriter w(buffer);
  w.StartObject();
  w.Key("station");
  w.StartObject();
  w.Key("callsign");
  Text(w, snap.callsign);
  w.Key("version");
  Text(w, snap.version);
  w.Key("started");
  Time(w, snap.startUtcMs);
  w.Key("uptimeSeconds");
  w.Int64(WholeSeconds(snap.nowUtcMs - snap.startUtcMs));
  w.Key("now");
  Time(w, snap.nowUtcMs);
  w.Key("decoderAnswers");
  w.Bool(snap.decoderAnswers);
  w.EndObject();

  w.Key("sonde");
  Frame(w, snap);

  w.Key("track");
  Track(w, snap.track);

  w.Key("sondes");
  Sondes(w, snap);

  w.Key("destinations");
  w.StartArray();
  for (const DestinationStatus& d : snap.destinations) Destination(w, d);
  w.EndArray();

  w.Key("linesSent");
  StampedList(w, snap.linesSent, "line");
  w.Key("records");
  StampedList(w, snap.records, "record");
  w.EndObject();
  return buffer.GetString();
}

}  // namespace nimbrix
