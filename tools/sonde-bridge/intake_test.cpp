#include "intake.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
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

std::string Item(FrameStore& store, int index) {
  auto a = store.AnswerFor(static_cast<std::int16_t>(index));
  if (!a) return "<none>";
  if (const auto* s = std::get_if<std::string>(&a->value)) return *s;
  if (const auto* i = std::get_if<std::int64_t>(&a->value)) return std::to_string(*i);
  return "<other>";
}

TEST(FrameStoreTest, EmptyBeforeTheFirstFrameAndOnlyItems0To17) {
  FrameStore store;
  for (int i = 0; i < 18; ++i) {
    auto a = store.AnswerFor(static_cast<std::int16_t>(i));
    ASSERT_TRUE(a.has_value()) << i;
    EXPECT_EQ(a->vt, decoder::VT_EMPTY) << i;
    EXPECT_EQ(a->dbusType, "ay") << i;
  }
  for (int i : {-1, 18, 32767, -32768}) {
    EXPECT_FALSE(store.AnswerFor(static_cast<std::int16_t>(i)).has_value()) << i;
  }
}

TEST(FrameStoreTest, OneRoundOfQuestionsIsAnsweredFromOneFrame) {
  auto now = std::chrono::steady_clock::time_point{};
  FrameStore store({}, [&now] { return now; });
  Intake intake({}, store);
  intake.Feed(Line("S1", 10, 1) + "\n");
  EXPECT_EQ(Item(store, 0), "S1");
  EXPECT_EQ(Item(store, 6), "2026-05-01 11:35:01");
  intake.Feed(Line("S1", 11, 2) + "\n");  // arrives while the station is halfway through
  EXPECT_EQ(Item(store, 13), "10") << "the rest of the round: the frame it began with";
  EXPECT_EQ(Item(store, 0), "S1");  // the next round
  EXPECT_EQ(Item(store, 13), "11");
  intake.Feed(Line("S1", 12, 3) + "\n");
  EXPECT_EQ(Item(store, 13), "12") << "the same index again starts a round";
  EXPECT_EQ(Item(store, 0), "S1");
  EXPECT_EQ(Item(store, 6), "2026-05-01 11:35:03");
  intake.Feed(Line("S1", 13, 4) + "\n");
  now += std::chrono::milliseconds(3500);  // a round that stopped halfway ends by itself
  EXPECT_EQ(Item(store, 13), "13");
}

TEST(IntakeTest, TheNewestAcceptedFrameIsHeldThroughJunk) {
  FrameStore store;
  Intake intake({}, store);
  intake.Feed(Line("S1", 10, 1) + "\n\n" + Line("S1", 20, 2) + "\n\nstatus text\n{ broken\n");
  EXPECT_EQ(Item(store, 0), "S1");
  EXPECT_EQ(Item(store, 13), "20");
  intake.Feed("[1,2]\n" + Line("S1", 21, 3).substr(0, 40));
  intake.EndOfStream();  // the cut last line is a skip, not a frame
  EXPECT_EQ(Item(store, 13), "20");
  const Tally t = store.Counts();
  EXPECT_EQ(t.accepted, 2u);
  EXPECT_EQ(t.skipped[static_cast<int>(SkipReason::kNotJson)], 3u);
  EXPECT_EQ(t.skipped[static_cast<int>(SkipReason::kNotObject)], 1u);
  EXPECT_EQ(SummaryText(t),
            "6 lines read, 2 frames accepted, 4 lines skipped (3 not JSON, 1 not an object)");
}

TEST(IntakeTest, SerialPinsOneSonde) {
  FrameStore store;
  IntakeOptions options;
  options.serial = "S1";
  Intake intake(options, store);
  intake.Feed(Line("S1", 10, 1) + "\n" + Line("S2", 20, 2) + "\n" + Line("S10", 30, 3) + "\n");
  EXPECT_EQ(Item(store, 0), "S1");
  EXPECT_EQ(Item(store, 13), "10");
  EXPECT_EQ(SummaryText(store.Counts()),
            "3 lines read, 1 frame accepted, 2 lines skipped (2 another sonde)");
}

TEST(IntakeTest, TheOptionsFrequencyFillsItem7) {
  FrameStore store("403.500");
  Intake intake({}, store);
  intake.Feed(Line("S1", 10, 1) + "\n");
  EXPECT_EQ(Item(store, 7), "403.500");
}

TEST(IntakeTest, VerboseSaysWhatBecameOfEveryLine) {
  FrameStore store;
  std::vector<std::string> log;
  IntakeOptions options;
  options.serial = "S1";
  options.verbose = [&log](const std::string& s) { log.push_back(s); };
  Intake intake(options, store);
  intake.Feed(Line("S1", 10, 1) + "\n\n" + std::string(kMaxLineBytes + 1, 'x') + "\n" +
              Line("S\\u001b[2J", 11, 2) + "\n{\"id\": \"S1\"}\n");
  EXPECT_EQ(log, (std::vector<std::string>{
                     "line 1: S1 frame 10 at 2026-05-01 11:35:01 UTC",
                     "line 2 skipped: too long",
                     "line 3 skipped: another sonde (S?[2J)",
                     "line 4 skipped: missing field (datetime)",
                 }));
  EXPECT_EQ(SummaryText(store.Counts()),
            "4 lines read, 1 frame accepted, 3 lines skipped (1 too long, 1 missing field, 1 "
            "another sonde)");
}

