#include "app/link_view.h"

#include "uplink/error_records.h"
#include "uplink/server_entry.h"

namespace nimbrix {

std::string LinkView::Record(std::string record) {
  files_.Append(kErrorLogPath, record);
  return record;
}

void LinkView::Trying(int index, const std::string& entry) {
  view_.Trying(index, entry);
}

void LinkView::OpenFailed(const std::string& host) {
  view_.OpenFailed(Record(OpenErrorRecord(clock_.Now(), host)));
}

void LinkView::Connected(int index, const std::string& entry) {
  view_.Connected(index, entry);
}

void LinkView::NoServerReachable() {
  view_.NoServerReachable();
}

bool LinkView::QuitWanted() {
  return console_.PollKey() == kKeyEscape;
}

void LinkView::SendFailed(int error, std::string_view line) {
  view_.SendFailed(Record(SendErrorRecord(clock_.Now(), error, line)));
}

void LinkView::ShowLoginVerdict(const LoginVerdict& verdict) {
  std::string record;
  if (verdict.kind == LoginVerdict::Kind::kUnverified ||
      verdict.kind == LoginVerdict::Kind::kNoAnswer) {
    const std::string& entry = servers_.sSERVER.at(servers_.nCURSERVER);
    record =
        Record(LoginErrorRecord(clock_.Now(), SplitServerEntry(entry).host, verdict.serverLine));
  }
  view_.LoginAnswer(verdict, record);
}

}  // namespace nimbrix
