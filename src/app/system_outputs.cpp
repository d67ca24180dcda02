#include "app/system_outputs.h"

namespace nimbrix {

OutputList MakeSystemOutputs(const StationConfig& config, Platform& platform) {
  (void)config;
  (void)platform;
  OutputList outputs;
  // In this order: the extra APRS-IS destinations, SondeHub, the chase-car summary.
  return outputs;
}

}  // namespace nimbrix
