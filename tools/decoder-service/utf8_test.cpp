#include "decoder-service/utf8.h"

#include <gtest/gtest.h>

namespace decoder {
namespace {

TEST(RepairUtf8Test, KeepsValidTextAndReplacesTheRest) {
  const std::string r = "\xEF\xBF\xBD";
  struct Case {
    std::string in;
    std::string out;
  } cases[] = {
      {"plain \r\n\x1b", "plain \r\n\x1b"},
      {"M\xC3\xBCnchen \xE2\x82\xAC \xF0\x9F\x8E\x88",
       "M\xC3\xBCnchen \xE2\x82\xAC \xF0\x9F\x8E\x88"},
      {std::string("a\0b", 3), "a" + r + "b"},
      {"\xFF", r},
      {"\xC0\x80", r + r},                  // overlong NUL
      {"\xE0\x80\x80", r + r + r},          // overlong
      {"\xED\xA0\x80", r + r + r},          // surrogate
      {"\xF4\x90\x80\x80", r + r + r + r},  // above U+10FFFF
      {"\xEF\xBF\xBF", r + r + r},          // U+FFFF, a non-character
      {"\xEF\xB7\x90", r + r + r},          // U+FDD0
      {"\xE2\x82", r + r},                  // cut short
      {"\x80x", r + "x"},
  };
  for (const auto& c : cases) EXPECT_EQ(RepairUtf8(c.in), c.out);
}

TEST(IsValidUtf8Test, WellFormedSequencesOnly) {
  struct Case {
    std::string bytes;
    bool valid;
  } cases[] = {
      {"", true},
      {"{ \"type\": \"RS41\", \"id\": \"S3210987\" }", true},
      {"M\xC3\xBCnchen \xE2\x82\xAC \xF0\x9F\x8E\x88", true},
      {std::string("a\0b", 3), true},      // NUL is well-formed
      {"\xEF\xBF\xBF", true},              // a non-character, still UTF-8
      {"\xF4\x8F\xBF\xBF", true},          // U+10FFFF
      {"0123456789abcdef\xC3\xBC", true},  // after the eight-byte steps
      {"\xFF", false},
      {"\xC0\x80", false},                 // overlong NUL
      {"\xE0\x9F\xBF", false},             // overlong
      {"\xED\xA0\x80", false},             // surrogate
      {"\xF4\x90\x80\x80", false},         // above U+10FFFF
      {"0123456789abcde\xE2\x82", false},  // cut short at the end
      {"01234567\x80"
       "9abcdef",
       false},  // a stray continuation byte
  };
  for (const auto& c : cases) EXPECT_EQ(IsValidUtf8(c.bytes), c.valid) << c.bytes;
}

}  // namespace
}  // namespace decoder
