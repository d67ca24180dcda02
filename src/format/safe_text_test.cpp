#include "format/safe_text.h"

#include <gtest/gtest.h>

namespace nimbrix {
namespace {

TEST(SafeTextTest, TerminalTextsShowEveryControlAsOneQuestionMark) {
  struct Case {
    std::string in;
    std::string expected;
  };
  const Case cases[] = {
      {"S1234567", "S1234567"},
      {"a\r\nb", "a??b"},
      {"\x1b]0;title\x07", "?]0;title?"},
      {std::string("a\0b", 3), "a?b"},
      {"\x7f", "?"},
      // C1 controls in UTF-8: U+009B is CSI, U+009D OSC, U+0080 the first, U+009F the last.
      {"\xc2\x9b"
       "2J",
       "?2J"},
      {"\xc2\x9d"
       "0;t\xc2\x9c",
       "?0;t?"},
      {"\xc2\x80\xc2\x9f", "??"},
      // Printable neighbours stay: U+00A0, U+00E9, U+FFFD, a lone 0xC2, bytes 0x80..0x9F alone.
      {"\xc2\xa0\xc3\xa9\xef\xbf\xbd", "\xc2\xa0\xc3\xa9\xef\xbf\xbd"},
      {"x\xc2", "x\xc2"},
      {"\x9b"
       "2J",
       "\x9b"
       "2J"},
  };
  for (const Case& c : cases) EXPECT_EQ(MaskControlBytes(c.in), c.expected) << c.in;
}

TEST(SafeTextTest, LinesForTheConnectionLoseTheirControlBytes) {
  EXPECT_EQ(StripControlBytes("a\r\nuser X\x1b[2J\t\x7f" + std::string(1, '\0')), "auser X[2J");
  EXPECT_EQ(StripControlBytes("\xc2\x9b"),
            "\xc2\x9b");  // one line either way; the terminal masks it
}

}  // namespace
}  // namespace nimbrix
