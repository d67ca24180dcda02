#include "app/primary_link_status.h"

#include <utility>

namespace nimbrix {

using State = DestinationStatus::State;

void PrimaryLinkStatus::Enter(State state, std::string text, std::int64_t utcMs) {
  if (status_.state == state && status_.stateText == text) return;
  status_.state = state;
  status_.stateText = std::move(text);
  status_.sinceUtcMs = utcMs;
}

void PrimaryLinkStatus::Trying(const std::string& entry, std::int64_t utcMs) {
  status_.name = entry;
  Enter(State::kConnecting, "connecting", utcMs);
}

void PrimaryLinkStatus::Connected(const std::string& entry, std::int64_t utcMs) {
  status_.name = entry;
  status_.lastMessage.clear();
  Enter(State::kUp, "connected", utcMs);
}

void PrimaryLinkStatus::Failed(const std::string& why, std::int64_t utcMs) {
  Enter(State::kFailing, why, utcMs);
}

void PrimaryLinkStatus::Login(const LoginVerdict& verdict, std::int64_t utcMs) {
  switch (verdict.kind) {
    case LoginVerdict::Kind::kPending:
      return;
    case LoginVerdict::Kind::kVerified:
      status_.lastMessage = verdict.serverLine;
      Enter(State::kUp, "login verified", utcMs);
      return;
    case LoginVerdict::Kind::kUnverified:
      status_.lastMessage = verdict.serverLine;
      Enter(State::kFailing, "login not verified: reports are dropped", utcMs);
      return;
    case LoginVerdict::Kind::kNoAnswer:
      Enter(State::kFailing, "no answer to the login", utcMs);
      return;
  }
}

void PrimaryLinkStatus::LineSent(std::int64_t utcMs) {
  ++status_.sent;
  status_.lastSuccessUtcMs = utcMs;
}

void PrimaryLinkStatus::LineLost() {
  ++status_.failed;
}

void PrimaryLinkStatus::Tell(const LinkEvent& event, std::int64_t utcMs) {
  switch (event.kind) {
    case LinkEvent::Kind::kTrying:
      return Trying(event.entry, utcMs);
    case LinkEvent::Kind::kOpenFailed:
      return Failed("cannot connect", utcMs);
    case LinkEvent::Kind::kConnected:
      return Connected(event.entry, utcMs);
    case LinkEvent::Kind::kNoServer:
      return Failed("no server available", utcMs);
    case LinkEvent::Kind::kSendFailed:
      return Failed("send error " + std::to_string(event.error), utcMs);
    case LinkEvent::Kind::kLoginAnswer:
      return Login(event.verdict, utcMs);
    case LinkEvent::Kind::kDead:
      return Failed("lost: " + event.dead.reason, utcMs);
  }
}

}  // namespace nimbrix
