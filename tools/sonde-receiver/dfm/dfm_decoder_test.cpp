#include "dfm/dfm_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "dfm/dfm_encoder.h"
#include "dfm/dfm_frame.h"

namespace receiver {
namespace {

const std::string kDir = std::string(NIMBRIX_REAL_DATA_DIR) + "/";

std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

struct Output {
  std::size_t block_line;
  std::string json;
};

std::vector<Output> DecodeBlocksFile(DfmDecoder& decoder) {
  std::vector<Output> out;
  const std::vector<std::string> lines = Lines(kDir + "dfm-DFM-314377-2015-03-17-blocks.txt");
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::optional<dfm::DfmWords> words = dfm::ParseWordsLine(lines[i].c_str());
    if (!words) continue;
    if (auto frame = decoder.DecodeWords(*words)) {
      out.push_back({i, FrameJsonLine(*frame, std::nullopt)});
    }
  }
  return out;
}

TEST(DfmRealFrames, EveryLineWithTheSerialIsTheOpenDecodersOwn) {
  std::vector<std::string> expected;
  int placeholders = 0;
  for (const std::string& line : Lines(kDir + "dfm-DFM-314377-2015-03-17.txt")) {
    if (line.rfind("{ ", 0) != 0) continue;
    if (line.find("DFM-xxxxxxxx") != std::string::npos) {
      ++placeholders;
      continue;
    }
    expected.push_back(line);
  }
  ASSERT_EQ(expected.size(), 10u);
  ASSERT_EQ(placeholders, 2);

  DfmDecoder decoder;
  const std::vector<Output> got = DecodeBlocksFile(decoder);
  ASSERT_EQ(got.size(), expected.size());
  for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i].json, expected[i]) << i;
  // One refusal: at 13:10:05 the counter loses its step with the seconds.
  EXPECT_EQ(decoder.Rejected(), 1);
}

TEST(DfmRealFrames, TheSerialIsCompleteAtItsSecondHearingAndNotBefore) {
  DfmDecoder decoder;
  const std::vector<Output> got = DecodeBlocksFile(decoder);
  ASSERT_FALSE(got.empty());
  // The serial's packet (6314377) is heard on lines 11 and 26 (1-based); the first frame with
  // it is the one whose date packet follows: line 27.
  const std::vector<std::string> lines = Lines(kDir + "dfm-DFM-314377-2015-03-17-blocks.txt");
  EXPECT_EQ(lines[10].substr(0, 7), "6314377");
  EXPECT_EQ(lines[25].substr(0, 7), "6314377");
  EXPECT_EQ(got.front().block_line, 26u);
  EXPECT_NE(got.front().json.find("\"datetime\": \"2015-03-17T13:09:54.000Z\""), std::string::npos);
}

TEST(DfmRealFrames, TheSameFramesFedAsChipsGiveTheSameLines) {
  DfmDecoder from_words;
  const std::vector<Output> expected = DecodeBlocksFile(from_words);

  std::vector<std::uint8_t> chips;
  for (const std::string& line : Lines(kDir + "dfm-DFM-314377-2015-03-17-blocks.txt")) {
    if (auto words = dfm::ParseWordsLine(line.c_str())) {
      const auto bits = dfm::WordsToFrameBits(*words);
      const auto frame_chips = dfm::BitsToChips(bits);
      chips.insert(chips.end(), frame_chips.begin(), frame_chips.end());
    }
  }
  DfmDecoder decoder;
  std::vector<std::string> got;
  for (std::size_t at = 0; at < chips.size(); at += 97) {
    const std::size_t n = std::min<std::size_t>(97, chips.size() - at);
    for (const DecodedFrame& f : decoder.PushSymbols(std::span(chips).subspan(at, n))) {
      got.push_back(FrameJsonLine(f, std::nullopt));
    }
  }
  ASSERT_EQ(got.size(), expected.size());
  for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], expected[i].json);
}

