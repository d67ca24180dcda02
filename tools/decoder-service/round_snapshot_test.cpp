#include "decoder-service/round_snapshot.h"

#include <gtest/gtest.h>

namespace decoder {
namespace {

// A decoder whose frame is the second of the clock the test moves.
struct Ticking {
  std::int64_t nowMs = 0;
  int asked = 0;
  AnswerSource Source() {
    return [this](std::int16_t index) -> std::optional<Answer> {
      ++asked;
      if (index > 20) return std::nullopt;
      return Answer::Int4(static_cast<std::int32_t>(nowMs / 1000));
    };
  }
};

std::int64_t Value(const std::optional<Answer>& a) {
  return std::get<std::int64_t>(a->value);
}

TEST(RoundSnapshot, ARoundIsOneFrameEvenAcrossTheSecond) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::int16_t, std::int64_t>> asks;  // item, ms
    std::vector<std::int64_t> frames;
  } cases[] = {
      {"a round across a frame change", {{0, 999}, {1, 1000}, {13, 1003}}, {0, 0, 0}},
      {"the next round sees the new frame",
       {{0, 999}, {13, 1001}, {0, 1950}, {13, 1952}},
       {0, 0, 1, 1}},
      {"an item asked alone, late, is new", {{0, 999}, {13, 1500}}, {0, 1}},
  };
  for (const Case& c : cases) {
    Ticking decoder;
    RoundSnapshot rounds(decoder.Source());
    std::vector<std::int64_t> frames;
    for (const auto& [item, ms] : c.asks) {
      decoder.nowMs = ms;
      frames.push_back(Value(rounds.At(item, ms)));
    }
    EXPECT_EQ(frames, c.frames) << c.name;
  }
}

TEST(RoundSnapshot, AnIndexOutsideTheItemsIsAskedAsItIs) {
  Ticking decoder;
  RoundSnapshot rounds(decoder.Source());
  EXPECT_FALSE(rounds.At(25, 0).has_value());
  EXPECT_EQ(decoder.asked, 1);
  EXPECT_TRUE(rounds.At(3, 0).has_value());
  EXPECT_EQ(decoder.asked, 1 + kItemCount);
}

}  // namespace
}  // namespace decoder
