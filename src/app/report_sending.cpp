#include "app/report_sending.h"

namespace nimbrix {

namespace {

SendOutcome SendReport(Uplink& uplink, StationView& view, const std::string& line,
                       std::vector<HandedLine>* handed) {
  const SendOutcome outcome = SendLine(uplink, line);
  if (outcome == SendOutcome::kSent) view.ReportSent(line);
  if (handed) handed->push_back({line, outcome});
  return outcome;
}

}  // namespace

SendOutcome SendPlannedReports(const ReportPlan& plan, Uplink& uplink, StationView& view,
                               Clock& clock, std::vector<HandedLine>* handed) {
  if (plan.serialWithoutName) view.NoObjectName(*plan.serialWithoutName);
  for (int i = 0; i < plan.makeUpPauses; ++i) clock.SleepMs(kMakeUpPauseMs);
  SendOutcome outcome = SendOutcome::kSent;
  if (!plan.positionLine.empty()) {
    view.PositionReportDue(clock.Now());
    outcome = SendReport(uplink, view, plan.positionLine, handed);
    if (outcome == SendOutcome::kQuit) return outcome;
  }
  if (!plan.statusLine.empty()) outcome = SendReport(uplink, view, plan.statusLine, handed);
  return outcome;
}

}  // namespace nimbrix
