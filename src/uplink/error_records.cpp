#include "uplink/error_records.h"

#include <cstdint>

#include "format/clock_text.h"
#include "format/number_text.h"
#include "format/safe_text.h"

namespace nimbrix {

namespace {

// One reading of the clock, so that date and time agree across midnight.
std::string Timestamp(const LocalTime& now) {
  return DateText(now) + " - " + ClockText(now);
}

}  // namespace

// Hosts and the server's words come from outside: each record stays one line.
std::string OpenErrorRecord(const LocalTime& now, std::string_view host) {
  return "OPEN Error @" + Timestamp(now) + " -> " + StripControlBytes(host) + "\r\n";
}

std::string SendErrorRecord(const LocalTime& now, int error, std::string_view line) {
  std::string record =
      "SEND Error" + ConsoleNumber(std::int64_t{error}, 15) + Timestamp(now) + " -> ";
  record += line;
  record += "\r\n";
  return record;
}

std::string LoginErrorRecord(const LocalTime& now, std::string_view host,
                             std::string_view serverLine) {
  return "LOGIN Error @" + Timestamp(now) + " -> " + StripControlBytes(host) + ": " +
         StripControlBytes(serverLine) + "\r\n";
}

}  // namespace nimbrix
