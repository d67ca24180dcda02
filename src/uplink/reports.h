#pragma once

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

// "CALL>APZQW0,TCPIP*:>status\r\n" (always exactly one line).
std::string ComposeStatusReport(const StationConfig& config);

// Sets bit 7 when a position report is due, by the cycle count and the clock's second.
void MarkReportDue(ReportState& state, const SondeSample& sample, int clockSecond);

inline constexpr int kMakeUpPauseMs = 1000;

// What goes out in this cycle, in this order.
struct ReportPlan {
  // Pauses of kMakeUpPauseMs before the position report, so that reports stay at least six
  // cycles apart.
  int makeUpPauses = 0;
  std::string positionLine;  // empty: no position report in this cycle
  std::string statusLine;    // empty: no status report in this cycle
};

// Decides the cycle's reports from the readiness bits and the clock's minute, and moves the
// report state on as their going out does (whether the sends succeed or not).
ReportPlan PlanReports(ReportState& state, const StationConfig& config, const SondeSample& sample,
                       int clockMinute);

}  // namespace nimbrix
