#include "config/config_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace nimbrix {
namespace {

std::vector<std::string> AllLines(const std::string& file) {
  ConfigStream in(file);
  std::vector<std::string> lines;
  while (!in.AtEnd()) lines.emplace_back(in.ReadLine());
  return lines;
}

using Lines = std::vector<std::string>;

TEST(LineRule, CrEndsLinesLoneLfStaysCtrlZEndsFile) {
  struct Case {
    std::string file;
    Lines lines;
  } cases[] = {
      {"", {}},
      {"A", {"A"}},
      {"A\r\nB\r\n", {"A", "B"}},
      {"A\rB\r", {"A", "B"}},
      {"A\r\n\r\nB", {"A", "", "B"}},
      {"A\nB\r\nC", {"A\nB", "C"}},
      {"A\r\n\nB", {"A", "\nB"}},
      {"A\r\r\nB", {"A", "", "B"}},
      {"\n", {"\n"}},
      {"  A = B  \r\n", {"  A = B  "}},
      {"A\r\nB\x1a\r\nC\r\n", {"A", "B"}},
      {"\x1aX\r\n", {}},
      {std::string("A\0B\r\n", 5), {std::string("A\0B", 3)}},
  };
  for (const Case& c : cases) EXPECT_EQ(AllLines(c.file), c.lines) << c.file;
}

TEST(LineRule, ReadsPastTheEndAsEmptyAndMissingFileIsEmpty) {
  ConfigStream in(BytesOf(std::nullopt));
  EXPECT_TRUE(in.AtEnd());
  EXPECT_EQ(in.ReadLine(), "");
  EXPECT_EQ(in.ReadField(), "");
  EXPECT_EQ(in.ReadNumberField(), "");
  EXPECT_EQ(FirstLine(BytesOf(std::nullopt)), "");
  EXPECT_EQ(FirstLine("USER=X\nB\rC"), "USER=X\nB");
}

Lines Fields(const std::string& file, int count) {
  ConfigStream in(file);
  Lines fields;
  for (int i = 0; i < count; ++i) fields.push_back(in.ReadField());
  fields.push_back(std::string(in.ReadLine()));  // where the next read would start
  return fields;
}

TEST(FieldRule, UnquotedAndQuotedFields) {
  struct Case {
    std::string file;
    Lines fieldsThenRest;
  } cases[] = {
      {"A\r\nB\r\nC", {"A", "B", "C"}},
      {"A,B,C\r\nD", {"A", "B", "C", "D"}},
      {"   A  ,B", {"A  ", "B", ""}},
      {"A\tB\nC\r\nD", {"ABC", "D", ""}},
      {",,X", {"", "", "X"}},
      {"\"A, B\r\nC\" ,D", {"A, B\r\nC", "D", ""}},
      {"\"A\" \t\n\r\nB", {"A", "B", ""}},
      {"\"A\"B,C", {"A", "B", "C"}},
      {"\"open to the end", {"open to the end", "", ""}},
      {"  \"\" , X", {"", "X", ""}},
      {"A\x1a,B", {"A", "", ""}},
      {"\"A\x1a\",B", {"A", "", ""}},
      {"say \"hi\",X", {"say \"hi\"", "X", ""}},
      {"\r\nB", {"", "B", ""}},
  };
  for (const Case& c : cases) {
    const int count = static_cast<int>(c.fieldsThenRest.size()) - 1;
    EXPECT_EQ(Fields(c.file, count), c.fieldsThenRest) << c.file;
  }
}

TEST(NumberFieldRule, EndsAtCommaBlankOrCr) {
  struct Case {
    std::string file, number, rest;
  } cases[] = {
      {"2\r\nhost,14580", "2", "host,14580"},
      {"   10,host", "10", "host"},
      {"2 \r\nhost", "2", "host"},
      {"2   ,host", "2", "host"},
      {"2 junk\r\nhost", "2", "junk"},
      {"1\t2\n3\r\nhost", "123", "host"},
      {"\r\nhost", "", "host"},
      {"7\x1a\r\nhost", "7", ""},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    ConfigStream in(c.file);
    EXPECT_EQ(in.ReadNumberField(), c.number) << c.file;
    EXPECT_EQ(in.ReadLine(), c.rest) << c.file;
  }
}

TEST(NumberFieldRule, KeepsAtMost255BytesAndSkipsTheRest) {
  const std::string file = std::string(300, '1') + "\r\nhost";
  ConfigStream in(file);
  EXPECT_EQ(in.ReadNumberField(), std::string(ConfigStream::kMaxNumberField, '1'));
  EXPECT_EQ(in.ReadLine(), "host");
}

TEST(HostileInput, MegabyteWithoutLineEndIsOneLineOrField) {
  const std::string big(4 << 20, 'x');
  EXPECT_EQ(AllLines(big).size(), 1u);
  ConfigStream in(big);
  EXPECT_EQ(in.ReadField().size(), big.size());
  EXPECT_TRUE(in.AtEnd());
}

}  // namespace
}  // namespace nimbrix
