#include "iq/byte_ring.h"

#include <gtest/gtest.h>

#include <numeric>

namespace receiver {
namespace {

std::vector<std::uint8_t> Count(int from, int n) {
  std::vector<std::uint8_t> out(static_cast<std::size_t>(n));
  std::iota(out.begin(), out.end(), static_cast<std::uint8_t>(from));
  return out;
}

std::vector<std::uint8_t> PopAll(ByteRing& ring) {
  std::vector<std::uint8_t> out(ring.Size() + 8);
  out.resize(ring.Pop(out.data(), out.size()));
  return out;
}

struct PushCase {
  std::string name;
  std::size_t capacity_pairs;
  std::vector<int> chunk_sizes;
  std::size_t kept;
  long long dropped;
};

class ByteRingPushTest : public ::testing::TestWithParam<PushCase> {};

TEST_P(ByteRingPushTest, KeepsTheOldestWholePairsInOrder) {
  const auto& c = GetParam();
  ByteRing ring(c.capacity_pairs);
  int next = 0;
  for (int size : c.chunk_sizes) {
    ring.Push(Count(next, size));
    next += size;
  }
  EXPECT_EQ(ring.Dropped(), c.dropped);
  const auto got = PopAll(ring);
  EXPECT_EQ(got, Count(0, static_cast<int>(c.kept)));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ByteRingPushTest,
    ::testing::Values(PushCase{"Fits", 8, {4, 6}, 10, 0}, PushCase{"Full", 4, {6, 6}, 8, 4},
                      PushCase{"OddSplits", 8, {1, 3, 5, 1}, 10, 0},
                      PushCase{"OddLastByteHeld", 8, {3}, 2, 0},
                      PushCase{"OddAtTheEdge", 2, {3, 3}, 4, 2},
                      PushCase{"ZeroCapacityStillHoldsOnePair", 0, {2, 2}, 2, 2}),
    [](const auto& info) { return info.param.name; });

TEST(ByteRing, WrapsAroundAndPopsWholePairsOnly) {
  ByteRing ring(3);
  ring.Push(Count(0, 4));
  std::uint8_t out[8];
  EXPECT_EQ(ring.Pop(out, 3), 2u);  // rounded down to one pair
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 1);
  ring.Push(Count(4, 4));  // wraps
  EXPECT_EQ(ring.Size(), 6u);
  EXPECT_EQ(PopAll(ring), Count(2, 6));
  EXPECT_EQ(ring.Dropped(), 0);
}

TEST(ByteRing, DiscardAndClearKeepPairs) {
  ByteRing ring(8);
  ring.Push(Count(0, 9));
  ring.Discard(3);  // one pair
  EXPECT_EQ(PopAll(ring), Count(2, 6));
  ring.Push(Count(9, 1));  // completes the held byte 8
  EXPECT_EQ(PopAll(ring), Count(8, 2));
  ring.Push(Count(20, 3));
  ring.Clear();
  ring.Push(Count(30, 2));  // the held byte 22 is gone with the clear
  EXPECT_EQ(PopAll(ring), Count(30, 2));
}

}  // namespace
}  // namespace receiver
