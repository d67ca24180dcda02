#pragma once

#include <string>
#include <string_view>

#include "app/primary_link_status.h"
#include "app/station_view.h"
#include "config/station_config.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/files.h"
#include "uplink/login_answer.h"
#include "uplink/uplink.h"

namespace nimbrix {

// What the station makes of the link's events: the records of the error log, what the operator
// is shown of them, and the operator's ESC while no server answers.
class LinkView : public LinkEvents {
 public:
  LinkView(StationView& view, Console& console, Clock& clock, Files& files,
           const ServerList& servers)
      : view_(view), console_(console), clock_(clock), files_(files), servers_(servers) {}

  void Trying(int index, const std::string& entry) override;
  void OpenFailed(const std::string& host) override;
  void Connected(int index, const std::string& entry) override;
  void NoServerReachable() override;
  bool QuitWanted() override;
  bool Stopping() override { return console_.StopRequested(); }
  void SendFailed(int error, std::string_view line) override;
  void LinkDead(const DeadLink& dead) override;

  // A verdict on the last login: one LOGIN Error record and the warning for a login the server
  // did not verify (or did not answer while it sent other lines); a verified login takes an
  // earlier warning away.
  void ShowLoginVerdict(const LoginVerdict& verdict);

  // Keeps `status` up to date with the link's events from now on.
  void Track(PrimaryLinkStatus& status) { primary_ = &status; }

 private:
  std::string Record(std::string record);

  StationView& view_;
  Console& console_;
  Clock& clock_;
  Files& files_;
  const ServerList& servers_;
  PrimaryLinkStatus* primary_ = nullptr;
};

}  // namespace nimbrix
