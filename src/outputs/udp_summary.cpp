#include "outputs/udp_summary.h"

#include <utility>

#include "outputs/payload_summary.h"

namespace nimbrix {

using State = DestinationStatus::State;

UdpSummary::UdpSummary(UdpSummarySetup setup, std::unique_ptr<UdpSocket> socket,
                       std::shared_ptr<NameResolver> resolver, Clock& clock)
    : setup_(std::move(setup)),
      socket_(std::move(socket)),
      resolver_(std::move(resolver)),
      clock_(clock) {
  status_.kind = "UDP";
  status_.name = setup_.entry;
  status_.sinceUtcMs = clock_.UtcMs();
  retryAtMs_ = clock_.MonotonicMs();
}

void UdpSummary::SetState(State state, const char* text) {
  if (status_.state != state || status_.stateText != text) status_.sinceUtcMs = clock_.UtcMs();
  status_.state = state;
  status_.stateText = text;
}

void UdpSummary::Failed(const char* why, std::int64_t nowMs) {
  lookup_.reset();  // a look-up that hangs finishes alone
  socket_->Close();
  retryAtMs_ = nowMs + retry_.Next();
  SetState(State::kFailing, why);
}

bool UdpSummary::Ready(std::int64_t nowMs) {
  if (resolved_ && socket_->IsOpen()) return true;
  if (!lookup_) {
    if (nowMs < retryAtMs_) return false;
    if (status_.state == State::kOff) SetState(State::kConnecting, "looking up");
    lookup_ = resolver_->Start(setup_.host);
    lookupStartMs_ = nowMs;
  }
  const LookupResult found = lookup_->Poll();
  if (found.state == LookupResult::State::kPending) {
    if (nowMs - lookupStartMs_ >= kLookupMs) Failed("name not found", nowMs);
    return false;
  }
  if (found.state == LookupResult::State::kFailed) {
    Failed("name not found", nowMs);
    return false;
  }
  lookup_.reset();
  if (!socket_->Open()) {
    Failed("no socket", nowMs);
    return false;
  }
  address_ = found.address;
  resolved_ = true;
  retry_.Reset();
  SetState(State::kUp, "sending");
  return true;
}

void UdpSummary::Cycle(const CycleFacts& facts) {
  if (stopped_) return;
  const std::int64_t nowMs = clock_.MonotonicMs();
  const bool ready = Ready(nowMs);
  if (ready) SendHeld(nowMs);
  ForEachNewFrame(facts, [&](const SondeSample& sample) {
    Summarise(sample, ready, facts.utcMs, facts.monotonicMs);
  });
}

void UdpSummary::Summarise(const SondeSample& sample, bool ready, std::int64_t utcMs,
                           std::int64_t readMs) {
  if (!HasSummaryPosition(sample, true)) return;
  if (ready) {
    Send(sample, utcMs);
    return;
  }
  // Kept until the address is known: only the newest frame of each sonde, and not for long.
  auto it = held_.find(sample.serial);
  if (it == held_.end() && held_.size() >= kHeldSondes) {
    status_.failed += held_.size();
    held_.clear();
  }
  if (it != held_.end()) ++status_.failed;  // the older one is missed
  held_[sample.serial] = {sample, utcMs, readMs};
}

void UdpSummary::SendHeld(std::int64_t nowMs) {
  for (const auto& [serial, held] : held_) {
    if (nowMs - held.monotonicMs <= kHeldFreshMs) {
      Send(held.sample, held.utcMs);
    } else {
      ++status_.failed;
    }
  }
  held_.clear();
}

void UdpSummary::Send(const SondeSample& sample, std::int64_t utcMs) {
  const std::string datagram = PayloadSummaryJson(sample, setup_.station, utcMs);
  const SocketStatus sent = socket_->SendTo(address_, setup_.port, datagram);
  if (sent == SocketStatus::kDone) {
    ++status_.sent;
    status_.lastSuccessUtcMs = clock_.UtcMs();
    if (status_.state != State::kUp) SetState(State::kUp, "sending");
    return;
  }
  ++status_.failed;
  // A network that is not there (yet) refuses; a full buffer only drops this one.
  if (sent == SocketStatus::kFailed) SetState(State::kFailing, "send refused");
}

void UdpSummary::Stop(std::int64_t deadlineMs) {
  (void)deadlineMs;
  status_.failed += held_.size();
  held_.clear();
  socket_->Close();
  lookup_.reset();
  stopped_ = true;
  SetState(State::kOff, "stopped");
}

}  // namespace nimbrix
