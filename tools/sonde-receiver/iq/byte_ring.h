#pragma once
// A bounded FIFO of the dongle's bytes between its USB thread and the reader. When full, new
// bytes are dropped (and counted) rather than old ones overwritten, in whole pairs, so the
// reader always starts a pair on an I.

#include <cstdint>
#include <span>
#include <vector>

namespace receiver {

class ByteRing {
 public:
  explicit ByteRing(std::size_t capacity_pairs);

  // Keeps as many whole pairs of `bytes` as fit; returns how many bytes were dropped.
  // An odd last byte is held until its partner comes.
  std::size_t Push(std::span<const std::uint8_t> bytes);
  // Takes up to `max_bytes` (rounded down to a pair) into `out`; returns the bytes taken.
  std::size_t Pop(std::uint8_t* out, std::size_t max_bytes);
  // Forgets everything held, up to `bytes` of it (even), e.g. after a retune.
  void Discard(std::size_t bytes);
  void Clear();

  std::size_t Size() const { return size_; }
  std::size_t Capacity() const { return data_.size(); }
  long long Dropped() const { return dropped_; }

 private:
  void PutByte(std::uint8_t b);

  std::vector<std::uint8_t> data_;
  std::size_t head_ = 0;  // oldest byte
  std::size_t size_ = 0;
  bool have_odd_ = false;
  bool odd_dropped_ = false;  // the held byte's pair did not fit: drop its partner too
  std::uint8_t odd_ = 0;
  long long dropped_ = 0;
};

}  // namespace receiver
