#pragma once

#include <string>
#include <vector>

#include "app/station_view.h"
#include "platform/clock.h"
#include "uplink/reports.h"
#include "uplink/uplink.h"

namespace nimbrix {

// Carries out what the report logic planned for this cycle: the make-up pauses, the time of the
// position report (or object) on row 21 and the report itself, then the status report; or
// why no object goes out for the sonde. kQuit when the operator ended the program while a failed
// send looked for a server (nothing more is sent).
// `handed`, when given, gets each line handed to the link and how its sending ended.
struct HandedLine {
  std::string line;
  SendOutcome outcome = SendOutcome::kSent;
};
SendOutcome SendPlannedReports(const ReportPlan& plan, Uplink& uplink, StationView& view,
                               Clock& clock, std::vector<HandedLine>* handed = nullptr);

}  // namespace nimbrix
