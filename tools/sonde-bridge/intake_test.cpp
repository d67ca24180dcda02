#include "intake.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace bridge {
namespace {

std::string Line(const std::string& id, int frame, int second) {
  return R"({ "type": "RS41", "frame": )" + std::to_string(frame) + R"(, "id": ")" + id +
         R"(", "datetime": "2026-05-01T11:35:)" + (second < 10 ? "0" : "") +
         std::to_string(second) +
         R"(.000Z", "lat": 47.1, "lon": 12.1, "alt": 900.0, "ref_datetime": "UTC" })";
}

std::string Item(const FrameStore& store, int index) {
  auto a = store.AnswerFor(static_cast<std::int16_t>(index));
  if (!a) return "<none>";
  if (const auto* s = std::get_if<std::string>(&a->value)) return *s;
  if (const auto* i = std::get_if<std::int64_t>(&a->value)) return std::to_string(*i);
  return "<other>";
}

TEST(FrameStoreTest, EmptyBeforeTheFirstFrameAndOnlyItems0To14) {
  FrameStore store;
  for (int i = 0; i < 15; ++i) {
    auto a = store.AnswerFor(static_cast<std::int16_t>(i));
    ASSERT_TRUE(a.has_value()) << i;
    EXPECT_EQ(a->vt, decoder::VT_EMPTY) << i;
    EXPECT_EQ(a->dbusType, "ay") << i;
  }
  for (int i : {-1, 15, 32767, -32768}) {
    EXPECT_FALSE(store.AnswerFor(static_cast<std::int16_t>(i)).has_value()) << i;
  }
}

TEST(IntakeTest, TheNewestAcceptedFrameIsHeldThroughJunk) {
  FrameStore store;
  Intake intake("", store, {});
  intake.Feed(Line("S1", 10, 1) + "\n\n" + Line("S2", 20, 2) + "\n\nstatus text\n{ broken\n");
  EXPECT_EQ(Item(store, 0), "S2");
  EXPECT_EQ(Item(store, 13), "20");
  intake.Feed("[1,2]\n" + Line("S2", 21, 3).substr(0, 40));
  intake.EndOfStream();  // the cut last line is a skip, not a frame
  EXPECT_EQ(Item(store, 13), "20");
  const Tally t = store.Counts();
  EXPECT_EQ(t.accepted, 2u);
  EXPECT_EQ(t.skipped[static_cast<int>(SkipReason::kNotJson)], 3u);
  EXPECT_EQ(t.skipped[static_cast<int>(SkipReason::kNotObject)], 1u);
  EXPECT_EQ(SummaryText(t), "2 frames accepted, 4 lines skipped (3 not JSON, 1 not an object)");
}

TEST(IntakeTest, SerialPinsOneSonde) {
  FrameStore store;
  Intake intake("S1", store, {});
  intake.Feed(Line("S1", 10, 1) + "\n" + Line("S2", 20, 2) + "\n" + Line("S10", 30, 3) + "\n");
  EXPECT_EQ(Item(store, 0), "S1");
  EXPECT_EQ(Item(store, 13), "10");
  EXPECT_EQ(SummaryText(store.Counts()), "1 frame accepted, 2 lines skipped (2 another sonde)");
}

TEST(IntakeTest, TheOptionsFrequencyFillsItem7) {
  FrameStore store("403.500");
  Intake intake("", store, {});
  intake.Feed(Line("S1", 10, 1) + "\n");
  EXPECT_EQ(Item(store, 7), "403.500");
}

TEST(IntakeTest, VerboseSaysWhatBecameOfEveryLine) {
  FrameStore store;
  std::vector<std::string> log;
  Intake intake("S1", store, [&log](const std::string& s) { log.push_back(s); });
  intake.Feed(Line("S1", 10, 1) + "\n\n" + std::string(kMaxLineBytes + 1, 'x') + "\n" +
              Line("S\\u001b[2J", 11, 2) + "\n{\"id\": \"S1\"}\n");
  EXPECT_EQ(log, (std::vector<std::string>{
                     "line 1: S1 frame 10 at 2026-05-01 11:35:01 UTC",
                     "line 2 skipped: too long",
                     "line 3 skipped: another sonde (S?[2J)",
                     "line 4 skipped: missing field (datetime)",
                 }));
  EXPECT_EQ(SummaryText(store.Counts()),
            "1 frame accepted, 3 lines skipped (1 too long, 1 missing field, 1 another sonde)");
}

TEST(PrintableTest, ControlBytesBecomeQuestionMarksAndLongTextsAreCut) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"S3210987", "S3210987"},
      {"a\r\nb\x1b\x7f", "a??b??"},
      {"\xC2\x9B"
       "2J \xC2\xA0 M\xC3\xBC",
       "?2J \xC2\xA0 M\xC3\xBC"},  // C1 CSI; NBSP stays
      {std::string(50, 'x'), std::string(40, 'x') + "..."},
  };
  for (const auto& c : cases) EXPECT_EQ(Printable(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace bridge
