#include "app/child_decoder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>

namespace receiver {
namespace {

std::uint32_t Le32(const std::vector<std::uint8_t>& b, int at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
int Le16(const std::vector<std::uint8_t>& b, int at) {
  return b[at] | b[at + 1] << 8;
}

TEST(WavStreamHeader, MonoSixteenBitAtTheRate) {
  const std::vector<std::uint8_t> h = WavStreamHeader(48000);
  ASSERT_EQ(h.size(), 44u);
  EXPECT_EQ(std::string(h.begin(), h.begin() + 4), "RIFF");
  EXPECT_EQ(std::string(h.begin() + 8, h.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(Le32(h, 16), 16u);
  EXPECT_EQ(Le16(h, 20), 1);  // PCM
  EXPECT_EQ(Le16(h, 22), 1);  // channels
  EXPECT_EQ(Le32(h, 24), 48000u);
  EXPECT_EQ(Le32(h, 28), 96000u);
  EXPECT_EQ(Le16(h, 32), 2);
  EXPECT_EQ(Le16(h, 34), 16);
  EXPECT_EQ(std::string(h.begin() + 36, h.begin() + 40), "data");
  EXPECT_EQ(Le32(h, 4) - Le32(h, 40), 36u);  // the sizes agree with each other
}

TEST(AudioFromDemod, ScaledAndClamped) {
  const float in[] = {0, 1200, -1200, 100000, -100000, std::numeric_limits<float>::quiet_NaN()};
  std::vector<std::int16_t> out;
  AudioFromDemod(in, 2400, out);
  EXPECT_EQ(out, (std::vector<std::int16_t>{0, 16384, -16384, 32767, -32767, 0}));
}

TEST(IsJsonObject, Grammar) {
  struct {
    const char* text;
    bool object;
  } cases[] = {
      {R"({ "type": "M10", "frame": 12, "lat": -1.5e-3, "ok": true, "x": null })", true},
      {R"({ "a": [1, {"b": "c\"d\u00e9"}], "e": {} })", true},
      {"{}", true},
      {R"({ "type": "M10", })", false},
      {R"({ "type": "M10" } trailing)", false},
      {R"({ "type": M10 })", false},
      {R"({ "type": "M10")", false},
      {R"([1, 2])", false},
      {R"({ "n": 01x })", false},
      {R"({ "n": - })", false},
      {R"({ "s": "a\qb" })", false},
      {"{ \"s\": \"a\tb\" }", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsJsonObject(c.text), c.object) << c.text;
  EXPECT_FALSE(IsJsonObject(std::string(100, '{') + std::string(100, '}')));  // depth bounded
}

TEST(JsonLineFilter, KeepsOnlyWholeFrames) {
  JsonLineFilter filter;
  std::vector<std::string> got;
  const char* chunks[] = {
      "[ 1234] (M10-012-3-45678) 2026-05-01 12:00:00 lat: 1\n{ \"type\": \"M1",
      "0\", \"frame\": 1 }\r\n\n",
      "{ \"type\": \"M10\", \"frame\": 2 \n",     // broken
      "{\"type\": \"M10\"}\n",                    // not as the decoders print it
      "  { \"type\": \"M10\", \"frame\": 3 }\n",  // indented: not a frame line
      "{ \"type\": \"M10\", \"frame\": 4 }",      // no newline yet
  };
  for (const char* chunk : chunks) {
    for (std::string& line : filter.Push(chunk)) got.push_back(line);
  }
  EXPECT_EQ(got, (std::vector<std::string>{R"({ "type": "M10", "frame": 1 })"}));
  EXPECT_EQ(filter.Dropped(), 1);
  EXPECT_EQ(filter.Push("\n"), (std::vector<std::string>{R"({ "type": "M10", "frame": 4 })"}));
}

TEST(JsonLineFilter, OverlongLineDroppedMemoryBounded) {
  JsonLineFilter filter;
  std::string huge = "{ \"type\": \"";
  huge += std::string(1 << 20, 'x');
  huge += "\" }\n";
  EXPECT_TRUE(filter.Push(huge).empty());
  EXPECT_EQ(filter.Push("{ \"type\": \"M20\" }\n").size(), 1u);
}

TEST(DecoderProgramFor, OwnKindsHaveNone) {
  EXPECT_FALSE(DecoderProgramFor(SondeKind::kRs41));
  EXPECT_FALSE(DecoderProgramFor(SondeKind::kDfm));
  EXPECT_EQ(*DecoderProgramFor(SondeKind::kM10), "m10mod");
  EXPECT_EQ(*DecoderProgramFor(SondeKind::kRs92), "rs92mod");
  for (SondeKind kind : kAllKinds) {
    if (kind != SondeKind::kRs41 && kind != SondeKind::kDfm) {
      EXPECT_TRUE(DecoderProgramFor(kind)) << KindName(kind);
    }
  }
}

class ProgramFolder : public testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/receiver-app-XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    dir_ = name;
    ASSERT_EQ(::mkdir((dir_ + "/a").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((dir_ + "/b").c_str(), 0755), 0);
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }
  void Make(const std::string& path, const std::string& text, mode_t mode) {
    std::ofstream(dir_ + "/" + path) << text;
    ::chmod((dir_ + "/" + path).c_str(), mode);
  }
  std::string dir_;
};

TEST_F(ProgramFolder, FoundInDirThenPath) {
  Make("a/m10mod", "", 0755);
  Make("b/m10mod", "", 0755);
  Make("b/rs92mod", "", 0755);
  Make("a/mXXmod", "", 0644);  // not runnable
  const std::string path = "/nonexistent::" + dir_ + "/b";
  EXPECT_EQ(FindProgram("m10mod", dir_ + "/a", path), dir_ + "/a/m10mod");
  EXPECT_EQ(FindProgram("m10mod", "", path), dir_ + "/b/m10mod");
  EXPECT_EQ(FindProgram("rs92mod", dir_ + "/a", path), dir_ + "/b/rs92mod");
  EXPECT_EQ(FindProgram("mXXmod", dir_ + "/a", path), "");
  EXPECT_EQ(FindProgram("../b/rs92mod", dir_ + "/a", ""), "");
  EXPECT_EQ(FindProgram("a", "", dir_), "");  // a folder is no program
}

// A stand-in decoder: checks the WAV header it is fed, prints a status line, a frame and
// junk, as the real ones mix them.
TEST_F(ProgramFolder, ChildFedWavAndItsFramesRead) {
  Make("a/fake",
       "#!/bin/sh\n"
       "head=$(head -c 4)\n"
       "echo \"status $head $1\"\n"
       "echo '{ \"type\": \"M10\", \"frame\": 7, \"id\": \"M10-1\" }'\n"
       "echo '{ \"type\": broken'\n"
       "echo\n",
       0755);
  std::optional<ChildDecoder> child = ChildDecoder::Start(dir_ + "/a/fake", {"--json"});
  ASSERT_TRUE(child);
  const std::int16_t audio[480] = {};
  child->Write(audio);
  std::vector<std::string> lines;
  for (int i = 0; i < 200 && child->Running(); ++i) {
    for (std::string& line : child->ReadLines(50)) lines.push_back(line);
  }
  EXPECT_EQ(lines, (std::vector<std::string>{R"({ "type": "M10", "frame": 7, "id": "M10-1" })"}));
  EXPECT_FALSE(child->Running());
  child->Write(audio);  // after its end: harmless
}

TEST(ChildDecoder, MissingProgramGivesNoFrames) {
  std::optional<ChildDecoder> child = ChildDecoder::Start("/nonexistent/m10mod", {"--json"});
  if (!child) return;  // fork refused
  std::vector<std::string> lines;
  for (int i = 0; i < 200 && child->Running(); ++i) {
    for (std::string& line : child->ReadLines(50)) lines.push_back(line);
  }
  EXPECT_TRUE(lines.empty());
}

}  // namespace
}  // namespace receiver
