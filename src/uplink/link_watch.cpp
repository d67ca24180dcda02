#include "uplink/link_watch.h"

#include <string_view>

namespace nimbrix {

namespace {

// What one look at the server's text may take: a chatty server cannot hold a send up.
constexpr int kDrainReads = 16;
constexpr std::size_t kDrainBuffer = 4096;

struct FaultWords {
  LinkFault fault;
  const char* text;
};
constexpr FaultWords kFaultWords[] = {
    {LinkFault::kSilent, "no data for 60 s"},
    {LinkFault::kUnacknowledged, "data unacknowledged for 30 s"},
    {LinkFault::kClosed, "closed by the server"},
};

}  // namespace

const char* LinkFaultText(LinkFault fault) {
  for (const FaultWords& words : kFaultWords) {
    if (words.fault == fault) return words.text;
  }
  return "network error";
}

int SendErrorOf(SocketStatus status) {
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

int LinkWatch::Fail(LinkFault fault, int error) {
  fault_ = fault;
  faultError_ = error;
  return error;
}

int LinkWatch::FailedSend(SocketStatus status) {
  if (status == SocketStatus::kUnacknowledged)
    return Fail(LinkFault::kUnacknowledged, kSendLinkDead);
  return SendErrorOf(status);
}

int LinkWatch::Read() {
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
        return Fail(LinkFault::kNetworkError, SendErrorOf(got.status));
    }
  }
  return 0;
}

LinkFault LinkWatch::Check() {
  Read();
  if (fault_ == LinkFault::kNone && heard_ && clock_.MonotonicMs() - lastHeardMs_ >= silenceMs_) {
    Fail(LinkFault::kSilent, kSendLinkDead);
  }
  return fault_;
}

void LinkWatch::Reset() {
  incoming_.Clear();
  fault_ = LinkFault::kNone;
  faultError_ = 0;
  heard_ = false;
}

}  // namespace nimbrix