// 2025-06-15 10:20:17 UTC in the frame numbers' GPS seconds.
constexpr long long kSecond7Frame = 1434018017;

DfmTelemetry Flight(bool dfm06) {
  DfmTelemetry t;
  t.serial = dfm06 ? 314377 : 21071356;
  t.dfm06 = dfm06;
  t.year = 2025;
  t.month = 6;
  t.day = 15;
  t.hour = 10;
  t.minute = 20;
  t.lat_deg = 50.02602;
  t.lon_deg = 7.70338;
  t.alt_m = 7763.78;
  t.speed_ms = 23.08;
  t.heading_deg = 17.38;
  t.climb_ms = -2.86;
  t.sats = 7;
  t.diff_gps_msl_m = 47.86;
  return t;
}

// `seconds` seconds of a flight, five frames each, the sonde moving a little every second.
std::vector<std::uint8_t> Stream(DfmTelemetry t, int seconds, bool invert = false) {
  std::vector<std::uint8_t> chips;
  int index = 0;
  for (int s = 0; s < seconds; ++s) {
    t.second = 10 + s;
    t.frame_count = 100 + s;
    t.lat_deg += 0.0001;
    t.alt_m -= 3;
    for (int k = 0; k < 5; ++k, ++index) {
      auto frame = BuildDfmAirSymbols(t, index);
      chips.insert(chips.end(), frame.begin(), frame.end());
    }
  }
  if (invert) {
    for (auto& c : chips) c ^= 1;
  }
  return chips;
}

std::vector<DecodedFrame> Feed(DfmDecoder& decoder, const std::vector<std::uint8_t>& chips,
                               std::size_t chunk) {
  std::vector<DecodedFrame> frames;
  for (std::size_t at = 0; at < chips.size(); at += chunk) {
    const std::size_t n = std::min(chunk, chips.size() - at);
    for (DecodedFrame& f : decoder.PushSymbols(std::span(chips).subspan(at, n))) {
      frames.push_back(std::move(f));
    }
  }
  return frames;
}

std::string Member(const DecodedFrame& f, const std::string& name) {
  for (const JsonMember& m : f.members) {
    if (m.name == name) return m.value;
  }
  return "";
}

