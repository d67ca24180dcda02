#pragma once

// An extra APRS-IS destination (ALSO=): its own connection and login, fed the lines the primary
// link sends, and never waiting for anything. A line that does not fit into the connection now
// is dropped for this destination; while it is down its lines are counted as missed, not kept.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "outputs/output.h"
#include "outputs/retry_delay.h"
#include "platform/clock.h"
#include "platform/name_resolver.h"
#include "platform/tcp_socket.h"
#include "uplink/beacon.h"
#include "uplink/link_watch.h"
#include "uplink/login_answer.h"

namespace nimbrix {

struct AprsDestinationSetup {
  std::string entry;  // "host,port" as configured: the name the operator knows it by
  std::string host;
  int port = 0;
  std::string loginCall;  // the call of the login line
  std::string loginLine;  // CR LF included
  bool ownCall = false;   // lines go out under loginCall instead of the station's call
  // The station beacon as the primary link sends it (CR LF included), or empty for none. This
  // destination sends it itself, once it is up and every 30 minutes after, so that it gets one
  // at start although it connects a few cycles after the primary; the primary's copy among the
  // cycle's lines is not sent again.
  std::string beaconLine;
};

struct AprsDestinationLimits {
  int lookupMs = 10000;   // a name look-up still going on by then has failed
  int connectMs = 10000;  // so has a connect
  int silenceMs = 60000;  // the watch of the primary link, as it is
  int unacknowledgedMs = 30000;
  int firstRetryMs = 5000;
  int maxRetryMs = 60000;
  // A connection lost after working this long starts the back-off again from its first step.
  int steadyMs = 60000;
  // While the back-off is longer, a server that is back is found by a probe this often: a
  // connect to the address found last, given up after probeMs, that records nothing.
  int probeEveryMs = 10000;
  int probeMs = 3000;
};

class AprsDestination : public Output {
 public:
  AprsDestination(AprsDestinationSetup setup, std::unique_ptr<TcpSocket> socket,
                  std::shared_ptr<NameResolver> resolver, Clock& clock,
                  AprsDestinationLimits limits = {});
  ~AprsDestination() override;

  void Cycle(const CycleFacts& facts) override;
  DestinationStatus Status() const override { return status_; }
  std::vector<std::string> TakeRecords() override;
  void Stop(std::int64_t deadlineMs) override;

 private:
  enum class Phase { kWaiting, kResolving, kConnecting, kProbing, kUp, kStopped };

  // Moves the connection on as far as it goes without waiting.
  void Advance(std::int64_t nowMs);
  void StartConnect(std::uint32_t address, std::int64_t nowMs);
  void Connected(std::int64_t nowMs);
  void ConnectFailed(const char* why, std::int64_t nowMs);
  // Between attempts: whether the server is back, without a record or a longer back-off.
  void Probe(std::int64_t nowMs);
  void Wait(std::int64_t nowMs);
  // The connection broke (`error`, the send error number) while `line` was handed to it.
  void Lost(int error, std::string_view line, const std::string& why, std::int64_t nowMs);
  void WatchLogin(std::int64_t nowMs);
  void Deliver(std::string_view line, std::int64_t nowMs);
  // Sends what is left of a part-sent line; true when nothing is left.
  bool Flush(std::int64_t nowMs);
  void SetState(DestinationStatus::State state, std::string text, std::string message = {});
  void Record(std::string record) { records_.push_back(std::move(record)); }

  AprsDestinationSetup setup_;
  std::unique_ptr<TcpSocket> socket_;
  std::shared_ptr<NameResolver> resolver_;
  Clock& clock_;
  AprsDestinationLimits limits_;
  LinkWatch watch_;
  LoginAnswerWatch login_;
  BeaconTimer beacon_;
  RetryDelay retry_;
  Phase phase_ = Phase::kWaiting;
  std::int64_t phaseStartMs_ = 0;
  std::int64_t retryAtMs_ = 0;
  std::int64_t probeAtMs_ = 0;
  std::uint32_t lastAddress_ = 0;  // where the last look-up found the server (0: none yet)
  std::unique_ptr<PendingLookup> lookup_;
  std::string unsent_;  // the rest of a part-sent line, finished before any other byte
  // A connection found dead by the watch: the error number the next line's record carries.
  int deadError_ = 0;
  DestinationStatus status_;
  std::vector<std::string> records_;
};

}  // namespace nimbrix
