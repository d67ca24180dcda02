#include "app/destination_rows.h"

#include <chrono>

#include "format/clock_text.h"

namespace nimbrix {

namespace {

std::int64_t MillisecondsOf(const LocalTime& t) {
  using namespace std::chrono;
  const sys_days day = year_month_day{year{t.year}, month{static_cast<unsigned>(t.month)},
                                      std::chrono::day{static_cast<unsigned>(t.day)}};
  return duration_cast<milliseconds>(day.time_since_epoch()).count() +
         ((t.hour * 60 + t.minute) * 60 + t.second) * std::int64_t{1000} + t.millisecond;
}

std::string Fitted(std::string row) {
  if (row.size() > kDestinationRowWidth) row.resize(kDestinationRowWidth);
  return row;
}

}  // namespace

LocalTime LocalTimeAt(std::int64_t utcMs, const ClockReading& now) {
  using namespace std::chrono;
  const std::int64_t local = utcMs + (MillisecondsOf(now.local) - now.utcMs);
  const sys_time<milliseconds> at{milliseconds{local}};
  const sys_days day = floor<days>(at);
  const year_month_day ymd{day};
  const hh_mm_ss clock{at - day};
  return LocalTime{static_cast<int>(ymd.year()),
                   static_cast<int>(static_cast<unsigned>(ymd.month())),
                   static_cast<int>(static_cast<unsigned>(ymd.day())),
                   static_cast<int>(clock.hours().count()),
                   static_cast<int>(clock.minutes().count()),
                   static_cast<int>(clock.seconds().count()),
                   static_cast<int>(clock.subseconds().count())};
}

std::string SondehubRow(const DestinationStatus& status, const ClockReading& now) {
  std::string row = "SondeHub: " + std::to_string(status.sent) + " frames sent";
  if (status.failed != 0) row += ", " + std::to_string(status.failed) + " lost";
  if (status.lastSuccessUtcMs != 0) {
    row += ", last " + ClockText(LocalTimeAt(status.lastSuccessUtcMs, now));
  }
  row += " " + status.stateText;
  // While it fails, the server's own words say why.
  if (status.state != DestinationStatus::State::kUp && !status.lastMessage.empty()) {
    row += ": " + status.lastMessage;
  }
  return Fitted(row);
}

namespace {

// A destination's state in a few characters: "up", "conn", "down", "unver" (a server that did
// not verify the login drops every line), "off".
std::string ShortState(const DestinationStatus& s) {
  switch (s.state) {
    case DestinationStatus::State::kUp:
      return "up";
    case DestinationStatus::State::kConnecting:
      return "conn";
    case DestinationStatus::State::kFailing:
      return s.stateText == "login unverified" ? "unver" : "down";
    case DestinationStatus::State::kDown:
      return "down";
    case DestinationStatus::State::kOff:
      break;
  }
  return "off";
}

// Appended piece by piece: g++ 12 at -O3 sees a false overlap (-Wrestrict) in "(" + text.
void AppendMissed(std::string& row, const DestinationStatus& s) {
  if (s.failed == 0) return;
  row += '(';
  row += std::to_string(s.failed);
  row += " missed)";
}

}  // namespace

// "+APRS 1:up 2:down(3 missed) UDP:12 LOG:340": the extra APRS-IS destinations by their place
// in the configuration, the chase-car summary by the datagrams it sent, the flight log by the
// frames it wrote ("LOG:down" while it cannot write).
std::string ExtrasRow(const std::vector<DestinationStatus>& statuses, const ClockReading&) {
  std::string aprs;
  std::string udp;
  int number = 0;
  for (const DestinationStatus& s : statuses) {
    if (s.primary) continue;
    if (s.kind == "APRS-IS") {
      aprs += ' ';
      aprs += std::to_string(++number);
      aprs += ':';
      aprs += ShortState(s);
      AppendMissed(aprs, s);
    } else if (s.kind == "UDP") {
      const bool sending = s.state == DestinationStatus::State::kUp;
      udp += " UDP:";
      udp += sending ? std::to_string(s.sent) : ShortState(s);
      AppendMissed(udp, s);
    } else if (s.kind == "LOG") {
      udp += " LOG:";
      udp += s.state == DestinationStatus::State::kFailing ? "down" : std::to_string(s.sent);
    }
  }
  std::string row = aprs.empty() ? "" : "+APRS" + aprs;
  row += row.empty() && !udp.empty() ? udp.substr(1) : udp;
  return Fitted(row);
}

}  // namespace nimbrix
