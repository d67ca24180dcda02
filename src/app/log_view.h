#pragma once

#include <map>
#include <string>
#include <vector>

#include "app/station_view.h"
#include "platform/clock.h"
#include "platform/console.h"

namespace nimbrix {

// The station without a terminal: one line per event, each beginning with the local date and
// time ("2026-12-09 10:26:54 "), for a service's journal or a file. Nothing of the dashboard is
// written, and nothing at all in a cycle in which nothing happened. Texts from outside (the
// decoder, the server, the configuration) are masked as on the terminal.
class LogView : public StationView {
 public:
  LogView(Console& out, Clock& clock) : out_(out), clock_(clock) {}

  void Started() override;
  void StartupLine(const std::string& text) override;
  void UpdateVerdict(const VersionVerdict& verdict, const std::string& downloadPage) override;
  void DecoderNotFound() override;
  void DecoderAttached() override;
  void ServerInUse(int index, const std::string& entry) override;

  void Link(const LinkEvent& event, const std::string& record) override;

  void DecoderLost() override;
  void DecoderFound() override;
  void SondesHeard(const std::vector<HeardSonde>& heard) override;
  void ReportSent(const std::string& line) override;
  void NoObjectName(const std::string& serial) override;
  void Destinations(const std::vector<DestinationStatus>& statuses,
                    const ClockReading& now) override;
  void DestinationRecord(const std::string& record, const std::string& destination) override;
  void Ended() override;

 private:
  // One line, dated now; an empty text writes nothing.
  void Line(const std::string& text);

  Console& out_;
  Clock& clock_;
  std::string unnamedSerial_;
  std::vector<std::string> heardSerials_;  // the decoder's list as last told: arrivals and
                                           // departures are logged, not every list
  // What was last said of each destination beside the primary link, by kind and name.
  std::map<std::string, std::string> toldOf_;  // told once, not in every cycle that finds it again
};

}  // namespace nimbrix
