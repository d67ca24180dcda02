#include "app/link_view.h"

#include "uplink/error_records.h"
#include "uplink/server_entry.h"

namespace nimbrix {

namespace {

bool LoginFailed(const LoginVerdict& verdict) {
  return verdict.kind == LoginVerdict::Kind::kUnverified ||
         verdict.kind == LoginVerdict::Kind::kNoAnswer;
}

}  // namespace

void LinkView::Tell(const LinkEvent& event) {
  std::string record;
  switch (event.kind) {
    case LinkEvent::Kind::kOpenFailed:
      record = log_.Write(OpenErrorRecord(clock_.Now(), event.host));
      break;
    case LinkEvent::Kind::kSendFailed:
      record = log_.Write(SendErrorRecord(clock_.Now(), event.error, event.line));
      break;
    case LinkEvent::Kind::kLoginAnswer:
      if (LoginFailed(event.verdict)) {
        record = log_.Write(LoginErrorRecord(clock_.Now(), event.host, event.verdict.serverLine));
      }
      break;
    default:
      break;
  }
  status_.Tell(event, clock_.UtcMs());
  view_.Link(event, record);
}

bool LinkView::QuitWanted() {
  return console_.PollKey() == kKeyEscape;
}

void LinkView::ShowLoginVerdict(const LoginVerdict& verdict) {
  const int index = servers_.nCURSERVER;
  const std::string& entry = servers_.sSERVER.at(index);
  LinkEvent event =
      EventOn(LinkEvent::Kind::kLoginAnswer, index, entry, SplitServerEntry(entry).host);
  event.verdict = verdict;
  Tell(event);
}

}  // namespace nimbrix
