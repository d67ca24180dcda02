#pragma once

#include "app/station_outputs.h"

namespace nimbrix {

// The outputs beside the primary link that the configuration asks for, over this system's own
// sockets, HTTP client and threads.
OutputList MakeSystemOutputs(const StationConfig& config, Platform& platform);

}  // namespace nimbrix
