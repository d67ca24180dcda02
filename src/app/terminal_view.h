#pragma once

#include <string>
#include <vector>

#include "app/screen.h"
#include "app/station_view.h"
#include "platform/console.h"

namespace nimbrix {

// "Using # 2 => host,port" and its blanks: the entry in use, on row 24.
std::string ServerInUseLine(int index, const std::string& entry);

// "Lost # 1 => host,port (no data for 60 s)": the entry in use was found dead, on row 24.
std::string DeadLinkLine(const DeadLink& dead);

// The station on a terminal: the start-up lines as they come, then the screen of rows.
class TerminalView : public StationView {
 public:
  explicit TerminalView(Console& console) : console_(console), screen_(console) {}

  void StartupLine(const std::string& text) override;
  void UpdateVerdict(const VersionVerdict& verdict, const std::string& downloadPage) override;
  void DecoderNotFound() override;
  void Connecting() override;
  void ServerInUse(int index, const std::string& entry) override;

  void Link(const LinkEvent& event, const std::string& record) override;

  void Resized() override { screen_.Redraw(); }
  void Dashboard(const SondeSample& sample, const std::string& user, const LocalTime& now,
                 std::int32_t cyclesSinceReport) override;
  void SondesHeard(const std::vector<HeardSonde>& heard) override;
  void DecoderLost() override;
  void PositionReportDue(const LocalTime& at) override;
  void ObjectMode(const std::string& lastObjectName) override;
  void NoObjectName(const std::string& serial) override;
  void Destinations(const std::vector<DestinationStatus>& statuses,
                    const ClockReading& now) override;

  const Screen& screen() const { return screen_; }

 private:
  void LoginAnswer(const LoginVerdict& verdict);

  Console& console_;
  Screen screen_;
  // The decoder's latest list, and the sonde the dashboard shows (row 23 names the others).
  std::vector<HeardSonde> heard_;
  std::string followedSerial_;
};

}  // namespace nimbrix
