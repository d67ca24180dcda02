#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/station_view.h"

namespace nimbrix {

// Every view of the station at once: the operator's, and with WEB= the status page's. The
// station tells the list, and the list tells each view, in the order they were added. This is
// the one place that names every event of StationView: a new event is handed on here, and each
// view overrides only what it shows.
class ViewList : public StationView {
 public:
  explicit ViewList(StationView& first) : views_{&first} {}

  void Add(StationView& view) { views_.push_back(&view); }

  void Started() override;
  void StartupLine(const std::string& text) override;
  void UpdateVerdict(const VersionVerdict& verdict, const std::string& downloadPage) override;
  void DecoderNotFound() override;
  void DecoderAttached() override;
  void Connecting() override;
  void ServerInUse(int index, const std::string& entry) override;
  void Link(const LinkEvent& event, const std::string& record) override;
  void Resized() override;
  void Dashboard(const SondeSample& sample, const std::string& user, const LocalTime& now,
                 std::int32_t cyclesSinceReport) override;
  void DecoderLost() override;
  void DecoderFound() override;
  void FrameRead(const SondeSample& sample) override;
  void SondesHeard(const std::vector<HeardSonde>& heard) override;
  void PositionReportDue(const LocalTime& at) override;
  void ReportSent(const std::string& line) override;
  void ObjectMode(const std::string& lastObjectName) override;
  void NoObjectName(const std::string& serial) override;
  void Destinations(const std::vector<DestinationStatus>& statuses,
                    const ClockReading& now) override;
  void DestinationRecord(const std::string& record, const std::string& destination) override;
  void Ended() override;

 private:
  std::vector<StationView*> views_;
};

}  // namespace nimbrix
