#include "app/system_outputs.h"

#include <memory>

#include "config/output_keys.h"
#include "format/safe_text.h"
#include "outputs/aprs_destination.h"
#include "outputs/flight_log.h"
#include "outputs/udp_summary.h"
#include "platform/http_request.h"
#include "platform/system.h"
#include "sondehub/sondehub_output.h"
#include "uplink/beacon.h"

namespace nimbrix {

OutputList MakeSystemOutputs(const StationConfig& config, Platform& platform) {
  OutputList outputs;
  // One resolver for all: each look-up runs on a thread of its own.
  std::shared_ptr<NameResolver> resolver = MakeSystemNameResolver();
  // In this order: the extra APRS-IS destinations, SondeHub, the chase-car summary, the flight
  // log.
  for (const ExtraServer& extra : config.extras) {
    const std::optional<HostAndPort> target = ParseHostAndPort(extra.entry);
    if (!target) continue;  // the reader said so at start-up
    const bool ownCall = !extra.call.empty();
    const std::string call = ownCall ? extra.call : config.sUSER;
    AprsDestinationSetup setup{extra.entry,
                               target->host,
                               target->port,
                               StripControlBytes(call),
                               BuildLoginLine(call, extra.pass.empty() ? config.sPASS : extra.pass),
                               ownCall,
                               StationBeaconLine(config)};
    outputs.push_back(std::make_unique<AprsDestination>(std::move(setup), MakeSystemTcpSocket(),
                                                        resolver, platform.clock));
  }
  if (config.nSONDEHUB == 1) {
    outputs.push_back(
        std::make_unique<SondehubOutput>(config, platform.clock, MakeSystemHttpRequester()));
  }
  if (const std::optional<HostAndPort> udp = ParseHostAndPort(config.sUDP); udp) {
    outputs.push_back(std::make_unique<UdpSummary>(
        UdpSummarySetup{config.sUDP, udp->host, udp->port, StripControlBytes(config.sUSER)},
        MakeSystemUdpSocket(), resolver, platform.clock));
  }
  if (!config.sFLIGHTLOG.empty()) {
    outputs.push_back(
        std::make_unique<FlightLog>(config.sFLIGHTLOG, platform.files, platform.clock));
  }
  return outputs;
}

}  // namespace nimbrix
