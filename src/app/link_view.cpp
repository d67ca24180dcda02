#include "app/link_view.h"

#include "uplink/error_records.h"
#include "uplink/server_entry.h"

namespace nimbrix {

std::string LinkView::Record(std::string record) {
  files_.Append(kErrorLogPath, record);
  return record;
}

void LinkView::Trying(int index, const std::string& entry) {
  if (primary_) primary_->Trying(entry, clock_.UtcMs());
  view_.Trying(index, entry);
}

void LinkView::OpenFailed(const std::string& host) {
  if (primary_) primary_->Failed("cannot connect", clock_.UtcMs());
  view_.OpenFailed(Record(OpenErrorRecord(clock_.Now(), host)));
}

void LinkView::Connected(int index, const std::string& entry) {
  if (primary_) primary_->Connected(entry, clock_.UtcMs());
  view_.Connected(index, entry);
}

void LinkView::NoServerReachable() {
  if (primary_) primary_->Failed("no server available", clock_.UtcMs());
  view_.NoServerReachable();
}

bool LinkView::QuitWanted() {
  return console_.PollKey() == kKeyEscape;
}

void LinkView::SendFailed(int error, std::string_view line) {
  if (primary_) primary_->Failed("send error " + std::to_string(error), clock_.UtcMs());
  view_.SendFailed(Record(SendErrorRecord(clock_.Now(), error, line)));
}

void LinkView::LinkDead(const DeadLink& dead) {
  if (primary_) primary_->Failed("lost: " + dead.reason, clock_.UtcMs());
  view_.LinkDead(dead);
}

void LinkView::ShowLoginVerdict(const LoginVerdict& verdict) {
  std::string record;
  if (verdict.kind == LoginVerdict::Kind::kUnverified ||
      verdict.kind == LoginVerdict::Kind::kNoAnswer) {
    const std::string& entry = servers_.sSERVER.at(servers_.nCURSERVER);
    record =
        Record(LoginErrorRecord(clock_.Now(), SplitServerEntry(entry).host, verdict.serverLine));
  }
  if (primary_) primary_->Login(verdict, clock_.UtcMs());
  view_.LoginAnswer(verdict, record);
}

}  // namespace nimbrix
