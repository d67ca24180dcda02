#include "platform/fake/fake_socket.h"

#include <algorithm>

namespace nimbrix::fake {

SocketStatus FakeTcpSocket::StartConnect(const std::string& host, int port) {
  ++connects;
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
  const std::size_t taken = std::min(bytes.size(), room);
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

}  // namespace nimbrix::fake
