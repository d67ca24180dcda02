#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "format/clock_reading.h"
#include "format/local_time.h"
#include "outputs/output.h"
#include "telemetry/sonde_sample.h"
#include "telemetry/telemetry.h"
#include "update/version_check.h"
#include "uplink/login_answer.h"
#include "uplink/uplink.h"

namespace nimbrix {

// What the operator is told of the station's run. On a terminal it is the screen, drawn over in
// place every cycle (TerminalView); without one (under a service manager, output to a file) it is
// a log of one dated line per event, with nothing in a cycle in which nothing happened (LogView).
//
// Every event has an empty default: a view overrides what it shows and nothing else. The
// station tells all its views at once through ViewList (app/view_list.h), which names every
// event: a new event is handed on there too.
class StationView {
 public:
  virtual ~StationView() = default;

  // Start-up, before the dashboard.
  virtual void Started() {}
  virtual void StartupLine(const std::string& /*text*/) {}  // the configuration and update steps
  virtual void UpdateVerdict(const VersionVerdict& /*verdict*/,
                             const std::string& /*downloadPage*/) {}
  virtual void DecoderNotFound() {}
  virtual void DecoderAttached() {}
  virtual void Connecting() {}
  // After the first connect: the entry in use (empty for an empty server list).
  virtual void ServerInUse(int /*index*/, const std::string& /*entry*/) {}

  // What happened to an APRS-IS link, named by its destination; `record` is the error log's
  // record the event made, as written to it (line end included), empty when none.
  virtual void Link(const LinkEvent& /*event*/, const std::string& /*record*/) {}

  // The main cycle.
  virtual void Resized() {}
  virtual void Dashboard(const SondeSample& /*sample*/, const std::string& /*user*/,
                         const LocalTime& /*now*/, std::int32_t /*cyclesSinceReport*/) {}
  virtual void DecoderLost() {}
  virtual void DecoderFound() {}
  // A frame read between two cycles, while the primary link waited (a pause, a connect, a
  // send): for the outputs beside it; the dashboard keeps what the cycle read.
  virtual void FrameRead(const SondeSample& /*sample*/) {}
  // Every sonde the decoder has heard (the followed one among them), with each reading that
  // asked for its list: in the cycle and between cycles. Only while an output carries every
  // sonde and the decoder has the list.
  virtual void SondesHeard(const std::vector<HeardSonde>& /*heard*/) {}
  // A position report is about to go out (the time it is shown with).
  virtual void PositionReportDue(const LocalTime& /*at*/) {}
  // A report line went out on the connection.
  virtual void ReportSent(const std::string& /*line*/) {}
  // The sonde as an APRS object: objects are on and the name of the last one sent ("" for
  // none yet); told every cycle in that mode.
  virtual void ObjectMode(const std::string& /*lastObjectName*/) {}
  // No object goes out for this sonde: its serial gives no APRS object name.
  virtual void NoObjectName(const std::string& /*serial*/) {}
  // Every destination's state, once per cycle: the primary link's first, then the outputs
  // beside it (extra APRS-IS servers, SondeHub, the chase-car summary).
  virtual void Destinations(const std::vector<DestinationStatus>& /*statuses*/,
                            const ClockReading& /*now*/) {}
  // An error record of an output beside the primary link, as written to nimbrix.err, and the
  // name of the output it came from ("host,port").
  virtual void DestinationRecord(const std::string& /*record*/,
                                 const std::string& /*destination*/) {}
  virtual void Ended() {}
};

}  // namespace nimbrix
