#include "app/report_sending.h"

#include "app/dashboard.h"
#include "format/clock_text.h"

namespace nimbrix {

SendOutcome SendPlannedReports(const ReportPlan& plan, Uplink& uplink, Screen& screen,
                               Clock& clock) {
  if (plan.serialWithoutName) screen.ShowNoObjectName(NoObjectNameRow(*plan.serialWithoutName));
  for (int i = 0; i < plan.makeUpPauses; ++i) clock.SleepMs(kMakeUpPauseMs);
  SendOutcome outcome = SendOutcome::kSent;
  if (!plan.positionLine.empty()) {
    screen.ShowLastTransmission("Last transmission: " + ClockText(clock.Now()));
    outcome = SendLine(uplink, plan.positionLine);
    if (outcome == SendOutcome::kQuit) return outcome;
  }
  if (!plan.statusLine.empty()) outcome = SendLine(uplink, plan.statusLine);
  return outcome;
}

}  // namespace nimbrix
