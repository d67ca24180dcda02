#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/destination_rows.h"
#include "format/local_time.h"
#include "outputs/output.h"
#include "telemetry/sonde_sample.h"
#include "update/version_check.h"
#include "uplink/login_answer.h"
#include "uplink/uplink.h"

namespace nimbrix {

// What the operator is told of the station's run. On a terminal it is the screen, drawn over in
// place every cycle (TerminalView); without one (under a service manager, output to a file) it is
// a log of one dated line per event, with nothing in a cycle in which nothing happened (LogView).
class StationView {
 public:
  virtual ~StationView() = default;

  // Start-up, before the dashboard.
  virtual void Started() = 0;
  virtual void StartupLine(const std::string& text) = 0;  // the configuration and update steps
  virtual void UpdateVerdict(const VersionVerdict& verdict, const std::string& downloadPage) = 0;
  virtual void DecoderNotFound() = 0;
  virtual void DecoderAttached() = 0;
  virtual void Connecting() = 0;
  // After the first connect: the entry in use (empty for an empty server list).
  virtual void ServerInUse(int index, const std::string& entry) = 0;

  // The link. Records are the error log's, as written to it (line end included).
  virtual void Trying(int index, const std::string& entry) = 0;
  virtual void OpenFailed(const std::string& record) = 0;
  virtual void Connected(int index, const std::string& entry) = 0;
  virtual void NoServerReachable() = 0;
  virtual void SendFailed(const std::string& record) = 0;
  // The server's answer to the login; `record` is the LOGIN Error record, empty when verified.
  virtual void LoginAnswer(const LoginVerdict& verdict, const std::string& record) = 0;
  // The connection in use was found dead (the next line fails over).
  virtual void LinkDead(const DeadLink& dead) = 0;

  // The main cycle.
  virtual void Resized() = 0;
  virtual void Dashboard(const SondeSample& sample, const std::string& user, const LocalTime& now,
                         std::int32_t cyclesSinceReport) = 0;
  virtual void DecoderLost() = 0;
  virtual void DecoderFound() = 0;
  // A position report is about to go out (the time it is shown with).
  virtual void PositionReportDue(const LocalTime& at) = 0;
  // A report line went out on the connection.
  virtual void ReportSent(const std::string& line) = 0;
  // The sonde as an APRS object: objects are on and the name of the last one sent ("" for
  // none yet); told every cycle in that mode.
  virtual void ObjectMode(const std::string& lastObjectName) = 0;
  // No object goes out for this sonde: its serial gives no APRS object name.
  virtual void NoObjectName(const std::string& serial) = 0;
  // Every destination's state, once per cycle: the primary link's first, then the outputs
  // beside it (extra APRS-IS servers, SondeHub, the chase-car summary).
  virtual void Destinations(const std::vector<DestinationStatus>& statuses,
                            const ClockReading& now) = 0;
  // An error record of an output beside the primary link, as written to nimbrix.err.
  virtual void DestinationRecord(const std::string& record) = 0;
  virtual void Ended() = 0;
};

}  // namespace nimbrix
