#include "uplink/connection.h"

#include <algorithm>
#include <utility>

#include "platform/system.h"

namespace nimbrix {

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
    const std::int64_t now = clock_.MonotonicMs();
    const std::int64_t left = std::max<std::int64_t>(deadlineMs - now, 0);
    const std::int64_t piece = WaitPieceMs(waits_, now, left);
    const SocketStatus status = socket_.WaitWritable(static_cast<int>(piece));
    if (status == SocketStatus::kTimedOut && piece < left) {
      waits_->RunIfDue(clock_.MonotonicMs());
      continue;
    }
    if (status != SocketStatus::kInterrupted || (stopping_ && stopping_())) return status;
  }
}

int Connection::Send(std::string_view bytes) {
  if (!IsOpen()) return kSendNotConnected;
  if (const int error = watch_.Read(); error != 0) return error;

  std::size_t done = 0;
  while (done < bytes.size()) {
    // Wait for room, at most the send time-out per portion.
    const SocketStatus room = WaitWritableUntil(clock_.MonotonicMs() + limits_.sendMs);
    if (room != SocketStatus::kDone) return watch_.FailedSend(room);
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
        return watch_.FailedSend(sent.status);
    }
  }
  return 0;
}

std::string Connection::TakeReceived() {
  if (IsOpen()) watch_.Read();
  return watch_.Take();
}

LinkFault Connection::CheckAlive() {
  if (!IsOpen()) return LinkFault::kNone;
  return watch_.Check();
}

void Connection::Close() {
  socket_.Close();
  watch_.Reset();
}

SystemConnection::SystemConnection(Clock& clock, LinkLimits limits, StopCheck stopping,
                                   WaitWorkSlot* waits)
    : OwnedSocket{MakeSystemTcpSocket()},
      Connection(*socket, clock, limits, std::move(stopping), waits) {}

}  // namespace nimbrix
