#include "app/main_cycle.h"

#include "app/program_end.h"
#include "app/report_sending.h"
#include "telemetry/telemetry.h"
#include "uplink/beacon.h"
#include "uplink/reports.h"

namespace nimbrix {

bool MainCycle::Step() {
  // A terminal whose size changed has lost or moved what it showed: draw it all anew.
  if (p_.console.TakeResized()) view_.Resized();
  const bool answered = ReadSondeSample(p_.automation, sample_, config_.nSONDEHUB == 1);
  const std::int64_t readUtcMs = p_.clock.UtcMs();
  const std::int64_t readMonotonicMs = p_.clock.MonotonicMs();
  if (feed_) feed_->CycleRead(sample_, answered, readUtcMs, readMonotonicMs);
  if (answered != decoderAnswers_) {
    decoderAnswers_ = answered;
    answered ? view_.DecoderFound() : view_.DecoderLost();
  }
  UpdateValidFlags(state_, sample_);
  view_.Dashboard(sample_, config_.sUSER, p_.clock.Now(), state_.CyclesSinceReport);
  // The clock is read twice: the second from the one reading, the minute from the other.
  const int second = p_.clock.Now().second;
  const int minute = p_.clock.Now().minute;
  MarkReportDue(state_, config_, sample_, second);
  const ReportPlan plan = PlanReports(state_, config_, sample_, minute);
  std::vector<HandedLine> handed;
  if (SendPlannedReports(plan, uplink_, view_, p_.clock, &handed) == SendOutcome::kQuit) {
    throw ProgramEnd{0};
  }
  SendBeaconIfDue(handed);
  SendHeardObjects(handed);
  if (config_.nOBJECT == 1) view_.ObjectMode(LastObjectName(state_));
  primary_.WatchLogin();
  WatchLink(uplink_);
  if (feed_) {
    // Frames read while the reports waited are newer than the cycle's own.
    feed_->HandToOutputs(handed);
  } else if (outputs_) {
    outputs_->Cycle(sample_, answered, readUtcMs, readMonotonicMs, handed, view_);
  }
  if (feed_) feed_->CyclePause(true);
  p_.clock.SleepMs(950);
  if (feed_) feed_->CyclePause(false);
  EndCycle(state_);
  const std::string key = p_.console.PollKey();
  if (key == "s" || key == "S") state_.ValidFlags |= kFlagReportDue;
  return key != kKeyEscape;
}

void MainCycle::SendBeaconIfDue(std::vector<HandedLine>& handed) {
  const std::string line = StationBeaconLine(config_);
  if (line.empty() || !beacon_.Due(p_.clock.MonotonicMs())) return;
  const SendOutcome outcome = SendLine(uplink_, line);
  if (outcome == SendOutcome::kQuit) throw ProgramEnd{0};
  if (outcome == SendOutcome::kSent) view_.ReportSent(line);
  handed.push_back({line, outcome});
}

void MainCycle::SendHeardObjects(std::vector<HandedLine>& handed) {
  if (config_.nOBJECT != 1 || !feed_) return;
  for (const std::string& line :
       heardObjects_.Plan(state_, config_, feed_->Newest().heard, sample_.serial)) {
    const SendOutcome outcome = SendLineIfUp(uplink_, line);
    if (outcome == SendOutcome::kQuit) throw ProgramEnd{0};
    if (outcome == SendOutcome::kSent) view_.ReportSent(line);
    handed.push_back({line, outcome});
  }
}

}  // namespace nimbrix
