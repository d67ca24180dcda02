#include "uplink/connection.h"

#include <algorithm>
#include <utility>

#include "platform/system.h"

namespace nimbrix {

namespace {

// What one look at the server's text may take: a chatty server cannot hold a send up.
constexpr int kDrainReads = 16;
constexpr std::size_t kDrainBuffer = 4096;

// The error number of a send that the socket ended with `status`.
int SendError(SocketStatus status) {
  switch (status) {
    case SocketStatus::kTimedOut:
      return kSendTimedOut;
    case SocketStatus::kUnacknowledged:
      return kSendLinkDead;
    case SocketStatus::kInProgress:
      return kSendInProgress;
    default:
      return kSendNetworkError;
  }
}

}  // namespace

bool Connection::Open(const std::string& host, int port) {
  if (IsOpen() || port <= 0 || port > 65535) return false;
  if (host.empty() || host.find('\0') != std::string::npos) return false;

  SocketStatus status = socket_.StartConnect(host, port);
  if (status == SocketStatus::kWouldBlock) {
    status = WaitWritableUntil(clock_.MonotonicMs() + limits_.connectMs);
    if (status == SocketStatus::kDone) status = socket_.FinishConnect();
  }
  if (status != SocketStatus::kDone) {
    socket_.Close();
    return false;
  }
  // Where the system cannot do it, the silence watch is left to find a dead link.
  socket_.LimitUnacknowledged(limits_.unacknowledgedMs);
  return true;
}

SocketStatus Connection::WaitWritableUntil(std::int64_t deadlineMs) {
  for (;;) {
    const std::int64_t left = std::max<std::int64_t>(deadlineMs - clock_.MonotonicMs(), 0);
    const SocketStatus status = socket_.WaitWritable(static_cast<int>(left));
    if (status != SocketStatus::kInterrupted || (stopping_ && stopping_())) return status;
  }
}

int Connection::Fail(LinkFault fault, int error) {
  fault_ = fault;
  faultError_ = error;
  return error;
}

int Connection::FailedSend(SocketStatus status) {
  if (status == SocketStatus::kUnacknowledged)
    return Fail(LinkFault::kUnacknowledged, kSendLinkDead);
  return SendError(status);
}

int Connection::ReadIncoming() {
  if (fault_ != LinkFault::kNone) return faultError_;
  char buffer[kDrainBuffer];
  for (int i = 0; i < kDrainReads; ++i) {
    const SocketResult got = socket_.Receive(buffer, sizeof buffer);
    switch (got.status) {
      case SocketStatus::kDone:
        incoming_.Keep(std::string_view(buffer, got.bytes));
        heard_ = true;
        lastHeardMs_ = clock_.MonotonicMs();
        continue;
      case SocketStatus::kInterrupted:
        continue;
      case SocketStatus::kWouldBlock:
        return 0;
      case SocketStatus::kEndOfStream:
        return Fail(LinkFault::kClosed, kSendNetworkError);
      case SocketStatus::kUnacknowledged:
        return Fail(LinkFault::kUnacknowledged, kSendLinkDead);
      default:
        return Fail(LinkFault::kNetworkError, SendError(got.status));
    }
  }
  return 0;
}

int Connection::Send(std::string_view bytes) {
  if (!IsOpen()) return kSendNotConnected;
  if (const int error = ReadIncoming(); error != 0) return error;

  std::size_t done = 0;
  while (done < bytes.size()) {
    // Wait for room, at most the send time-out per portion.
    const SocketStatus room = WaitWritableUntil(clock_.MonotonicMs() + limits_.sendMs);
    if (room != SocketStatus::kDone) return FailedSend(room);
    // Take what fits now and wait again for the rest.
    const SocketResult sent = socket_.Send(bytes.substr(done));
    switch (sent.status) {
      case SocketStatus::kDone:
        if (sent.bytes == 0) return kSendNetworkError;  // no progress on a writable socket
        done += sent.bytes;
        break;
      case SocketStatus::kInterrupted:
      case SocketStatus::kWouldBlock:
        break;
      default:
        return FailedSend(sent.status);
    }
  }
  return 0;
}

std::string Connection::TakeReceived() {
  if (IsOpen()) ReadIncoming();
  return incoming_.Take();
}

LinkFault Connection::CheckAlive() {
  if (!IsOpen()) return LinkFault::kNone;
  ReadIncoming();
  if (fault_ == LinkFault::kNone && heard_ &&
      clock_.MonotonicMs() - lastHeardMs_ >= limits_.silenceMs) {
    Fail(LinkFault::kSilent, kSendLinkDead);
  }
  return fault_;
}

void Connection::Close() {
  socket_.Close();
  incoming_.Clear();
  fault_ = LinkFault::kNone;
  faultError_ = 0;
  heard_ = false;
}

SystemConnection::SystemConnection(Clock& clock, LinkLimits limits, StopCheck stopping)
    : OwnedSocket{MakeSystemTcpSocket()}, Connection(*socket, clock, limits, std::move(stopping)) {}

}  // namespace nimbrix
