#pragma once
// The engine's parts made of the real DSP and decoders: a channel of the wide stream, its
// kind told by the detector, then our RS41 or DFM decoder, or an open decoder as a child.

#include <memory>
#include <string>

#include "app/engine.h"

namespace receiver {

struct DspPartsConfig {
  int fft_size = 2048;  // 1 kHz bins at 2.048 MS/s
  double channel_rate = 48000;
  std::string decoders_dir;
  std::string path;  // where else to look for the open decoders (PATH)
};

// Nothing when this build has not got the DSP.
std::unique_ptr<ReceiverParts> MakeDspParts(const DspPartsConfig& config);

}  // namespace receiver
