#include "common/decoded_frame.h"

#include <gtest/gtest.h>

#include "common/sonde_kind.h"

namespace receiver {
namespace {

DecodedFrame Frame(bool with_tx) {
  DecodedFrame frame;
  frame.members = {{"type", JsonText("RS41")}, {"frame", JsonInt(3172)}};
  if (with_tx) frame.members.push_back({"tx_frequency", JsonInt(402000)});
  frame.members.push_back({"ref_datetime", JsonText("GPS")});
  frame.members.push_back({"ref_position", JsonText("GPS")});
  return frame;
}

TEST(FrameJsonLine, PutsFreqWhereTheOpenDecodersDo) {
  struct Case {
    bool with_tx;
    std::optional<int> freq;
    const char* line;
  } cases[] = {
      {true, 402003,
       R"({ "type": "RS41", "frame": 3172, "freq": 402003, "tx_frequency": 402000, )"
       R"("ref_datetime": "GPS", "ref_position": "GPS" })"},
      {false, 402003,
       R"({ "type": "RS41", "frame": 3172, "freq": 402003, "ref_datetime": "GPS", )"
       R"("ref_position": "GPS" })"},
      {true, std::nullopt,
       R"({ "type": "RS41", "frame": 3172, "tx_frequency": 402000, "ref_datetime": "GPS", )"
       R"("ref_position": "GPS" })"},
  };
  for (const Case& c : cases) EXPECT_EQ(FrameJsonLine(Frame(c.with_tx), c.freq), c.line);
}

TEST(JsonText, NeverLetsAControlByteOrAQuoteBreakTheLine) {
  EXPECT_EQ(JsonText("S24\n10\"2\\03\x1b"), R"("S2410\"2\\03")");
  EXPECT_EQ(JsonFixed(1.0 / 0.0, 5), "0.00000");
  EXPECT_EQ(JsonFixed(-3.19, 5), "-3.19000");
}

TEST(SondeKind, NamesGoBothWays) {
  for (SondeKind kind : kAllKinds) EXPECT_EQ(KindFromName(KindName(kind)), kind);
  EXPECT_FALSE(KindFromName("RS-41"));
}

}  // namespace
}  // namespace receiver
