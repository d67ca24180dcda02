#pragma once
// The engine's parts made of the real DSP and decoders: a channel of the wide stream, its
// kind told by the detector, then our RS41 or DFM decoder, or an open decoder as a child.

#include <memory>
#include <string>

#include "app/engine.h"

namespace receiver {

struct DspPartsConfig {
  double sample_rate = 2048000;
  int fft_size = 0;  // 0: about 1 kHz bins at the sample rate (the peak finder's widths need it)
  double channel_rate = 48000;
  std::string decoders_dir;
  std::string path;  // where else to look for the open decoders (PATH)
};

// Nothing when this build has not got the DSP.
std::unique_ptr<ReceiverParts> MakeDspParts(const DspPartsConfig& config);

}  // namespace receiver
