#include "app/station.h"

#include "app/dashboard.h"
#include "app/telemetry.h"
#include "config/config_reader.h"
#include "format/number_text.h"
#include "format/safe_text.h"
#include "platform/program_end.h"
#include "uplink/reports.h"
#include "uplink/uplink.h"

namespace nimbrix {

namespace {

// Carries out what the configuration reader asked for, in order.
void PerformConfigActions(const ConfigResult& result, Console& console, Clock& clock) {
  for (const ConfigAction& action : result.actions) {
    switch (action.kind) {
      case ConfigAction::Kind::kWriteLine:
        console.Write(MaskControlBytes(action.text));
        console.LineBreak();
        break;
      case ConfigAction::Kind::kWaitKey:
        console.WaitKey();
        break;
      case ConfigAction::Kind::kPause:
        clock.SleepMs(action.value);
        break;
      case ConfigAction::Kind::kExit:
        throw ProgramEnd{action.value};
    }
  }
}

void ShowServerInUse(Console& console, const ServerList& servers) {
  console.MoveTo(24, 1);
  console.Write("Using #" + ConsoleNumber(std::int64_t{servers.nCURSERVER}, 7) + "=> " +
                MaskControlBytes(servers.sSERVER.at(servers.nCURSERVER)) + std::string(35, ' '));
}

void RunMainCycle(Platform& p, const StationConfig& config, Uplink& uplink) {
  SondeSample sample;
  ReportState state;
  for (;;) {
    ReadSondeSample(p.automation, sample);
    UpdateValidFlags(state, sample);
    DrawDashboard(p.console, sample, config.sUSER);
    const std::string positionReport = ComposePositionReport(config, sample);
    DrawStatusLines(p.console, p.clock.Now(), state.CyclesSinceReport);
    const LocalTime secondsReading = p.clock.Now();
    const LocalTime minuteReading = p.clock.Now();
    MarkReportDue(state, sample, secondsReading, minuteReading);
    SendReports(state, config, sample, positionReport, uplink);
    WatchLoginAnswer(uplink);
    p.clock.SleepMs(950);
    ++state.CyclesSinceReport;
    const std::string key = p.console.PollKey();
    if (key == "s" || key == "S") state.ValidFlags |= kFlagReportDue;
    if (key == kKeyEscape) break;
  }
}

int RunStartupAndCycle(Platform& p, const UpdateService& updateService) {
  ServerList servers;  // slots 0..10 empty, entry in use 1
  const ConfigResult read = ReadConfiguration(p.files.ReadAll(kConfigFileName));
  PerformConfigActions(read, p.console, p.clock);
  const StationConfig config = read.config;
  servers = read.servers;

  CheckForNewVersion(p.console, p.clock, p.http, config, servers, updateService);

  p.console.SetColor(kColorNormal);
  p.console.Clear();
  p.process.Run(kRegisterOleCommand);

  if (!p.automation.Attach(kDecoderProgId)) {
    p.console.LineBreak();
    p.console.SetColor(kColorLightRed);
    p.console.Write("SondeMonitor not found! Exiting...");
    p.console.LineBreak();
    p.clock.SleepMs(3000);
    return 0;
  }

  p.console.MoveTo(24, 1);
  p.console.Write("Conecting:");
  p.console.LineBreak();
  Uplink uplink{p.console, p.clock, p.tcp, p.files, servers, config.LoginLine, config.sUSER};
  ConnectServers(uplink);
  ShowServerInUse(p.console, servers);
  p.clock.SleepMs(2000);

  RunMainCycle(p, config, uplink);
  p.automation.Release();
  return 0;
}

}  // namespace

int RunStation(Platform& platform, const UpdateService& updateService) {
  try {
    return RunStartupAndCycle(platform, updateService);
  } catch (const ProgramEnd& end) {
    platform.automation.Release();
    return end.exitCode;
  }
}

}  // namespace nimbrix
