#pragma once

#include "app/station_view.h"
#include "platform/clock.h"
#include "uplink/reports.h"
#include "uplink/uplink.h"

namespace nimbrix {

// Carries out what the report logic planned for this cycle: the make-up pauses, the time of the
// position report (row 21) and the report itself, then the status report. kQuit when the
// operator ended the program while a failed send looked for a server (nothing more is sent).
SendOutcome SendPlannedReports(const ReportPlan& plan, Uplink& uplink, StationView& view,
                               Clock& clock);

}  // namespace nimbrix
