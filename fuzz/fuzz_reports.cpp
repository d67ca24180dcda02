// One cycle's report work on hostile input: any decoder answers through ReadSondeSample, any
// station texts, either mode, then the dashboard rows, the report lines, and their sending. Every
// line on the wire must be exactly one line; nothing that reaches the screen may hold a control
// byte.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/dashboard.h"
#include "app/error_log.h"
#include "app/fake/fake_platform.h"
#include "app/link_view.h"
#include "app/report_sending.h"
#include "app/terminal_view.h"
#include "fuzz_check.h"
#include "fuzz_input.h"
#include "telemetry/telemetry.h"
#include "uplink/object_name.h"
#include "uplink/reports.h"
#include "uplink/uplink.h"

namespace {

using namespace nimbrix;
using nimbrix::fuzz::Check;
using nimbrix::fuzz::CheckOneLine;

bool HasControlByte(const std::string& text) {
  for (unsigned char c : text) {
    if (c < 32 || c == 127) return true;
  }
  return false;
}

StationConfig MakeConfig(FuzzedDataProvider& in) {
  StationConfig c;
  c.sUSER = in.ConsumeRandomLengthString(64);
  c.sSTATUS = in.ConsumeRandomLengthString(300);
  c.sSYMBOL = in.ConsumeRandomLengthString(8);
  c.nQRG = in.ConsumeIntegralInRange<std::int16_t>(-1, 2);
  c.nP0 = in.ConsumeIntegral<std::int16_t>();
  c.nID = in.ConsumeIntegralInRange<std::int16_t>(-1, 2);
  c.nALTITUDE = in.ConsumeIntegralInRange<std::int16_t>(-1, 2);
  c.nFRAME = in.ConsumeIntegral<std::int16_t>();
  c.nOBJECT = in.ConsumeIntegralInRange<std::int16_t>(0, 1);
  return c;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const StationConfig config = MakeConfig(in);

  fake::FakePlatform fakes;
  fakes.tcp.reachable = {"h:1"};
  for (int item = 0; item < kContractItemCount && in.remaining_bytes() > 0; ++item) {
    fakes.automation.answers[item] = nimbrix::fuzz::MakeVariant(in, true);
    if (in.ConsumeIntegralInRange(0, 15) == 0) {
      fakes.automation.outcomes[item] =
          in.ConsumeBool() ? CallOutcome::kFailed : CallOutcome::kUnresponsive;
    }
  }
  fakes.automation.Attach(kDecoderProgId);

  SondeSample sample;
  ReportState state;
  state.ValidFlags = in.ConsumeIntegral<std::uint16_t>();
  state.LastStatusMinute = in.ConsumeIntegral<std::int16_t>();
  ReadSondeSample(fakes.automation, sample);
  UpdateValidFlags(state, sample);

  for (const std::string& row : DashboardRows(sample, config.sUSER)) {
    Check(!HasControlByte(row), "control byte on the dashboard", row);
  }
  const std::string position = ComposePositionReport(config, sample);
  CheckOneLine(position, "position report");
  CheckOneLine(ComposeStatusReport(config), "status report");
  if (const auto name = ObjectNameOf(sample.serial, sample.typeOrAprsName)) {
    Check(name->size() <= 9, "object name longer than 9", *name);
    CheckOneLine(ComposeObjectReport(config, sample, *name), "object report");
  }

  ServerList servers;
  servers.sSERVER[1] = "h,1";
  servers.nSERVERS = 1;
  TerminalView view(fakes.console);
  ErrorLog errors(fakes.files);
  PrimaryLinkStatus status;
  LinkView link(view, fakes.console, fakes.clock, errors, servers, status);
  Uplink uplink{fakes.clock, fakes.tcp, servers, link, "user X\r\n", "X"};
  const LocalTime now = fakes.clock.Now();
  MarkReportDue(state, config, sample, now.second);
  state.ValidFlags |= kFlagReportDue;
  SendPlannedReports(PlanReports(state, config, sample, now.minute), uplink, view, fakes.clock);
  for (const std::string& line : fakes.tcp.lines) CheckOneLine(line, "sent line");
  Check(!HasControlByte(fakes.console.Row(21)), "control byte on row 21", fakes.console.Row(21));
  const std::string objectRow = ObjectModeRow(LastObjectName(state));
  Check(!HasControlByte(objectRow), "control byte on row 20", objectRow);
  return 0;
}
