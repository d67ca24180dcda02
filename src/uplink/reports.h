#pragma once

#include <optional>
#include <string>

#include "config/station_config.h"
#include "telemetry/sonde_sample.h"
#include "uplink/report_state.h"

namespace nimbrix {

// The report logic of one cycle, as pure work on values: what to send is returned; the
// station sends it, pauses and shows it.

// Bits 0..2 of ValidFlags from this cycle's sample.
void UpdateValidFlags(ReportState& state, const SondeSample& sample);

// "CALL>APZQW0,TCPIP*:@hhmmsshLAT/LONOccc/sss/A=aaaaaa Clb=... ...\r\n" (always exactly one line).
std::string ComposePositionReport(const StationConfig& config, const SondeSample& sample);

// The object mode's line in place of the position report: "CALL>APZQW0,TCPIP*:;NAME_____*" and
// then the position report's pieces from the time on, except that a reading the decoder did
// not give (SondeSample::given, an empty frequency) is left out of the comment rather than
// sent as its stand-in 0 or -99. `name` (ObjectNameOf's) is padded with blanks to 9 characters.
std::string ComposeObjectReport(const StationConfig& config, const SondeSample& sample,
                                const std::string& name);

// "CALL>APZQW0,TCPIP*:>status\r\n" (always exactly one line).
std::string ComposeStatusReport(const StationConfig& config);

// Sets bit 7 when a position report is due, by the cycle count and the clock's second.
// In the object mode (OBJECT=YES) the clock has no part: an object is due for this cycle's
// sonde when it has had none for kObjectInterval cycles, and at once when its name has not
// gone out yet in this run; that due is worked out anew in every cycle, so that it is never
// used up by another sonde. A due set by the key "s" waits in both modes.
void MarkReportDue(ReportState& state, const StationConfig& config, const SondeSample& sample,
                   int clockSecond);

inline constexpr int kObjectInterval = 30;

inline constexpr int kMakeUpPauseMs = 1000;

// What goes out in this cycle, in this order.
struct ReportPlan {
  // Pauses of kMakeUpPauseMs before the position report, so that reports stay at least six
  // cycles apart.
  int makeUpPauses = 0;
  std::string positionLine;  // empty: no position report (or object) in this cycle
  std::string statusLine;    // empty: no status report in this cycle
  // The object mode: the serial of a sonde that has no object name, when its report would
  // otherwise be considered in this cycle (nothing goes out for it).
  std::optional<std::string> serialWithoutName;
};

// Decides the cycle's reports from the readiness bits and the clock's minute, and moves the
// report state on as their going out does (whether the sends succeed or not).
ReportPlan PlanReports(ReportState& state, const StationConfig& config, const SondeSample& sample,
                       int clockMinute);

// The end of a cycle: one more cycle since the last report, and in the run.
void EndCycle(ReportState& state);

// The object named `name` that went out in this run, or null; and the note that it goes out in
// this cycle (the latest last; the oldest is forgotten beyond kObjectMemory).
const SentObject* FindSentObject(const ReportState& state, const std::string& name);
void RememberSentObject(ReportState& state, const std::string& name);

// The name of the last object that went out in this run; empty before the first.
std::string LastObjectName(const ReportState& state);

}  // namespace nimbrix
