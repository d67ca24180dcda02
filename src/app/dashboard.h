#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "format/local_time.h"
#include "telemetry/sonde_sample.h"
#include "telemetry/telemetry.h"

namespace nimbrix {

// The texts of the dashboard's rows 1..15, in drawing order (rows 4 and 6 are not written, so
// they are not in the list). Texts from the decoder appear with control bytes shown as "?".
std::vector<std::string> DashboardRows(const SondeSample& sample, const std::string& user);

// "Local Time: hh:mm:ss" (row 18).
std::string LocalTimeRow(const LocalTime& now);
// "Last valid data: N s ago..." (row 19).
std::string LastValidDataRow(std::int32_t cyclesSinceReport);

// Row 20 in the object mode: "APRS objects on. Last object sent: NAME", or that none was yet.
std::string ObjectModeRow(const std::string& lastObjectName);
// Row 21 in the object mode: "No APRS object name for serial SERIAL", the serial cut to fit.
std::string NoObjectNameRow(const std::string& serial);

// Row 23 while the decoder hears other sondes than the followed one: "Also heard: DFM-314377
// 12s, S2410203 3s", each with the age of its newest frame, in the decoder's order; those that
// do not fit on the row are counted ("+2 more"). Empty when there is no other sonde.
std::string AlsoHeardRow(const std::vector<HeardSonde>& heard, const std::string& followedSerial);

}  // namespace nimbrix
