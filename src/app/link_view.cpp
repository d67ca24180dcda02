#include "app/link_view.h"

#include <cstdint>

#include "format/number_text.h"
#include "uplink/error_records.h"
#include "uplink/server_entry.h"

namespace nimbrix {

std::string ServerInUseLine(int index, const std::string& entry) {
  return "Using #" + ConsoleNumber(std::int64_t{index}, 7) + "=> " + entry + std::string(35, ' ');
}

std::string DeadLinkLine(const DeadLink& dead) {
  return "Lost #" + ConsoleNumber(std::int64_t{dead.index}, 7) + "=> " + dead.entry + " (" +
         dead.reason + ")";
}

void LinkView::Record(const std::string& record) {
  files_.Append(kErrorLogPath, record);
}

void LinkView::Trying(const std::string& entry) {
  screen_.ShowConnection("Trying " + entry + std::string(28, ' '), true);
}

void LinkView::OpenFailed(const std::string& host) {
  Record(OpenErrorRecord(clock_.Now(), host));
}

void LinkView::Connected(int index, const std::string& entry) {
  screen_.ShowConnection(ServerInUseLine(index, entry));
}

void LinkView::NoServerReachable() {
  screen_.ShowConnection("No servers available. Press ESC to quit or wait to try again...     ");
}

bool LinkView::QuitWanted() {
  return console_.PollKey() == kKeyEscape;
}

void LinkView::SendFailed(int error, std::string_view line) {
  Record(SendErrorRecord(clock_.Now(), error, line));
}

void LinkView::LinkDead(const DeadLink& dead) {
  screen_.ShowConnection(DeadLinkLine(dead));
}

void LinkView::ShowLoginVerdict(const LoginVerdict& verdict) {
  switch (verdict.kind) {
    case LoginVerdict::Kind::kPending:
      return;
    case LoginVerdict::Kind::kVerified:
      if (screen_.LoginWarningShown()) screen_.ShowLoginWarning(false);
      return;
    case LoginVerdict::Kind::kUnverified:
    case LoginVerdict::Kind::kNoAnswer:
      break;
  }
  const std::string& entry = servers_.sSERVER.at(servers_.nCURSERVER);
  Record(LoginErrorRecord(clock_.Now(), SplitServerEntry(entry).host, verdict.serverLine));
  screen_.ShowLoginWarning(true);
}

}  // namespace nimbrix
