#include "outputs/aprs_destination.h"

#include <utility>

#include "outputs/source_call.h"
#include "uplink/error_records.h"

namespace nimbrix {

using State = DestinationStatus::State;

AprsDestination::AprsDestination(AprsDestinationSetup setup, std::unique_ptr<TcpSocket> socket,
                                 std::shared_ptr<NameResolver> resolver, Clock& clock,
                                 AprsDestinationLimits limits)
    : setup_(std::move(setup)),
      socket_(std::move(socket)),
      resolver_(std::move(resolver)),
      clock_(clock),
      limits_(limits),
      watch_(*socket_, clock, limits.silenceMs),
      retry_(limits.firstRetryMs, limits.maxRetryMs) {
  status_.kind = "APRS-IS";
  status_.name = setup_.entry;
  status_.sinceUtcMs = clock_.UtcMs();
  retryAtMs_ = clock_.MonotonicMs();
}

AprsDestination::~AprsDestination() {
  socket_->Close();
}

void AprsDestination::SetState(State state, std::string text, std::string message) {
  if (status_.state != state || status_.stateText != text) status_.sinceUtcMs = clock_.UtcMs();
  status_.state = state;
  status_.stateText = std::move(text);
  if (!message.empty()) status_.lastMessage = std::move(message);
}

void AprsDestination::Cycle(const CycleFacts& facts) {
  if (phase_ == Phase::kStopped) return;
  const std::int64_t nowMs = clock_.MonotonicMs();
  Advance(nowMs);
  if (phase_ == Phase::kUp && !setup_.beaconLine.empty() && beacon_.Due(nowMs)) {
    Deliver(setup_.beaconLine, nowMs);
  }
  for (const std::string& line : facts.linesSent) {
    if (line != setup_.beaconLine) Deliver(line, nowMs);
  }
  if (phase_ == Phase::kUp) Flush(nowMs);
  if (deadError_ != 0) {
    // Found dead with no line to carry the record: it is written all the same.
    Record(SendErrorRecord(clock_.Now(), deadError_, ""));
    deadError_ = 0;
  }
}

void AprsDestination::Wait(std::int64_t nowMs) {
  phase_ = Phase::kWaiting;
  retryAtMs_ = nowMs + retry_.Next();
  probeAtMs_ = nowMs + limits_.probeEveryMs;
}

void AprsDestination::Probe(std::int64_t nowMs) {
  if (phase_ == Phase::kWaiting) {
    if (lastAddress_ == 0 || nowMs < probeAtMs_ || retryAtMs_ - nowMs < limits_.probeMs) return;
    probeAtMs_ = nowMs + limits_.probeEveryMs;
    const SocketStatus started = socket_->StartConnectTo(lastAddress_, setup_.port);
    if (started == SocketStatus::kDone) return Connected(nowMs);
    if (started != SocketStatus::kWouldBlock) return socket_->Close();
    phase_ = Phase::kProbing;
    phaseStartMs_ = nowMs;
    return;
  }
  const SocketStatus ready = socket_->WaitWritable(0);
  if (ready == SocketStatus::kDone && socket_->FinishConnect() == SocketStatus::kDone) {
    retry_.Reset();
    return Connected(nowMs);
  }
  if (ready == SocketStatus::kDone || ready == SocketStatus::kFailed ||
      ready == SocketStatus::kUnacknowledged || nowMs - phaseStartMs_ >= limits_.probeMs) {
    socket_->Close();  // not back yet: the back-off goes on as it was
    phase_ = Phase::kWaiting;
  }
}

void AprsDestination::Advance(std::int64_t nowMs) {
  if (phase_ == Phase::kWaiting || phase_ == Phase::kProbing) Probe(nowMs);
  if (phase_ == Phase::kProbing && nowMs >= retryAtMs_) {
    socket_->Close();
    phase_ = Phase::kWaiting;
  }
  if (phase_ == Phase::kWaiting && nowMs >= retryAtMs_) {
    if (status_.state == State::kOff) SetState(State::kConnecting, "connecting");
    lookup_ = resolver_->Start(setup_.host);
    phase_ = Phase::kResolving;
    phaseStartMs_ = nowMs;
  }
  if (phase_ == Phase::kResolving) {
    const LookupResult found = lookup_->Poll();
    if (found.state == LookupResult::State::kFound) {
      lookup_.reset();
      StartConnect(found.address, nowMs);
    } else if (found.state == LookupResult::State::kFailed) {
      lookup_.reset();
      ConnectFailed("name not found", nowMs);
    } else if (nowMs - phaseStartMs_ >= limits_.lookupMs) {
      lookup_.reset();  // its thread finishes alone
      ConnectFailed("name not found", nowMs);
    }
  }
  if (phase_ == Phase::kConnecting) {
    const SocketStatus ready = socket_->WaitWritable(0);
    if (ready == SocketStatus::kDone) {
      if (socket_->FinishConnect() == SocketStatus::kDone) {
        Connected(nowMs);
      } else {
        ConnectFailed("cannot connect", nowMs);
      }
    } else if (ready == SocketStatus::kFailed || ready == SocketStatus::kUnacknowledged ||
               nowMs - phaseStartMs_ >= limits_.connectMs) {
      ConnectFailed("cannot connect", nowMs);
    }
  }
  if (phase_ == Phase::kUp) {
    const LinkFault fault = watch_.Check();
    WatchLogin(nowMs);
    if (fault != LinkFault::kNone) {
      deadError_ = fault == LinkFault::kClosed || fault == LinkFault::kNetworkError
                       ? kSendNetworkError
                       : kSendLinkDead;
      Lost(0, "", std::string("connection lost: ") + LinkFaultText(fault), nowMs);
    }
  }
}

void AprsDestination::StartConnect(std::uint32_t address, std::int64_t nowMs) {
  lastAddress_ = address;
  const SocketStatus started = socket_->StartConnectTo(address, setup_.port);
  if (started == SocketStatus::kDone) {
    Connected(nowMs);
  } else if (started == SocketStatus::kWouldBlock) {
    phase_ = Phase::kConnecting;
    phaseStartMs_ = nowMs;
  } else {
    ConnectFailed("cannot connect", nowMs);
  }
}

void AprsDestination::Connected(std::int64_t nowMs) {
  socket_->LimitUnacknowledged(limits_.unacknowledgedMs);
  watch_.Reset();
  phase_ = Phase::kUp;
  phaseStartMs_ = nowMs;
  unsent_ = setup_.loginLine;
  login_.Start(setup_.loginCall, nowMs);
  SetState(State::kUp, "connected");
  Flush(nowMs);
}

void AprsDestination::ConnectFailed(const char* why, std::int64_t nowMs) {
  socket_->Close();
  Record(OpenErrorRecord(clock_.Now(), setup_.host));
  Wait(nowMs);
  // A destination that was lost keeps saying so while it cannot be reached again.
  if (status_.state != State::kFailing) SetState(State::kFailing, why);
}

void AprsDestination::Lost(int error, std::string_view line, const std::string& why,
                           std::int64_t nowMs) {
  if (error != 0) Record(SendErrorRecord(clock_.Now(), error, line));
  socket_->Close();
  watch_.Reset();
  login_ = LoginAnswerWatch{};
  unsent_.clear();
  if (nowMs - phaseStartMs_ >= limits_.steadyMs) retry_.Reset();
  Wait(nowMs);
  status_.lastMessage.clear();  // the words of a connection that is gone
  SetState(State::kFailing, why);
}

void AprsDestination::WatchLogin(std::int64_t nowMs) {
  const LoginVerdict verdict = login_.Feed(watch_.Take(), nowMs);
  switch (verdict.kind) {
    case LoginVerdict::Kind::kVerified:
      retry_.Reset();
      SetState(State::kUp, "login verified", verdict.serverLine);
      break;
    case LoginVerdict::Kind::kUnverified:
      Record(LoginErrorRecord(clock_.Now(), setup_.host, verdict.serverLine));
      SetState(State::kFailing, "login unverified", verdict.serverLine);
      break;
    case LoginVerdict::Kind::kNoAnswer:
      Record(LoginErrorRecord(clock_.Now(), setup_.host, verdict.serverLine));
      SetState(State::kUp, "no login answer", verdict.serverLine);
      break;
    case LoginVerdict::Kind::kPending:
      break;
  }
}

bool AprsDestination::Flush(std::int64_t nowMs) {
  while (!unsent_.empty()) {
    const SocketResult sent = socket_->Send(unsent_);
    if (sent.status == SocketStatus::kDone && sent.bytes > 0) {
      unsent_.erase(0, sent.bytes);
      continue;
    }
    if (sent.status == SocketStatus::kWouldBlock || sent.status == SocketStatus::kInterrupted) {
      return false;
    }
    const int error =
        sent.status == SocketStatus::kDone ? kSendNetworkError : watch_.FailedSend(sent.status);
    Lost(error, unsent_, "connection lost: send error " + std::to_string(error), nowMs);
    return false;
  }
  return true;
}

void AprsDestination::Deliver(std::string_view line, std::int64_t nowMs) {
  if (phase_ != Phase::kUp) {
    if (deadError_ != 0) {
      Record(SendErrorRecord(clock_.Now(), deadError_, line));
      deadError_ = 0;
    }
    ++status_.failed;  // missed while down: near-live, never kept for later
    return;
  }
  // The rest of an earlier line goes first; while it cannot, this line does not fit either.
  if (!Flush(nowMs)) {
    ++status_.failed;
    return;
  }
  const std::string text =
      setup_.ownCall ? WithSourceCall(line, setup_.loginCall) : std::string(line);
  const SocketResult sent = socket_->Send(text);
  if (sent.status == SocketStatus::kDone && sent.bytes > 0) {
    unsent_ = text.substr(sent.bytes);  // a part-sent line is finished before anything else
    ++status_.sent;
    status_.lastSuccessUtcMs = clock_.UtcMs();
    return;
  }
  ++status_.failed;
  if (sent.status == SocketStatus::kWouldBlock || sent.status == SocketStatus::kInterrupted) {
    return;  // no room now: dropped for this destination, never waited for
  }
  const int error =
      sent.status == SocketStatus::kDone ? kSendNetworkError : watch_.FailedSend(sent.status);
  Lost(error, text, "connection lost: send error " + std::to_string(error), nowMs);
}

std::vector<std::string> AprsDestination::TakeRecords() {
  return std::exchange(records_, {});
}

void AprsDestination::Stop(std::int64_t deadlineMs) {
  (void)deadlineMs;  // nothing here is kept for later: a part-sent line is all there is
  if (phase_ == Phase::kUp) Flush(clock_.MonotonicMs());
  socket_->Close();
  lookup_.reset();
  phase_ = Phase::kStopped;
  SetState(State::kOff, "stopped");
}

}  // namespace nimbrix
