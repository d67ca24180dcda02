#pragma once

#include <string>

#include "telemetry/sonde_sample.h"

namespace nimbrix {

// The cycle's position in the layout of an NMEA GGA sentence, without checksum or line end:
// "$GPGGA,204105,4807.4074,N,07159.2592,W,1,8,0.9,1234.5,M,0,M,,/GPS FIX". It is sent nowhere:
// it is the change key that tells the report logic whether the decoder has delivered new
// position data since the previous cycle (time of day, coordinates to a ten-thousandth of a
// minute, altitude).
std::string GgaSentence(const SondeSample& sample);

}  // namespace nimbrix