TEST(DfmRoundTrip, BuiltFramesDecodeInEitherPolarityAndAnyChunking) {
  struct Case {
    bool dfm06, invert;
    int channel;
    std::size_t chunk;
    const char* id;
    const char* subtype;
  } cases[] = {
      {true, false, 0xA, 560, "DFM-314377", "\"0x6:DFM06\""},
      {true, true, 0xA, 1, "DFM-314377", "\"0x6:DFM06\""},
      {false, false, 0xA, 333, "DFM-21071356", "\"0xA:DFM09\""},
      {false, true, 0xA, 4096, "DFM-21071356", "\"0xA:DFM09\""},
      {false, false, 0xB, 560, "DFM-21071356", "\"0xB:DFM17\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id + std::string(c.invert ? " inverted" : ""));
    DfmDecoder decoder;
    DfmTelemetry t = Flight(c.dfm06);
    t.serial_channel = c.channel;
    const auto frames = Feed(decoder, Stream(t, 8, c.invert), c.chunk);
    ASSERT_GE(frames.size(), 3u);
    const DecodedFrame& last = frames.back();
    EXPECT_EQ(last.id, c.id);
    EXPECT_EQ(last.frame, kSecond7Frame);
    EXPECT_EQ(Member(last, "datetime"), "\"2025-06-15T10:20:17.000Z\"");
    EXPECT_EQ(Member(last, "lat"), "50.02682");
    EXPECT_EQ(Member(last, "lon"), "7.70338");
    EXPECT_EQ(Member(last, "alt"), "7739.78000");
    EXPECT_EQ(Member(last, "vel_h"), "23.08000");
    EXPECT_EQ(Member(last, "heading"), "17.38000");
    EXPECT_EQ(Member(last, "vel_v"), "-2.86000");
    EXPECT_EQ(Member(last, "sats"), "7");
    EXPECT_EQ(Member(last, "subtype"), c.subtype);
    EXPECT_EQ(Member(last, "diff_GPS_MSL"), "47.86");
    EXPECT_EQ(decoder.Rejected(), 0);
    for (std::size_t i = 1; i < frames.size(); ++i) EXPECT_GT(frames[i].frame, frames[i - 1].frame);
  }
}

TEST(DfmRoundTrip, NoFrameBeforeTheSerialIsWhole) {
  DfmDecoder decoder;
  // Three seconds carry the DFM-06 serial's packet (slot 6 of 7) only once: frame 6.
  const auto frames = Feed(decoder, Stream(Flight(true), 2), 560);
  EXPECT_TRUE(frames.empty());
}

// Flips chips so that the code word `word` of the block starting at `block_bit` (bits after the
// sync) gets the bits `bits` wrong.
void FlipWordBits(std::vector<std::uint8_t>& chips, std::size_t frame, int block_bit, int words,
                  int word, std::initializer_list<int> bits) {
  for (int j : bits) {
    const std::size_t bit = dfm::kSyncBits + block_bit + words * j + word;
    const std::size_t at = frame * dfm::kFrameChips + 2 * bit;
    chips[at] ^= 1;
    chips[at + 1] ^= 1;
  }
}

TEST(DfmRoundTrip, OneWrongBitIsCorrectedTwoRefuseTheBlock) {
  struct Case {
    std::initializer_list<int> bits;
    int block_bit, words, word;
    bool frames_equal;
    long long rejected;
  } cases[] = {
      {{3}, 56, 13, 5, true, 0},        // a data bit of dat1
      {{6}, 0, 7, 2, true, 0},          // a parity bit of the configuration block
      {{0, 5}, 56, 13, 5, false, 1},    // two in one word of dat1
      {{1, 2}, 160, 13, 12, false, 1},  // two in the type word of dat2
  };
  DfmDecoder clean;
  const auto stream = Stream(Flight(false), 8);
  const auto expected = Feed(clean, stream, 560);
  for (const Case& c : cases) {
    auto chips = stream;
    // Frame 25 is the first of the sixth second: its packets 0 and 1.
    FlipWordBits(chips, 25, c.block_bit, c.words, c.word, c.bits);
    DfmDecoder decoder;
    const auto frames = Feed(decoder, chips, 560);
    EXPECT_EQ(decoder.Rejected(), c.rejected);
    if (c.frames_equal) {
      ASSERT_EQ(frames.size(), expected.size());
      for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(FrameJsonLine(frames[i], std::nullopt), FrameJsonLine(expected[i], std::nullopt));
      }
    } else {
      EXPECT_EQ(frames.size() + 1, expected.size());
    }
  }
}

TEST(DfmNoise, RandomChipsAndConstantsNeverMakeAFrame) {
  std::mt19937 rng(1234);
  std::vector<std::uint8_t> random(200000);
  for (auto& c : random) c = rng() & 1;
  struct Case {
    const char* name;
    std::vector<std::uint8_t> chips;
  } cases[] = {
      {"random", random},
      {"zeros", std::vector<std::uint8_t>(50000, 0)},
      {"ones", std::vector<std::uint8_t>(50000, 1)},
      {"alternating",
       [] {
         std::vector<std::uint8_t> v(50000);
         for (std::size_t i = 0; i < v.size(); ++i) v[i] = i & 1;
         return v;
       }()},
  };
  for (const Case& c : cases) {
    DfmDecoder decoder;
    EXPECT_TRUE(Feed(decoder, c.chips, 1000).empty()) << c.name;
  }
}

TEST(DfmNoise, AllZeroWordsNeverMakeAFrame) {
  DfmDecoder decoder;
  dfm::DfmWords zeros;
  zeros.dat1[12] = 8;
  for (int i = 0; i < 100; ++i) EXPECT_FALSE(decoder.DecodeWords(zeros).has_value());
}

