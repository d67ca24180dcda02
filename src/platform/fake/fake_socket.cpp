#include "platform/fake/fake_socket.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace nimbrix::fake {

SocketStatus FakeTcpSocket::StartConnectTo(std::uint32_t address, int port) {
  return StartConnect(DottedAddress(address), port);
}

void FakeTcpSocket::CatchUp() {
  const std::int64_t now = clock_.MonotonicMs();
  if (state_ == State::kConnecting && connectLeftMs_ != kNever && now > seenMs_) {
    connectLeftMs_ = static_cast<int>(std::max<std::int64_t>(connectLeftMs_ - (now - seenMs_), 0));
    if (connectLeftMs_ == 0) state_ = State::kOpen;
  }
  seenMs_ = now;
}

SocketStatus FakeTcpSocket::StartConnect(const std::string& host, int port) {
  ++connects;
  seenMs_ = clock_.MonotonicMs();
  target_ = host + ":" + std::to_string(port);
  if (journal_) journal_->Add("socket connect " + target_);
  if (state_ != State::kClosed) return SocketStatus::kFailed;
  const auto server = servers.find(target_);
  if (server == servers.end()) return SocketStatus::kFailed;
  unacknowledgedLimitMs = 0;
  arrived.clear();
  if (auto text = serverText.find(target_); text != serverText.end()) arrived = text->second;
  if (server->second == 0) {
    state_ = State::kOpen;
    return SocketStatus::kDone;
  }
  state_ = State::kConnecting;
  connectLeftMs_ = server->second;
  return SocketStatus::kWouldBlock;
}

SocketStatus FakeTcpSocket::FinishConnect() {
  return state_ == State::kOpen ? SocketStatus::kDone : SocketStatus::kFailed;
}

SocketStatus FakeTcpSocket::WaitWritable(int timeoutMs) {
  CatchUp();
  waits.push_back(timeoutMs);
  if (!waitResults.empty()) {
    const SocketStatus status = waitResults.front();
    waitResults.pop_front();
    return status;
  }
  if (!interruptAfterMs.empty()) {
    Pass(interruptAfterMs.front());
    if (state_ == State::kConnecting && connectLeftMs_ != kNever) {
      connectLeftMs_ = std::max(connectLeftMs_ - interruptAfterMs.front(), 1);
    }
    interruptAfterMs.pop_front();
    return SocketStatus::kInterrupted;
  }
  const int readyAfter = state_ == State::kConnecting ? connectLeftMs_ : writableAfterMs;
  if (readyAfter == kNever || readyAfter > timeoutMs) {
    Pass(timeoutMs);
    if (state_ == State::kConnecting && connectLeftMs_ != kNever) connectLeftMs_ -= timeoutMs;
    return SocketStatus::kTimedOut;
  }
  Pass(readyAfter);
  if (state_ == State::kConnecting) state_ = State::kOpen;
  return SocketStatus::kDone;
}

SocketResult FakeTcpSocket::Send(std::string_view bytes) {
  SocketStatus status = SocketStatus::kDone;
  if (!sendResults.empty()) {
    status = sendResults.front();
    sendResults.pop_front();
  }
  if (status != SocketStatus::kDone) return {status};
  if (capacity == 0 && !bytes.empty()) return {SocketStatus::kWouldBlock};
  const std::size_t taken = std::min({bytes.size(), room, capacity});
  if (capacity != std::numeric_limits<std::size_t>::max()) capacity -= taken;
  sent += bytes.substr(0, taken);
  if (journal_) journal_->Add("socket send " + Printable(bytes.substr(0, taken)));
  return {SocketStatus::kDone, taken};
}

SocketResult FakeTcpSocket::Receive(char* buffer, std::size_t room) {
  if (arrived.empty()) return {afterArrived};
  std::string& piece = arrived.front();
  const std::size_t taken = std::min(piece.size(), room);
  std::copy_n(piece.begin(), taken, buffer);
  piece.erase(0, taken);
  if (piece.empty()) arrived.pop_front();
  return {SocketStatus::kDone, taken};
}

bool FakeTcpSocket::LimitUnacknowledged(int ms) {
  if (canLimit) unacknowledgedLimitMs = ms;
  return canLimit;
}

void FakeTcpSocket::Close() {
  if (state_ == State::kClosed) return;
  if (journal_) journal_->Add("socket close");
  state_ = State::kClosed;
  arrived.clear();
  afterArrived = SocketStatus::kWouldBlock;
}

std::string DottedAddress(std::uint32_t address) {
  const auto* b = reinterpret_cast<const unsigned char*>(&address);
  return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." +
         std::to_string(b[3]);
}

std::uint32_t AddressOf(const std::string& dotted) {
  unsigned int parts[4] = {};
  char end = 0;
  if (std::sscanf(dotted.c_str(), "%u.%u.%u.%u%c", &parts[0], &parts[1], &parts[2], &parts[3],
                  &end) != 4) {
    return 0;
  }
  std::uint32_t address = 0;
  auto* b = reinterpret_cast<unsigned char*>(&address);
  for (int i = 0; i < 4; ++i) b[i] = static_cast<unsigned char>(parts[i]);
  return address;
}

namespace {

class FakeLookup : public PendingLookup {
 public:
  FakeLookup(FakeClock& clock, std::int64_t readyAtMs, std::string address)
      : clock_(clock), readyAtMs_(readyAtMs), address_(std::move(address)) {}
  LookupResult Poll() override {
    if (readyAtMs_ < 0 || clock_.MonotonicMs() < readyAtMs_) return {};
    if (address_.empty()) return {LookupResult::State::kFailed, 0};
    return {LookupResult::State::kFound, AddressOf(address_)};
  }

 private:
  FakeClock& clock_;
  std::int64_t readyAtMs_;
  std::string address_;
};

}  // namespace

std::unique_ptr<PendingLookup> FakeNameResolver::Start(const std::string& host) {
  started.push_back(host);
  Answer answer{0, host};
  if (const auto found = answers.find(host); found != answers.end()) answer = found->second;
  const std::int64_t readyAt =
      answer.afterMs == kNever ? -1 : clock_.MonotonicMs() + answer.afterMs;
  return std::make_unique<FakeLookup>(clock_, readyAt, answer.address);
}

SocketStatus FakeUdpSocket::SendTo(std::uint32_t address, int port, std::string_view datagram) {
  if (!open_) return SocketStatus::kFailed;
  SocketStatus status = SocketStatus::kDone;
  if (!sendResults.empty()) {
    status = sendResults.front();
    sendResults.pop_front();
  }
  if (status == SocketStatus::kDone) {
    sent.push_back({DottedAddress(address) + ":" + std::to_string(port), std::string(datagram)});
  }
  return status;
}

}  // namespace nimbrix::fake
