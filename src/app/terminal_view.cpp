#include "app/terminal_view.h"

#include <cstdint>

#include "app/dashboard.h"
#include "app/destination_rows.h"
#include "format/clock_text.h"
#include "format/exact_texts.h"
#include "format/number_text.h"
#include "format/safe_text.h"

namespace nimbrix {

std::string ServerInUseLine(int index, const std::string& entry) {
  return "Using #" + ConsoleNumber(std::int64_t{index}, 7) + "=> " + entry + std::string(35, ' ');
}

std::string DeadLinkLine(const DeadLink& dead) {
  return "Lost #" + ConsoleNumber(std::int64_t{dead.index}, 7) + "=> " + dead.entry + " (" +
         dead.reason + ")";
}

void TerminalView::StartupLine(const std::string& text) {
  console_.Write(MaskControlBytes(text));
  console_.LineBreak();
}

void TerminalView::UpdateVerdict(const VersionVerdict& verdict, const std::string& downloadPage) {
  switch (verdict.kind) {
    case VersionVerdict::Kind::kUnknown:
      StartupLine(exact::kCouldNotCheck);
      return;
    case VersionVerdict::Kind::kCurrent:
      StartupLine(exact::kMostRecentVersion);
      return;
    case VersionVerdict::Kind::kNewer:
      // Yellow until start-up clears the screen for the dashboard.
      console_.SetColor(kColorYellow);
      StartupLine(exact::VersionAvailable(verdict.offered, downloadPage));
      console_.LineBreak();
      return;
  }
}

void TerminalView::DecoderNotFound() {
  console_.LineBreak();
  console_.SetColor(kColorLightRed);
  StartupLine(exact::kDecoderNotFound);
}

void TerminalView::Connecting() {
  screen_.ShowConnection(exact::kConnecting, true);
}

void TerminalView::ServerInUse(int index, const std::string& entry) {
  screen_.ShowConnection(ServerInUseLine(index, entry));
}

// Row 24 tells the primary link's events; the other destinations have row 17.
void TerminalView::Link(const LinkEvent& event, const std::string&) {
  if (!event.primary) return;
  switch (event.kind) {
    case LinkEvent::Kind::kTrying:
      return screen_.ShowConnection("Trying " + event.entry + std::string(28, ' '), true);
    case LinkEvent::Kind::kConnected:
      return screen_.ShowConnection(ServerInUseLine(event.index, event.entry));
    case LinkEvent::Kind::kNoServer:
      return screen_.ShowConnection(
          "No servers available. Press ESC to quit or wait to try again...     ");
    case LinkEvent::Kind::kLoginAnswer:
      return LoginAnswer(event.verdict);
    case LinkEvent::Kind::kDead:
      return screen_.ShowConnection(DeadLinkLine(event.dead));
    case LinkEvent::Kind::kOpenFailed:
    case LinkEvent::Kind::kSendFailed:
      return;  // the records are the error log's
  }
}

void TerminalView::LoginAnswer(const LoginVerdict& verdict) {
  switch (verdict.kind) {
    case LoginVerdict::Kind::kPending:
      return;
    case LoginVerdict::Kind::kVerified:
      if (screen_.LoginWarningShown()) screen_.ShowLoginWarning(false);
      return;
    case LoginVerdict::Kind::kUnverified:
    case LoginVerdict::Kind::kNoAnswer:
      screen_.ShowLoginWarning(true);
      return;
  }
}

void TerminalView::Dashboard(const SondeSample& sample, const std::string& user,
                             const LocalTime& now, std::int32_t cyclesSinceReport) {
  screen_.ShowDashboard(DashboardRows(sample, user));
  screen_.ShowStatusLines(LocalTimeRow(now), LastValidDataRow(cyclesSinceReport));
  followedSerial_ = sample.serial;
  screen_.ShowAlsoHeard(AlsoHeardRow(heard_, followedSerial_));
}

void TerminalView::SondesHeard(const std::vector<HeardSonde>& heard) {
  heard_ = heard;
  screen_.ShowAlsoHeard(AlsoHeardRow(heard_, followedSerial_));
}

// What the decoder heard is not known while it is gone.
void TerminalView::DecoderLost() {
  heard_.clear();
  screen_.ShowAlsoHeard({});
}

void TerminalView::ObjectMode(const std::string& lastObjectName) {
  screen_.ShowObjectMode(ObjectModeRow(lastObjectName));
}

void TerminalView::NoObjectName(const std::string& serial) {
  screen_.ShowNoObjectName(NoObjectNameRow(serial));
}

void TerminalView::Destinations(const std::vector<DestinationStatus>& statuses,
                                const ClockReading& now) {
  bool extras = false;
  for (const DestinationStatus& s : statuses) {
    if (s.primary) continue;
    if (s.kind == "SondeHub") {
      screen_.ShowDestinations(16, SondehubRow(s, now));
    } else {
      extras = true;
    }
  }
  if (extras) screen_.ShowDestinations(17, ExtrasRow(statuses, now));
}

void TerminalView::PositionReportDue(const LocalTime& at) {
  screen_.ShowLastTransmission("Last transmission: " + ClockText(at));
}

}  // namespace nimbrix
