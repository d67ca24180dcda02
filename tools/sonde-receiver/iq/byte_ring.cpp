#include "iq/byte_ring.h"

#include <algorithm>

namespace receiver {

ByteRing::ByteRing(std::size_t capacity_pairs)
    : data_(std::max<std::size_t>(capacity_pairs, 1) * 2) {}

void ByteRing::PutByte(std::uint8_t b) {
  data_[(head_ + size_) % data_.size()] = b;
  ++size_;
}

std::size_t ByteRing::Push(std::span<const std::uint8_t> bytes) {
  std::size_t dropped = 0;
  std::size_t k = 0;
  if (have_odd_ && !bytes.empty()) {
    // Complete the held pair first.
    have_odd_ = false;
    if (odd_dropped_) {
      dropped += 2;
    } else {
      PutByte(odd_);
      PutByte(bytes[0]);
    }
    k = 1;
  }
  for (; k + 1 < bytes.size(); k += 2) {
    if (data_.size() - size_ >= 2) {
      PutByte(bytes[k]);
      PutByte(bytes[k + 1]);
    } else {
      dropped += 2;
    }
  }
  if (k < bytes.size()) {
    have_odd_ = true;
    odd_ = bytes[k];
    // Whether its pair is kept is decided now, with the rest of this push.
    odd_dropped_ = data_.size() - size_ < 2;
  }
  dropped_ += static_cast<long long>(dropped);
  return dropped;
}

std::size_t ByteRing::Pop(std::uint8_t* out, std::size_t max_bytes) {
  const std::size_t n = std::min(size_, max_bytes / 2 * 2);
  for (std::size_t k = 0; k < n; ++k) out[k] = data_[(head_ + k) % data_.size()];
  head_ = (head_ + n) % data_.size();
  size_ -= n;
  return n;
}

void ByteRing::Discard(std::size_t bytes) {
  const std::size_t n = std::min(size_, bytes / 2 * 2);
  head_ = (head_ + n) % data_.size();
  size_ -= n;
}

void ByteRing::Clear() {
  head_ = 0;
  size_ = 0;
  have_odd_ = false;
  odd_dropped_ = false;
}

}  // namespace receiver
