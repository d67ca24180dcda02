#include "outputs/frame_news.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace nimbrix {
namespace {

SondeSample Frame(const char* serial, int number, double latitude = 48.1,
                  const char* time = "2026-12-08 20:41:05") {
  SondeSample s;
  s.serial = serial;
  s.frame = number;
  s.latitude = latitude;
  s.longitude = 11.5;
  s.altitude = 1000;
  s.timeText = time;
  return s;
}

std::vector<bool> NewOnes(FrameNews& news, const SondeSample& sample, bool answered,
                          const std::vector<HeardSonde>& heard = {}) {
  std::vector<bool> marks;
  for (const SondeFrame& f : news.Mark(sample, answered, heard)) marks.push_back(f.isNew);
  return marks;
}

TEST(FrameNews, AFrameIsNewOnceWhateverMovesOn) {
  struct Case {
    const char* what;
    SondeSample next;
    bool isNew;
  };
  const Case cases[] = {
      {"the same frame again", Frame("S1", 7), false},
      {"the next number", Frame("S1", 8), true},
      {"the same number, another place", Frame("S1", 7, 48.2), true},
      {"the same number, another time", Frame("S1", 7, 48.1, "2026-12-08 20:41:06"), true},
      {"another sonde", Frame("DFM-314377", 7), true},
  };
  for (const Case& c : cases) {
    FrameNews news;
    EXPECT_EQ(NewOnes(news, Frame("S1", 7), true), std::vector<bool>{true}) << c.what;
    EXPECT_EQ(NewOnes(news, c.next, true), std::vector<bool>{c.isNew}) << c.what;
  }
}

TEST(FrameNews, EverySondeOfTheListOnItsOwn) {
  FrameNews news;
  const SondeSample followed = Frame("S1", 7);
  std::vector<HeardSonde> heard = {{Frame("S1", 7), 0}, {Frame("DFM-314377", 3), 400}};
  EXPECT_EQ(NewOnes(news, followed, true, heard), (std::vector<bool>{true, true}));
  heard[1].sample.frame = 4;
  EXPECT_EQ(NewOnes(news, followed, true, heard), (std::vector<bool>{false, true}));
  // Without a list the sample is the one sonde, and only when the decoder answered.
  EXPECT_EQ(NewOnes(news, followed, true), std::vector<bool>{false});
  EXPECT_EQ(NewOnes(news, Frame("S1", 8), false), std::vector<bool>{});
  EXPECT_EQ(NewOnes(news, Frame("S1", 8), true), std::vector<bool>{true});
}

TEST(FrameNews, ADecoderMakingUpSerialsDoesNotGrowIt) {
  FrameNews news;
  for (std::size_t i = 0; i < 10 * FrameNews::kSondesRemembered; ++i) {
    const std::string serial = std::to_string(i);
    EXPECT_EQ(NewOnes(news, Frame(serial.c_str(), 1), true), std::vector<bool>{true});
  }
  // Forgotten beyond the bound: at worst a frame counts as new once more.
  EXPECT_EQ(NewOnes(news, Frame("0", 1), true), std::vector<bool>{true});
}

}  // namespace
}  // namespace nimbrix
