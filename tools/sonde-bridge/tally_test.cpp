#include "tally.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace bridge {
namespace {

Tally Make(std::uint64_t accepted, std::vector<std::pair<SkipReason, std::uint64_t>> skipped) {
  Tally t;
  t.accepted = accepted;
  for (const auto& [reason, n] : skipped) t.skipped[static_cast<std::size_t>(reason)] = n;
  return t;
}

TEST(TallyTest, SummaryInWords) {
  using enum SkipReason;
  struct Case {
    Tally tally;
    const char* text;
  } const cases[] = {
      {Make(0, {}), "0 lines read, 0 frames accepted, 0 lines skipped"},
      {Make(1, {}), "1 line read, 1 frame accepted, 0 lines skipped"},
      {Make(0, {{kNotJson, 1}}), "1 line read, 0 frames accepted, 1 line skipped (1 not JSON)"},
      // Reasons in a fixed order, whatever the order they came in.
      {Make(60, {{kOtherSonde, 3}, {kTooLong, 1}, {kIncompleteSerial, 2}}),
       "66 lines read, 60 frames accepted, 6 lines skipped (1 too long, 2 incomplete serial, "
       "3 another sonde)"},
  };
  for (const Case& c : cases) EXPECT_EQ(SummaryText(c.tally), c.text);
}

TEST(TallyTest, SinceIsWhatCameAfterTheEarlierCopy) {
  const Tally before = Make(3, {{SkipReason::kNotJson, 2}});
  const Tally now = Make(5, {{SkipReason::kNotJson, 7}, {SkipReason::kEncrypted, 1}});
  EXPECT_EQ(SummaryText(now.Since(before)),
            "8 lines read, 2 frames accepted, 6 lines skipped (5 not JSON, 1 encrypted)");
}

TEST(TallyTest, AnInputThatEndsWithoutAFrameNamesTheLikelyCause) {
  EXPECT_EQ(EndOfInputTexts(Make(2, {{SkipReason::kNotJson, 1}})),
            std::vector<std::string>{
                "end of the input: 3 lines read, 2 frames accepted, 1 line skipped (1 not JSON)"});
  const std::vector<std::string> nothing = EndOfInputTexts(Make(0, {}));
  ASSERT_GE(nothing.size(), 2u);
  EXPECT_EQ(nothing[0], "end of the input: 0 lines read, 0 frames accepted, 0 lines skipped");
  EXPECT_EQ(nothing[1], "the decoder printed nothing usable: is its input right?");
  const std::vector<std::string> junk = EndOfInputTexts(Make(0, {{SkipReason::kNotJson, 40}}));
  ASSERT_GE(junk.size(), 2u);
  EXPECT_EQ(junk[1], "the decoder printed nothing usable: is its input right?");
}

}  // namespace
}  // namespace bridge
