#include "replay.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "decoder-service/time_text.h"

namespace sondesim {

using decoder::ParseTimeText;
using decoder::TimeText;

namespace {

std::vector<std::string_view> Split(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  for (;;) {
    size_t comma = line.find(',', start);
    fields.push_back(line.substr(start, comma == std::string_view::npos ? comma : comma - start));
    if (comma == std::string_view::npos) return fields;
    start = comma + 1;
  }
}

bool Number(std::string_view s, double& out) {
  std::string text(s);
  char* end = nullptr;
  out = std::strtod(text.c_str(), &end);
  return !text.empty() && end == text.c_str() + text.size();
}

}  // namespace

bool ParseFlightLog(std::string_view text, const std::string& type, std::vector<Telemetry>& rows,
                    std::string& error) {
  static const char* const kColumns[] = {"time",   "serial", "lat",      "lon",         "alt",
                                         "course", "speed",  "pressure", "temperature", "humidity",
                                         "climb",  "frame",  "qrg"};
  std::map<std::string, size_t> column;  // name -> field index
  std::vector<Telemetry> parsed;
  size_t lineNo = 0;
  while (!text.empty()) {
    ++lineNo;
    size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line[0] == '#') continue;
    const auto fields = Split(line);
    const std::string where = "line " + std::to_string(lineNo) + ": ";
    if (column.empty()) {
      for (size_t i = 0; i < fields.size(); ++i) column[std::string(fields[i])] = i;
      for (const char* name : kColumns) {
        if (!column.count(name)) {
          error = where + "the header has no column \"" + name + "\"";
          return false;
        }
      }
      continue;
    }
    if (fields.size() != column.size()) {
      error = where + std::to_string(fields.size()) + " fields, the header has " +
              std::to_string(column.size());
      return false;
    }
    auto field = [&](const char* name) { return fields[column[name]]; };
    Telemetry t;
    t.type = type;
    t.serial = std::string(field("serial"));
    t.qrg = std::string(field("qrg"));
    if (!ParseTimeText(std::string(field("time")), t.unixSeconds)) {
      error = where + "time is not \"YYYY-MM-DD hh:mm:ss\"";
      return false;
    }
    const std::pair<const char*, double*> numbers[] = {
        {"lat", &t.lat},
        {"lon", &t.lon},
        {"alt", &t.alt},
        {"course", &t.course},
        {"speed", &t.speedMs},
        {"pressure", &t.pressureHpa},
        {"temperature", &t.temperatureC},
        {"humidity", &t.humidity},
        {"climb", &t.climbMs},
    };
    for (const auto& [name, target] : numbers) {
      if (!Number(field(name), *target)) {
        error = where + name + " is not a number";
        return false;
      }
    }
    std::string_view frame = field("frame");
    auto [end, ec] = std::from_chars(frame.data(), frame.data() + frame.size(), t.frame);
    if (ec != std::errc() || end != frame.data() + frame.size()) {
      error = where + "frame is not a whole number";
      return false;
    }
    parsed.push_back(std::move(t));
  }
  if (parsed.empty()) {
    error = "no rows";
    return false;
  }
  rows = std::move(parsed);
  return true;
}

std::string FormatFlightLog(const std::vector<Telemetry>& rows) {
  std::string out = std::string(kFlightLogHeader) + "\n";
  for (const auto& t : rows) {
    char buf[512];
    std::snprintf(buf, sizeof buf, "%s,%s,%.6f,%.6f,%.1f,%.1f,%.2f,%.2f,%.2f,%.1f,%.2f,%lld,%s\n",
                  TimeText(t.unixSeconds).c_str(), t.serial.c_str(), t.lat, t.lon, t.alt, t.course,
                  t.speedMs, t.pressureHpa, t.temperatureC, t.humidity, t.climbMs,
                  static_cast<long long>(t.frame), t.qrg.c_str());
    out += buf;
  }
  return out;
}

}  // namespace sondesim
