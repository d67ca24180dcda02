#include "uplink/uplink.h"

#include <algorithm>

#include "format/clock_text.h"
#include "format/number_text.h"
#include "format/safe_text.h"
#include "platform/program_end.h"
#include "uplink/server_entry.h"

namespace nimbrix {

namespace {

constexpr int kStatusRow = 24;
constexpr int kAttemptPauseMs = 1000;
constexpr int kFailedPassPauseMs = 5000;

std::string Timestamp(Clock& clock) {
  const LocalTime now = clock.Now();  // one reading, so date and time agree across midnight
  return DateText(now) + " - " + ClockText(now);
}

// Entries come from the configuration file: nothing in them may reach the terminal as a
// control sequence.
void ShowOnStatusRow(Console& console, std::string_view text) {
  console.MoveTo(kStatusRow, 1);
  console.Write(MaskControlBytes(text));
}

// The login line is built from configured texts; whatever they hold, it goes out as one line.
std::string OneLine(std::string_view text) {
  if (text.size() >= 2 && text.substr(text.size() - 2) == "\r\n") {
    text.remove_suffix(2);
  }
  return StripControlBytes(text) + "\r\n";
}

// One attempt on entry `index`; true when the connection is open and logged in.
bool TryEntry(Uplink& uplink, int index) {
  const std::string& entry = uplink.servers.sSERVER[index];
  const ServerEntry target = SplitServerEntry(entry);

  ShowOnStatusRow(uplink.console, "Trying " + entry + std::string(28, ' '));
  uplink.console.LineBreak();

  const bool opened = uplink.tcp.Open(target.host, target.port);
  uplink.clock.SleepMs(kAttemptPauseMs);
  if (!opened) {
    // Also ends a connection still open from before a failed send.
    uplink.tcp.Close();
    uplink.files.Append(kErrorLogPath, "OPEN Error @" + Timestamp(uplink.clock) + " -> " +
                                           StripControlBytes(target.host) + "\r\n");
    return false;
  }

  uplink.servers.nCURSERVER = static_cast<std::int16_t>(index);
  uplink.tcp.Send(OneLine(uplink.loginLine));  // a broken connection shows at the next send
  uplink.loginWatch.Start(StripControlBytes(uplink.callsign), uplink.clock.MonotonicMs());
  ShowOnStatusRow(uplink.console, "Using #" +
                                      ConsoleNumber(std::int64_t{uplink.servers.nCURSERVER}, 7) +
                                      "=> " + entry + std::string(35, ' '));
  return true;
}

}  // namespace

std::int16_t ConnectServers(Uplink& uplink) {
  ServerList& servers = uplink.servers;
  const int count = std::min<int>(servers.nSERVERS, ServerList::kMaxServers);
  if (servers.nCURSERVER > count || count < 1) return 0;
  const int first = std::max<int>(servers.nCURSERVER, 1);

  for (;;) {
    // Every entry once, from the one in use round to the one before it, so a server that
    // failed earlier in the run is tried again.
    for (int step = 0; step < count; ++step) {
      const int index = (first - 1 + step) % count + 1;
      if (TryEntry(uplink, index)) return 0;
    }
    ShowOnStatusRow(uplink.console,
                    "No servers available. Press ESC to quit or wait to try again...     ");
    uplink.clock.SleepMs(kFailedPassPauseMs);
    if (uplink.console.PollKey() == kKeyEscape) throw ProgramEnd{0};
  }
}

namespace {

void LogSendError(Uplink& uplink, int error, std::string_view line) {
  std::string record =
      "SEND Error" + ConsoleNumber(std::int64_t{error}, 15) + Timestamp(uplink.clock) + " -> ";
  record += line;
  record += "\r\n";
  uplink.files.Append(kErrorLogPath, record);
}

}  // namespace

void WatchLoginAnswer(Uplink& uplink) {
  if (!uplink.loginWatch.Active()) return;  // nothing more is looked at until the next login
  const LoginVerdict verdict =
      uplink.loginWatch.Feed(uplink.tcp.TakeReceived(), uplink.clock.MonotonicMs());
  switch (verdict.kind) {
    case LoginVerdict::Kind::kPending:
      return;
    case LoginVerdict::Kind::kVerified:
      if (uplink.loginWarningShown) {
        uplink.console.MoveTo(kLoginWarningRow, 1);
        uplink.console.Write(std::string(std::string_view(kLoginWarning).size(), ' '));
        uplink.loginWarningShown = false;
      }
      return;
    case LoginVerdict::Kind::kUnverified:
    case LoginVerdict::Kind::kNoAnswer:
      break;
  }
  const std::string& entry = uplink.servers.sSERVER.at(uplink.servers.nCURSERVER);
  uplink.files.Append(kErrorLogPath, "LOGIN Error @" + Timestamp(uplink.clock) + " -> " +
                                         StripControlBytes(SplitServerEntry(entry).host) + ": " +
                                         StripControlBytes(verdict.serverLine) + "\r\n");
  uplink.console.MoveTo(kLoginWarningRow, 1);
  uplink.console.SetColor(kColorLightRed);
  uplink.console.Write(kLoginWarning);
  uplink.console.SetColor(kColorNormal);
  uplink.loginWarningShown = true;
}

void SendLine(Uplink& uplink, std::string_view line) {
  int error = uplink.tcp.Send(line);
  if (error == 0) return;
  LogSendError(uplink, error, line);
  // The old connection is still open: the first attempt fails on it and closes it.
  ConnectServers(uplink);
  error = uplink.tcp.Send(line);
  if (error != 0) LogSendError(uplink, error, line);
}

}  // namespace nimbrix