// An intake on a virtual clock, its notices and its store.
struct Bench {
  std::int64_t nowMs = 0;
  std::vector<std::string> notices;
  FrameStore store;
  std::unique_ptr<Intake> intake;

  explicit Bench(IntakeOptions options = {}) {
    options.now = [this] { return nowMs; };
    options.notice = [this](const std::string& s) { notices.push_back(s); };
    intake = std::make_unique<Intake>(std::move(options), store);
  }
  void At(std::int64_t ms, const std::string& lines) {
    nowMs = ms;
    intake->Feed(lines);
  }
};

TEST(IntakeTest, TwoSondesInOneStreamTheFirstIsFollowedUntilItFallsSilent) {
  Bench b;
  for (int s = 0; s < 10; ++s) {
    b.At(s * 1000, Line("DFM-314377", 100 + s, s) + "\n\n" + Line("DFM-999999", 500 + s, s) + "\n");
    EXPECT_EQ(Item(b.store, 0), "DFM-314377") << s;
    EXPECT_EQ(Item(b.store, 13), std::to_string(100 + s)) << s;
  }
  // DFM-314377 stops at 9 s; the other one goes on and is taken 30 s after that.
  for (int s = 10; s < 50; ++s) {
    b.At(s * 1000, Line("DFM-999999", 500 + s, s) + "\n");
    EXPECT_EQ(Item(b.store, 0), s < 39 ? "DFM-314377" : "DFM-999999") << s;
  }
  EXPECT_EQ(b.notices, (std::vector<std::string>{
                           "following sonde DFM-314377",
                           "following sonde DFM-999999 now: DFM-314377 has sent nothing accepted "
                           "for 30 s",
                       }));
  EXPECT_EQ(SummaryText(b.store.Counts()),
            "60 lines read, 21 frames accepted, 39 lines skipped (39 another sonde)");
}

TEST(IntakeTest, APlaceholderIdIsNeverServed) {
  Bench b;
  b.At(0, Line("DFM-xxxxxxxx", 1, 1) + "\n");
  EXPECT_EQ(b.store.AnswerFor(0)->vt, decoder::VT_EMPTY);  // still no frame
  b.At(1000, Line("DFM-314377", 2, 2) + "\n" + Line("DFM-xxxxxxxx", 3, 3) + "\n");
  EXPECT_EQ(Item(b.store, 0), "DFM-314377");
  EXPECT_EQ(Item(b.store, 13), "2");
  EXPECT_EQ(SummaryText(b.store.Counts()),
            "3 lines read, 1 frame accepted, 2 lines skipped (2 incomplete serial)");
  // A sonde whose id is a placeholder was never followed: no move to tell.
  EXPECT_EQ(b.notices, (std::vector<std::string>{"following sonde DFM-314377"}));
}

TEST(IntakeTest, LinesWithoutAFrameFor30SecondsAreToldWithTheirReasons) {
  IntakeOptions options;
  options.serial = "S9";
  Bench b(options);
  for (int s = 0; s <= 40; ++s)
    b.At(s * 1000, "[ " + std::to_string(s) + "] text\n" + Line("S1", s, s) + "\n");
  EXPECT_EQ(b.notices, (std::vector<std::string>{
                           "no frame accepted for 30 s: the 61 lines since were skipped (31 not "
                           "JSON, 30 another sonde)",
                       }));
}

// A geoid 47 m above the ellipsoid everywhere.
class FlatGeoid : public Geoid {
 public:
  std::optional<double> HeightAt(double, double) override { return 47.0; }
};

TEST(IntakeTest, HeightsAreServedAboveSeaLevel) {
  IntakeOptions options;
  options.geoid = [](std::string&) { return std::make_unique<FlatGeoid>(); };
  Bench b(options);
  auto alt = [&b] { return std::get<double>(b.store.AnswerFor(3)->value); };
  const std::string frame = Line("S1", 1, 1);  // alt 900 ("ref_position" absent)
  b.At(0, frame + "\n");
  EXPECT_EQ(alt(), 900);
  b.At(1000, frame.substr(0, frame.size() - 1) + R"(, "ref_position": "GPS" })" + "\n");
  EXPECT_EQ(alt(), 853);
  b.At(2000, frame.substr(0, frame.size() - 1) +
                 R"(, "ref_position": "GPS", "diff_GPS_MSL": 47.86 })" + "\n");
  EXPECT_DOUBLE_EQ(alt(), 900 - 47.86);
  b.At(3000, frame.substr(0, frame.size() - 1) + R"(, "ref_position": "MSL" })" + "\n");
  EXPECT_EQ(alt(), 900);
}

TEST(IntakeTest, NoGeoidIsToldOnceAndTheHeightStays) {
  IntakeOptions options;
  options.geoid = [](std::string& error) -> std::unique_ptr<Geoid> {
    error = "the geoid grid egm96_15.gtx cannot be read";
    return nullptr;
  };
  Bench b(options);
  const std::string frame = Line("S1", 1, 1);
  const std::string gps = frame.substr(0, frame.size() - 1) + R"(, "ref_position": "GPS" })";
  b.At(0, gps + "\n" + gps + "\n");
  EXPECT_EQ(std::get<double>(b.store.AnswerFor(3)->value), 900);
  ASSERT_EQ(b.notices.size(), 2u);
  EXPECT_EQ(b.notices[1].rfind("the geoid grid egm96_15.gtx cannot be read: heights", 0), 0u)
      << b.notices[1];
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
