#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "format/local_time.h"
#include "platform/console.h"
#include "uplink/sonde_sample.h"

namespace nimbrix {

// The rows 1..15 of the dashboard, in drawing order (rows 4 and 6 are not written, so they
// are not in the list). Texts from the decoder appear with control bytes shown as "?".
std::vector<std::string> DashboardRows(const SondeSample& sample, const std::string& user);

// Rows 1..15, each at its place with the rest of the row erased; the cursor ends at row 17.
void DrawDashboard(Console& console, const SondeSample& sample, const std::string& user);

// "Local Time: hh:mm:ss" on row 18, "Last valid data: N s ago..." on row 19.
void DrawStatusLines(Console& console, const LocalTime& now, std::int32_t cyclesSinceReport);

}  // namespace nimbrix
