#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "format/local_time.h"
#include "telemetry/sonde_sample.h"

namespace nimbrix {

// The texts of the dashboard's rows 1..15, in drawing order (rows 4 and 6 are not written, so
// they are not in the list). Texts from the decoder appear with control bytes shown as "?".
std::vector<std::string> DashboardRows(const SondeSample& sample, const std::string& user);

// "Local Time: hh:mm:ss" (row 18).
std::string LocalTimeRow(const LocalTime& now);
// "Last valid data: N s ago..." (row 19).
std::string LastValidDataRow(std::int32_t cyclesSinceReport);

}  // namespace nimbrix
