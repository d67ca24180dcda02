#pragma once

// The station's outputs beside the primary APRS-IS link: extra APRS-IS destinations, SondeHub,
// the chase-car summary. The primary link keeps its own blocking road; these never hold the
// cycle up. The cycle feeds each of them one way, once per cycle, and reads back what the
// operator is to see of it.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "telemetry/sonde_sample.h"

namespace nimbrix {

// One destination as the operator sees it: on the dashboard, in the headless log and on the
// status page.
struct DestinationStatus {
  enum class State {
    kOff,         // configured but not started (or stopped)
    kConnecting,  // resolving, connecting, logging in, a request under way the first time
    kUp,          // delivering
    kFailing,     // delivering fails for now; it tries again by itself
    kDown,        // gave up (refused for good, or nothing to deliver to)
  };
  bool primary = false;  // the station's own APRS-IS link (row 24 and the link's events show it)
  std::string kind;      // "APRS-IS", "SondeHub", "UDP"
  std::string name;      // as configured: "host,port", or the API's base address
  State state = State::kOff;
  // A few words on the state, the same while the state is the same ("login verified",
  // "HTTP 503", "retry in 20 s" is not: counters and times go in the fields below).
  std::string stateText;
  std::int64_t sinceUtcMs = 0;        // when the state (and its text) began
  std::uint64_t sent = 0;             // lines or records delivered
  std::uint64_t failed = 0;           // lines or records lost: dropped, refused, given up
  std::int64_t lastSuccessUtcMs = 0;  // 0: none yet
  std::string lastMessage;  // the server's last word, as it said it (masked by whoever shows it)
};

// One sonde's frame as the cycle hands it, and whether it is new: decided once for every output
// (FrameNews), so that each counts a frame as the others do.
struct SondeFrame {
  const SondeSample* sample = nullptr;
  bool isNew = false;
};

// What the cycle hands every output, once per cycle, after the primary link's reports.
struct CycleFacts {
  const SondeSample& sample;
  bool decoderAnswered = false;
  std::int64_t utcMs = 0;        // the station's UTC clock when the sample was read
  std::int64_t monotonicMs = 0;  // the same moment on the monotonic clock
  // The lines handed to the primary link in this cycle, in order, CR LF included: position or
  // object, status, beacon.
  const std::vector<std::string>& linesSent;
  // The frames of this reading: every sonde the decoder has heard (its list, the followed one
  // among them) when it has a list and an output can carry several; otherwise the sample alone,
  // when the decoder answered.
  std::span<const SondeFrame> frames = {};
};

// The frames of this cycle that no output has had before, in the decoder's order.
template <typename Each>
void ForEachNewFrame(const CycleFacts& facts, Each each) {
  for (const SondeFrame& frame : facts.frames) {
    if (frame.isNew && frame.sample) each(*frame.sample);
  }
}

class Output {
 public:
  virtual ~Output() = default;
  // Takes this cycle's facts and moves its own work on, without waiting.
  virtual void Cycle(const CycleFacts& facts) = 0;
  // What the operator is to see of it now.
  virtual DestinationStatus Status() const = 0;
  // Error records for nimbrix.err, in its record forms (CR LF included), made since the last
  // call.
  virtual std::vector<std::string> TakeRecords() { return {}; }
  // A clean stop: delivers what must not be lost, waiting at most until `deadlineMs` on the
  // monotonic clock.
  virtual void Stop(std::int64_t deadlineMs) { (void)deadlineMs; }
};

}  // namespace nimbrix