TEST(DfmChannels, TwoSondesOnTwoDecodersStayApart) {
  DfmDecoder a, b;
  DfmTelemetry other = Flight(false);
  other.serial = 19012345;
  other.lat_deg = 48.1;
  const auto fa = Feed(a, Stream(Flight(true), 8), 560);
  const auto fb = Feed(b, Stream(other, 8), 700);
  ASSERT_FALSE(fa.empty());
  ASSERT_FALSE(fb.empty());
  for (const auto& f : fa) EXPECT_EQ(f.id, "DFM-314377");
  for (const auto& f : fb) EXPECT_EQ(f.id, "DFM-19012345");
}

TEST(DfmPlausibility, ImplausibleFramesAreRefusedAndCounted) {
  struct Case {
    const char* name;
    void (*spoil)(DfmTelemetry&);
  } cases[] = {
      {"position jump", [](DfmTelemetry& t) { t.lat_deg += 1.0; }},
      {"altitude jump", [](DfmTelemetry& t) { t.alt_m += 5000; }},
      {"time going back", [](DfmTelemetry& t) { t.minute -= 1; }},
      {"month 13", [](DfmTelemetry& t) { t.month = 13; }},
      {"altitude out of range", [](DfmTelemetry& t) { t.alt_m = 60000; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DfmDecoder decoder;
    DfmTelemetry t = Flight(false);
    std::vector<std::uint8_t> chips;
    int index = 0;
    for (int s = 0; s < 10; ++s) {
      DfmTelemetry now = t;
      now.second = 10 + s;
      now.frame_count = 100 + s;
      if (s == 7) c.spoil(now);
      for (int k = 0; k < 5; ++k, ++index) {
        const auto frame = BuildDfmAirSymbols(now, index);
        chips.insert(chips.end(), frame.begin(), frame.end());
      }
    }
    const auto frames = Feed(decoder, chips, 560);
    ASSERT_FALSE(frames.empty());
    for (const auto& f : frames) EXPECT_NE(f.frame, kSecond7Frame);
    EXPECT_GE(decoder.Rejected(), 1);
  }
}

}  // namespace
}  // namespace receiver

namespace receiver {
namespace {

TEST(DfmSync, TwoWrongSyncChipsAreToleratedThreeLoseTheFrame) {
  struct Case {
    std::initializer_list<int> chips;
    bool frame_lost;
  } cases[] = {{{}, false}, {{4}, false}, {{0, 31}, false}, {{1, 9, 30}, true}};
  DfmDecoder clean;
  const auto stream = Stream(Flight(true), 8);
  const std::size_t expected = Feed(clean, stream, 560).size();
  for (const Case& c : cases) {
    auto chips = stream;
    // Frame 29 carries packet 8 of the sixth second.
    for (int k : c.chips) chips[29 * dfm::kFrameChips + k] ^= 1;
    DfmDecoder decoder;
    EXPECT_EQ(Feed(decoder, chips, 560).size() + (c.frame_lost ? 1 : 0), expected);
  }
}

TEST(DfmNoise, RandomWordsThatPassTheCodeStillMakeNoFrame) {
  std::mt19937 rng(99);
  DfmDecoder decoder;
  for (int i = 0; i < 20000; ++i) {
    dfm::DfmWords words;
    for (auto& w : words.conf) w = rng() & 0xF;
    for (auto& w : words.dat1) w = rng() & 0xF;
    for (auto& w : words.dat2) w = rng() & 0xF;
    // Packet types mostly within 0-8, as a real stream has them.
    words.dat1[12] = static_cast<std::uint8_t>(rng() % 9);
    words.dat2[12] = static_cast<std::uint8_t>(rng() % 9);
    EXPECT_FALSE(decoder.DecodeWords(words).has_value()) << i;
  }
}

}  // namespace
}  // namespace receiver

