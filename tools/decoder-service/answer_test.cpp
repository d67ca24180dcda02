#include "decoder-service/answer.h"

#include <gtest/gtest.h>

namespace decoder {
namespace {

Answer Error() {
  Answer a;
  a.kind = Answer::Kind::kError;
  a.errorName = "X.Error";
  return a;
}

Answer NoReply() {
  Answer a;
  a.kind = Answer::Kind::kNoReply;
  return a;
}

TEST(ListedItemTest, ValuesTravelAsTheyAreAndEverythingElseAsEmpty) {
  const ListedSonde sonde{1500,
                          {Answer::Text("S1"), std::nullopt, Error(), NoReply(), Answer::Int4(7)}};
  struct Case {
    int index;
    std::uint16_t vt;
    std::string dbusType;
  } cases[] = {
      {0, VT_BSTR, "s"},    {1, VT_EMPTY, "ay"},  {2, VT_EMPTY, "ay"},
      {3, VT_EMPTY, "ay"},  {4, VT_I4, "i"},      {5, VT_EMPTY, "ay"},  // past the items given
      {17, VT_EMPTY, "ay"}, {-1, VT_EMPTY, "ay"},
  };
  for (const Case& c : cases) {
    const Answer a = ListedItem(sonde, c.index);
    EXPECT_EQ(a.kind, Answer::Kind::kValue) << c.index;
    EXPECT_EQ(a.vt, c.vt) << c.index;
    EXPECT_EQ(a.dbusType, c.dbusType) << c.index;
  }
  EXPECT_EQ(std::get<std::string>(ListedItem(sonde, 0).value), "S1");
  EXPECT_EQ(std::get<std::int64_t>(ListedItem(sonde, 4).value), 7);
  EXPECT_EQ(std::get<std::string>(ListedItem(sonde, 2).value), "") << "no error text as bytes";
}

}  // namespace
}  // namespace decoder
