#pragma once

// Which of a reading's frames are new: told once, for every output that carries frames
// (SondeHub, the chase-car summary, the flight log), so that they all count one frame alike.
// A frame is new when its number, its time or its position differ from the last one handed of
// the same sonde (by serial). Pure: values in, values out.

#include <cstddef>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "outputs/output.h"
#include "telemetry/sonde_sample.h"
#include "telemetry/telemetry.h"

namespace nimbrix {

class FrameNews {
 public:
  // A long run sees many sondes come and go; those in view at once are few.
  static constexpr std::size_t kSondesRemembered = 64;

  // The frames of one reading, each marked new or not: every sonde of `heard`, or, without a
  // list, the sample alone when the decoder answered. The frames point into `sample` and
  // `heard`, which must outlive them.
  std::vector<SondeFrame> Mark(const SondeSample& sample, bool answered,
                               std::span<const HeardSonde> heard);

 private:
  bool IsNew(const SondeSample& sample);

  std::map<std::string, std::string> last_;  // serial -> the identity of its last frame
};

}  // namespace nimbrix
