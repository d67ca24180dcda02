#pragma once

#include "app/primary_link.h"
#include "app/station_outputs.h"
#include "app/station_platform.h"
#include "app/station_view.h"
#include "app/waiting_feed.h"
#include "config/station_config.h"
#include "telemetry/sonde_sample.h"
#include "uplink/beacon.h"
#include "uplink/heard_objects.h"
#include "uplink/report_state.h"
#include "uplink/uplink.h"

namespace nimbrix {

// The main cycle, about once a second: read the decoder, show the dashboard, send what is due,
// look at the server's answer, pause, read one key.
class MainCycle {
 public:
  MainCycle(Platform& platform, const StationConfig& config, PrimaryLink& primary,
            StationView& view, StationOutputs* outputs = nullptr, WaitingFeed* feed = nullptr)
      : p_(platform),
        config_(config),
        primary_(primary),
        uplink_(primary.uplink()),
        view_(view),
        outputs_(outputs),
        feed_(feed) {}

  // One cycle. False when it read ESC (the cycle ends); throws ProgramEnd when the operator
  // ended the program while a failed send looked for a server.
  bool Step();

  const ReportState& reportState() const { return state_; }

 private:
  // The station's own position (BEACON=YES with POSITION=), at the first cycle and every half
  // hour, as a line of the primary link: the outputs beside it get it with the reports.
  void SendBeaconIfDue(std::vector<HandedLine>& handed);
  // The object mode with a decoder that lists every sonde: the objects due for the others.
  void SendHeardObjects(std::vector<HandedLine>& handed);

  Platform& p_;
  const StationConfig& config_;
  PrimaryLink& primary_;
  Uplink& uplink_;  // the primary's
  StationView& view_;
  StationOutputs* outputs_;  // the outputs beside the primary link, when the station has them
  WaitingFeed* feed_;        // what keeps them fed while the primary link waits
  SondeSample sample_;
  ReportState state_;
  bool decoderAnswers_ = true;  // it was attached at start-up
  BeaconTimer beacon_;
  HeardObjects heardObjects_;
};

}  // namespace nimbrix
