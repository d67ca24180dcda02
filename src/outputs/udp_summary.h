#pragma once

// UDP=host,port: the chase-car summary of every new frame with a position, one datagram each,
// sent without waiting (to a broadcast address too). The host is looked up beside the cycle.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "outputs/output.h"
#include "outputs/retry_delay.h"
#include "platform/clock.h"
#include "platform/name_resolver.h"
#include "platform/udp_socket.h"

namespace nimbrix {

struct UdpSummarySetup {
  std::string entry;  // "host,port" as configured
  std::string host;
  int port = 0;
  std::string station;  // the receiving station: USER
};

class UdpSummary : public Output {
 public:
  static constexpr int kLookupMs = 10000;  // a look-up still going on by then has failed
  static constexpr int kFirstRetryMs = 5000;
  static constexpr int kMaxRetryMs = 60000;

  UdpSummary(UdpSummarySetup setup, std::unique_ptr<UdpSocket> socket,
             std::shared_ptr<NameResolver> resolver, Clock& clock);
  void Cycle(const CycleFacts& facts) override;
  DestinationStatus Status() const override { return status_; }
  void Stop(std::int64_t deadlineMs) override;

 private:
  // Looks the host up and opens the socket, as far as that goes without waiting; true once
  // datagrams can go out.
  bool Ready(std::int64_t nowMs);
  void Failed(const char* why, std::int64_t nowMs);
  void Summarise(const SondeSample& sample, bool ready, std::int64_t utcMs);
  void SetState(DestinationStatus::State state, const char* text);

  UdpSummarySetup setup_;
  std::unique_ptr<UdpSocket> socket_;
  std::shared_ptr<NameResolver> resolver_;
  Clock& clock_;
  RetryDelay retry_{kFirstRetryMs, kMaxRetryMs};
  std::unique_ptr<PendingLookup> lookup_;
  std::int64_t lookupStartMs_ = 0;
  std::int64_t retryAtMs_ = 0;
  bool resolved_ = false;
  bool stopped_ = false;
  std::uint32_t address_ = 0;
  DestinationStatus status_;
};

}  // namespace nimbrix
