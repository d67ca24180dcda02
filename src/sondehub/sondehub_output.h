#pragma once

// The SondeHub feed as one of the station's outputs: a record per new frame of each sonde,
// batched and sent by the feed's rules through an HttpRequester beside the cycle.

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "config/station_config.h"
#include "outputs/output.h"
#include "platform/clock.h"
#include "platform/http_request.h"
#include "sondehub/feed.h"
#include "sondehub/record.h"

namespace nimbrix {

class SondehubOutput final : public Output {
 public:
  SondehubOutput(const StationConfig& config, Clock& clock,
                 std::unique_ptr<HttpRequester> requester, FeedRules rules = {});
  void Cycle(const CycleFacts& facts) override;
  DestinationStatus Status() const override;
  void Stop(std::int64_t deadlineMs) override;

 private:
  void Queue(const SondeSample& sample, std::int64_t utcMs, std::int64_t monotonicMs);
  void Pump(std::int64_t nowMs, std::int64_t utcMs);
  bool Send(const FeedRequest& request, std::int64_t utcMs);

  std::string url_;
  SondehubStation station_;
  Clock& clock_;
  std::unique_ptr<HttpRequester> requester_;
  SondehubFeed feed_;
  int requestTimeoutMs_;
  std::set<std::string> toldRefused_;  // serials the operator has been told about
};

}  // namespace nimbrix
