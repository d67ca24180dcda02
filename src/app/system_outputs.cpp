#include "app/system_outputs.h"

#include "platform/http_request.h"
#include "sondehub/sondehub_output.h"

namespace nimbrix {

OutputList MakeSystemOutputs(const StationConfig& config, Platform& platform) {
  OutputList outputs;
  // In this order: the extra APRS-IS destinations, SondeHub, the chase-car summary.
  if (config.nSONDEHUB == 1) {
    outputs.push_back(
        std::make_unique<SondehubOutput>(config, platform.clock, MakeSystemHttpRequester()));
  }
  return outputs;
}

}  // namespace nimbrix
