#include "line_splitter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace bridge {
namespace {

// Lines as text, a dropped long line as "<too long>".
class Collect : public LineSplitter::Sink {
 public:
  void OnLine(std::string_view line) override { got.emplace_back(line); }
  void OnTooLong() override { got.emplace_back("<too long>"); }
  std::vector<std::string> got;
};

std::vector<std::string> Split(const std::string& bytes, std::size_t chunk) {
  Collect c;
  LineSplitter s(c);
  for (std::size_t i = 0; i < bytes.size(); i += chunk)
    s.Feed(std::string_view(bytes).substr(i, chunk));
  s.Finish();
  return c.got;
}

TEST(LineSplitterTest, LinesComeOutWhateverTheReadsCutThemInto) {
  const std::string longest(kMaxLineBytes, 'x');
  const std::string tooLong(kMaxLineBytes + 1, 'x');
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::string> lines;
  } cases[] = {
      {"LF", "a\nbc\n", {"a", "bc"}},
      {"CR LF", "a\r\nbc\r\n", {"a", "bc"}},
      {"empty lines, as after every frame", "{a}\n\n{b}\r\n\r\n\n", {"{a}", "{b}"}},
      {"a lone CR stays in the line", "a\rb\n", {"a\rb"}},
      {"last line without its end", "a\nb", {"a", "b"}},
      {"last line a bare CR", "a\n\r", {"a"}},
      {"64 KiB is the longest line", longest + "\n", {longest}},
      {"with its CR LF too", longest + "\r\n", {longest}},
      {"one byte more is dropped, the next line kept",
       tooLong + "\nnext\n",
       {"<too long>", "next"}},
      {"dropped at the end too", "a\n" + tooLong, {"a", "<too long>"}},
      {"a huge line once", std::string(3 * kMaxLineBytes, 'y') + "\nz\n", {"<too long>", "z"}},
      {"NUL bytes are data", std::string("a\0b\n", 4), {std::string("a\0b", 3)}},
  };
  for (const auto& c : cases) {
    for (std::size_t chunk :
         {std::size_t{1}, std::size_t{2}, std::size_t{7}, std::size_t{4096}, c.bytes.size() + 1}) {
      EXPECT_EQ(Split(c.bytes, chunk), c.lines) << c.name << ", reads of " << chunk;
    }
  }
}

TEST(LineSplitterTest, FinishEndsOneStreamAndTheNextStartsClean) {
  Collect c;
  LineSplitter s(c);
  s.Feed("{ \"type\": \"RS4");  // a decoder killed in the middle of a line
  s.Finish();
  s.Feed("{}\n");
  s.Feed(std::string(kMaxLineBytes + 5, 'x'));
  s.Finish();
  s.Feed("after\n");
  s.Finish();
  EXPECT_EQ(c.got, (std::vector<std::string>{"{ \"type\": \"RS4", "{}", "<too long>", "after"}));
}

}  // namespace
}  // namespace bridge
