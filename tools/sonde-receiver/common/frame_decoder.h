#pragma once
// A decoder of one kind on one channel. It is fed the channel's hard symbols at the kind's
// symbol rate (1 for the upper frequency of the FSK pair) as they come, in either polarity:
// it finds its own sync word, the polarity with it, and returns only frames that checked.

#include <cstdint>
#include <span>
#include <vector>

#include "common/decoded_frame.h"

namespace receiver {

class FrameDecoder {
 public:
  virtual ~FrameDecoder() = default;
  virtual std::vector<DecodedFrame> PushSymbols(std::span<const std::uint8_t> symbols) = 0;
  // Frames heard whose check failed, for the counts (SIGUSR1) and the put-aside rule.
  virtual long long Rejected() const = 0;
};

}  // namespace receiver
