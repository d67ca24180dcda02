#pragma once

#include <string>

#include "config/station_config.h"
#include "format/local_time.h"
#include "uplink/report_state.h"
#include "uplink/sonde_sample.h"
#include "uplink/uplink.h"

namespace nimbrix {

// Bits 0..2 of ValidFlags from this cycle's sample.
void UpdateValidFlags(ReportState& state, const SondeSample& sample);

// "CALL>APZQW0,TCPIP*:@hhmmsshLAT/LONOccc/sss/A=aaaaaa Clb=... ...\r\n" (always exactly one line).
std::string ComposePositionReport(const StationConfig& config, const SondeSample& sample);

// "CALL>APZQW0,TCPIP*:>status\r\n" (always exactly one line).
std::string ComposeStatusReport(const StationConfig& config);

// Sets bit 7 when a report is due; `first` gives the seconds, `second` the minute kept for
// SendReports (the clock is read twice, as the station always has).
void MarkReportDue(ReportState& state, const SondeSample& sample, const LocalTime& first,
                   const LocalTime& second);

// Sends the position report when ValidFlags is 0x87 (after make-up pauses, writing row 21),
// then the status report when its minute has come.
void SendReports(ReportState& state, const StationConfig& config, const SondeSample& sample,
                 const std::string& positionReport, Uplink& uplink);

}  // namespace nimbrix
