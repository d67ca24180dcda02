#include "dsp/kind_detector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace receiver {
namespace {

constexpr double kRate = 48000;

// Each kind's header as sent (1 = upper frequency), for the synthetic frames below.
struct KindCase {
  SondeKind kind;
  const char* header;
};

std::string MxxHeader(std::uint8_t b0, std::uint8_t b1) {
  // Sync, then two bytes in biphase-mark (a change at each bit edge, another mid-bit for 1).
  std::string s = "11001100110011001010011001001100";
  char level = '0';
  for (std::uint8_t byte : {b0, b1}) {
    for (int b = 7; b >= 0; --b) {
      level = level == '1' ? '0' : '1';
      s += level;
      if ((byte >> b) & 1) level = level == '1' ? '0' : '1';
      s += level;
    }
  }
  return s;
}

// Demodulated samples (Hz) of symbols at a rate: levels +-deviation, their edges softened.
void AddFsk(const std::string& bits, double symbol_rate, double deviation, double sign,
            double& clock, std::vector<float>& out) {
  const double sps = kRate / symbol_rate;
  double smooth = 0;
  for (char b : bits) {
    const double level = (b == '1' ? 1.0 : -1.0) * deviation * sign;
    clock += sps;
    while (clock >= 1) {
      smooth += 0.5 * (level - smooth);
      out.push_back(static_cast<float>(smooth));
      clock -= 1;
    }
  }
}

// The iMet-4's audio subcarrier: 1200 Hz for 1, 2200 Hz for 0, continuous phase.
void AddAfsk(const std::string& bits, double deviation, double& phase, double& clock,
             std::vector<float>& out) {
  const double sps = kRate / 1200;
  for (char b : bits) {
    const double tone = b == '1' ? 1200 : 2200;
    clock += sps;
    while (clock >= 1) {
      phase += 2 * std::numbers::pi * tone / kRate;
      out.push_back(static_cast<float>(deviation * std::sin(phase)));
      clock -= 1;
    }
  }
}

std::string RandomBits(std::mt19937& rng, std::size_t n) {
  std::string s;
  for (std::size_t i = 0; i < n; ++i) s += (rng() & 1) ? '1' : '0';
  return s;
}

std::string Manchester(const std::string& bits) {
  std::string s;
  for (char b : bits) s += b == '1' ? "01" : "10";
  return s;
}

// Frames of a kind: header and random payload, three times, with a little noise.
std::vector<float> Stream(SondeKind kind, bool inverted, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<float> out;
  const KindSignal sig = SignalOf(kind);
  const double sign = inverted ? -1 : 1;
  double clock = 0, phase = 0;
  for (int frame = 0; frame < 3; ++frame) {
    switch (kind) {
      case SondeKind::kImet4: {
        std::string bits(40, '1');
        bits += "0100000001";  // 0x01, 8N1, LSB first
        for (int i = 0; i < 20; ++i) {
          bits += '0';
          bits += RandomBits(rng, 8);
          bits += '1';
        }
        AddAfsk(bits, sig.deviation_hz, phase, clock, out);
        continue;
      }
      case SondeKind::kRs41:
        AddFsk("0000100001101101010100111000100001000100011010010100100000011111" +
                   RandomBits(rng, 600),
               sig.symbol_rate, sig.deviation_hz, sign, clock, out);
        break;
      case SondeKind::kRs92:
        AddFsk(std::string("10100110011001101001") + "10100110011001101001" +
                   "1010011001100110100110101010100110101001" + Manchester(RandomBits(rng, 300)),
               sig.symbol_rate, sig.deviation_hz, sign, clock, out);
        break;
      case SondeKind::kLms6:
        AddFsk("0101011000001000000111001001011100011010101001110011110100111110" +
                   RandomBits(rng, 600),
               sig.symbol_rate, sig.deviation_hz, sign, clock, out);
        break;
      case SondeKind::kDfm:
        AddFsk("10011010100110010101101001010101" + Manchester(RandomBits(rng, 250)),
               sig.symbol_rate, sig.deviation_hz, sign, clock, out);
        break;
      case SondeKind::kM10:
        AddFsk(MxxHeader(0x64, 0x9F) + Manchester(RandomBits(rng, 400)), sig.symbol_rate,
               sig.deviation_hz, sign, clock, out);
        break;
      case SondeKind::kM20:
        AddFsk(MxxHeader(0x45, 0x20) + Manchester(RandomBits(rng, 400)), sig.symbol_rate,
               sig.deviation_hz, sign, clock, out);
        break;
      case SondeKind::kIms100:
        AddFsk(
            "110011001101001101001101010100101010110010101010" + Manchester(RandomBits(rng, 200)),
            sig.symbol_rate, sig.deviation_hz, sign, clock, out);
        break;
      case SondeKind::kMrz:
        AddFsk("10011001100110011001101010101010" + Manchester(RandomBits(rng, 200)),
               sig.symbol_rate, sig.deviation_hz, sign, clock, out);
        break;
    }
  }
  std::normal_distribution<float> noise(0.0f, 300.0f);
  for (float& x : out) x += noise(rng);
  return out;
}

struct Case {
  SondeKind kind;
  bool inverted;
};

class KindTest : public ::testing::TestWithParam<Case> {};

TEST_P(KindTest, TellsTheKindAndItsPolarity) {
  const Case c = GetParam();
  std::vector<float> demod = Stream(c.kind, c.inverted, 5);
  KindDetector detector(kRate);
  // In uneven pieces, as a channel hands them over.
  for (std::size_t at = 0; at < demod.size(); at += 777) {
    detector.Process(
        std::span<const float>(demod).subspan(at, std::min<std::size_t>(777, demod.size() - at)));
  }
  ASSERT_TRUE(detector.Found().has_value()) << KindName(c.kind);
  EXPECT_EQ(KindName(detector.Found()->kind), KindName(c.kind));
  // The AFSK tones do not care which way the carrier swings.
  EXPECT_EQ(detector.Found()->inverted, c.kind == SondeKind::kImet4 ? false : c.inverted);
  EXPECT_GE(detector.Found()->syncs_seen, 1);
}

std::vector<Case> AllCases() {
  std::vector<Case> cases;
  for (SondeKind kind : kAllKinds) {
    cases.push_back({kind, false});
    cases.push_back({kind, true});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(AllKinds, KindTest, ::testing::ValuesIn(AllCases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           std::string name(KindName(info.param.kind));
                           std::erase(name, '-');
                           return name + (info.param.inverted ? "Inverted" : "Upright");
                         });

struct NotASonde {
  const char* name;
  std::vector<float> (*make)(std::size_t n);
};

std::vector<float> Noise(std::size_t n) {
  // The discriminator's output on no signal: frequencies all over the channel.
  std::mt19937 rng(1);
  std::uniform_real_distribution<float> u(-24000, 24000);
  std::vector<float> out(n);
  for (float& x : out) x = u(rng);
  return out;
}

std::vector<float> GaussianNoise(std::size_t n) {
  std::mt19937 rng(2);
  std::normal_distribution<float> g(0, 3000);
  std::vector<float> out(n);
  for (float& x : out) x = g(rng);
  return out;
}

std::vector<float> Carrier(std::size_t n) {
  std::mt19937 rng(3);
  std::normal_distribution<float> g(0, 200);
  std::vector<float> out(n);
  for (float& x : out) x = 1500 + g(rng);
  return out;
}

std::vector<float> VoiceCarrier(std::size_t n) {
  std::mt19937 rng(4);
  std::normal_distribution<float> g(0, 150);
  std::vector<float> out(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double tones = std::sin(2 * std::numbers::pi * 440 * t) +
                         std::sin(2 * std::numbers::pi * 1000 * t + 1) +
                         std::sin(2 * std::numbers::pi * 1800 * t + 2);
    out[i] = static_cast<float>(1000 * tones) + g(rng);
  }
  return out;
}

std::vector<float> Hostile(std::size_t n) {
  std::vector<float> out(n, std::numeric_limits<float>::quiet_NaN());
  for (std::size_t i = 0; i < n; i += 3) out[i] = std::numeric_limits<float>::infinity();
  return out;
}

class NotASondeTest : public ::testing::TestWithParam<NotASonde> {};

TEST_P(NotASondeTest, SaysNothing) {
  std::vector<float> demod = GetParam().make(static_cast<std::size_t>(kRate * 1.5));
  KindDetector detector(kRate);
  detector.Process(demod);
  EXPECT_FALSE(detector.Found().has_value()) << KindName(detector.Found()->kind);
}

INSTANTIATE_TEST_SUITE_P(
    Signals, NotASondeTest,
    ::testing::Values(NotASonde{"Noise", Noise}, NotASonde{"GaussianNoise", GaussianNoise},
                      NotASonde{"Carrier", Carrier}, NotASonde{"VoiceCarrier", VoiceCarrier},
                      NotASonde{"Hostile", Hostile}),
    [](const ::testing::TestParamInfo<NotASonde>& info) { return std::string(info.param.name); });

TEST(SignalOfTest, EveryKindHasARateTheChannelCanCarry) {
  for (SondeKind kind : kAllKinds) {
    const KindSignal s = SignalOf(kind);
    EXPECT_GT(s.symbol_rate, 1000) << KindName(kind);
    EXPECT_LT(s.symbol_rate, 48000 / 4) << KindName(kind);
    EXPECT_GT(s.deviation_hz, 1000) << KindName(kind);
    EXPECT_LT(s.deviation_hz, 8000) << KindName(kind);
  }
  EXPECT_EQ(SignalOf(SondeKind::kRs41).symbol_rate, 4800);
  EXPECT_EQ(SignalOf(SondeKind::kDfm).symbol_rate, 2500);
}

}  // namespace
}  // namespace receiver

namespace receiver {
namespace {

// How many headers it takes: a short sync needs a second sighting, a long clean one does not.
struct RepeatCase {
  SondeKind kind;
  const char* header;
  int headers;
  bool found;
};

class RepeatTest : public ::testing::TestWithParam<RepeatCase> {};

TEST_P(RepeatTest, ShortSyncsMustComeTwice) {
  const RepeatCase& c = GetParam();
  const KindSignal sig = SignalOf(c.kind);
  std::mt19937 rng(31);
  std::vector<float> demod;
  double clock = 0;
  // Filler first, so the slicer has its clock and mean before the first header.
  AddFsk(Manchester(RandomBits(rng, 200)), sig.symbol_rate, sig.deviation_hz, 1, clock, demod);
  for (int h = 0; h < c.headers; ++h) {
    AddFsk(c.header + Manchester(RandomBits(rng, 200)), sig.symbol_rate, sig.deviation_hz, 1, clock,
           demod);
  }
  KindDetector detector(kRate);
  detector.Process(demod);
  EXPECT_EQ(detector.Found().has_value(), c.found);
  if (c.found) {
    EXPECT_EQ(KindName(detector.Found()->kind), KindName(c.kind));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Headers, RepeatTest,
    ::testing::Values(RepeatCase{SondeKind::kDfm, "10011010100110010101101001010101", 1, false},
                      RepeatCase{SondeKind::kDfm, "10011010100110010101101001010101", 2, true},
                      RepeatCase{SondeKind::kMrz, "10011001100110011001101010101010", 1, false},
                      RepeatCase{SondeKind::kRs41,
                                 "0000100001101101010100111000100001000100011010010100100000011111",
                                 1, true}));

TEST(KindDetectorTest, KeepsItsAnswerOnceFound) {
  std::vector<float> demod = Stream(SondeKind::kRs41, false, 8);
  KindDetector detector(kRate);
  detector.Process(demod);
  ASSERT_TRUE(detector.Found().has_value());
  detector.Process(Stream(SondeKind::kDfm, false, 9));
  EXPECT_EQ(KindName(detector.Found()->kind), "RS41");
}

}  // namespace
}  // namespace receiver