namespace receiver {
namespace {

// A DFM-09's configuration cycle with its sensor channels filled: a 20 kOhm reference (3),
// the 220 kOhm feedback (4) at unit gain, the thermistor plus reference in 0, the battery in 5.
std::vector<std::array<std::uint8_t, dfm::kConfWords>> Dfm09Conf(std::uint32_t thermistor_plus_ref,
                                                                 std::uint32_t serial) {
  auto packet = [](std::uint32_t value28) {
    std::array<std::uint8_t, dfm::kConfWords> w{};
    for (int i = 0; i < dfm::kConfWords; ++i) w[i] = (value28 >> (24 - 4 * i)) & 0xF;
    return w;
  };
  return {packet(0x0000000 | thermistor_plus_ref),
          packet(0x1000001),
          packet(0x2000002),
          packet(0x3000000 | 20000),
          packet(0x4000000 | 220000),
          packet(0x5000000 | (2900 << 4)),  // battery, mV
          packet(0x6000000 | (29815 << 4)),
          packet(0x7000007),
          packet(0x8000008),
          packet(0xAC00000 | (((serial >> 16) & 0xFFFF) << 4)),
          packet(0xAC00001 | ((serial & 0xFFFF) << 4))};
}

TEST(DfmSensors, Dfm09BatteryAndTemperatureOnceEveryChannelIsHeard) {
  struct Case {
    std::uint32_t thermistor_plus_ref;
    const char* temp;
  } cases[] = {{25000, "25.0"}, {125400, "-40.0"}, {125450, "-40.0"}, {125370, "-40.0"}};
  for (const Case& c : cases) {
    const auto conf = Dfm09Conf(c.thermistor_plus_ref, 21071356);
    DfmDecoder decoder;
    DfmTelemetry t = Flight(false);
    std::optional<DecodedFrame> last;
    int index = 0;
    for (int s = 0; s < 14; ++s) {
      t.second = 10 + s;
      t.frame_count = 100 + s;
      for (int k = 0; k < 5; ++k, ++index) {
        dfm::DfmWords words = BuildDfmWords(t, index);
        words.conf = conf[index % conf.size()];
        if (auto f = decoder.DecodeWords(words)) last = f;
      }
    }
    ASSERT_TRUE(last) << c.thermistor_plus_ref;
    EXPECT_EQ(Member(*last, "batt"), "2.90");
    EXPECT_EQ(Member(*last, "temp"), c.temp) << c.thermistor_plus_ref;
    EXPECT_EQ(Member(*last, "subtype"), "\"0xA:DFM09\"");
    EXPECT_EQ(last->id, "DFM-21071356");
  }
}

}  // namespace
}  // namespace receiver

namespace receiver {
namespace {

TEST(DfmCounter, ACounterOutOfStepWithTheSecondsMakesTheSerialBeHeardAgain) {
  DfmDecoder decoder;
  DfmTelemetry t = Flight(false);
  std::vector<std::uint8_t> chips;
  int index = 0;
  for (int s = 0; s < 16; ++s) {
    t.second = 10 + s;
    t.frame_count = 100 + s + (s >= 6 ? 40 : 0);  // another sonde's counter from second 6 on
    for (int k = 0; k < 5; ++k, ++index) {
      const auto frame = BuildDfmAirSymbols(t, index);
      chips.insert(chips.end(), frame.begin(), frame.end());
    }
  }
  const auto frames = Feed(decoder, chips, 560);
  EXPECT_EQ(decoder.Rejected(), 1);
  std::vector<long long> seconds;
  for (const auto& f : frames) seconds.push_back(f.frame - (kSecond7Frame - 17));
  ASSERT_FALSE(seconds.empty());
  // Second 16 (the change) is refused; the next frame waits for the serial's second half,
  // which comes round in the frame after.
  EXPECT_EQ(std::count(seconds.begin(), seconds.end(), 16), 0);
  EXPECT_EQ(std::count(seconds.begin(), seconds.end(), 15), 1);
  EXPECT_EQ(std::count(seconds.begin(), seconds.end(), 17), 1);
  EXPECT_GE(seconds.back(), 20);
}

}  // namespace
}  // namespace receiver
