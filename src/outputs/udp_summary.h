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
  // A frame made while the address is still looked up goes out once it is known, if it is no
  // older than this then; a chase car wants the frame now or not at all.
  static constexpr int kHeldFreshMs = 3000;
  static constexpr std::size_t kHeldSondes = 32;

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
  void Summarise(const SondeSample& sample, bool ready, std::int64_t utcMs, std::int64_t readMs);
  void Send(const SondeSample& sample, std::int64_t utcMs);
  // The frames held while not ready: those still fresh go out, the others are counted missed.
  void SendHeld(std::int64_t nowMs);
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
  struct Held {
    SondeSample sample;
    std::int64_t utcMs = 0;
    std::int64_t monotonicMs = 0;
  };
  std::map<std::string, Held> held_;  // per sonde, its newest frame while not ready
};

}  // namespace nimbrix
