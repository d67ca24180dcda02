#include "uplink/login_answer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace nimbrix {
namespace {

using Kind = LoginVerdict::Kind;

struct Piece {
  std::int64_t atMs;  // since the login
  std::string bytes;
};

struct Case {
  const char* name;
  std::vector<Piece> pieces;
  Kind kind;         // the verdict, given by the last piece and by no earlier one
  std::string line;  // its server line
};

const std::string kGreeting = "# aprsc 2.1.21-g9a7de5c\r\n";

TEST(LoginAnswerWatch, VerdictsFromWhatTheServerSends) {
  const std::vector<Case> cases = {
      {"verified",
       {{40, kGreeting + "# logresp N0CALL-11 verified, server T2TEST\r\n"}},
       Kind::kVerified,
       "# logresp N0CALL-11 verified, server T2TEST"},
      {"unverified",
       {{40, kGreeting + "# logresp N0CALL-11 unverified, server T2TEST\r\n"}},
       Kind::kUnverified,
       "# logresp N0CALL-11 unverified, server T2TEST"},
      {"LF line ends, callsign in other case",
       {{40, "# aprsc 2.1.21\n# logresp n0call-11 unverified, server T2TEST\n"}},
       Kind::kUnverified,
       "# logresp n0call-11 unverified, server T2TEST"},
      {"any other word is no verification",
       {{40, "# logresp N0CALL-11 rejected\r\n"}},
       Kind::kUnverified,
       "# logresp N0CALL-11 rejected"},
      {"split over several reads",
       {{10, "# aprsc 2.1"},
        {20, ".21\r\n# log"},
        {900, "resp N0CALL-11 verif"},
        {1900, "ied, server T2TEST\r"},
        {2900, "\n"}},
       Kind::kVerified,
       "# logresp N0CALL-11 verified, server T2TEST"},
      {"another station's answer is not ours; 30 s later it counts as no answer",
       {{40, kGreeting + "# logresp N0CALL-1 verified, server T2TEST\r\n"},
        {29999, ""},
        {30000, ""}},
       Kind::kNoAnswer,
       "# logresp N0CALL-1 verified, server T2TEST"},
      {"a greeting and then silence: no answer after 30 s",
       {{40, kGreeting}, {15000, ""}, {31000, ""}},
       Kind::kNoAnswer,
       "# aprsc 2.1.21-g9a7de5c"},
      {"keep-alive comments before the answer",
       {{40, kGreeting},
        {20000, "# 9 Dec 2026 10:00:20 GMT T2TEST 1.2.3.4:14580\r\n\r\n"},
        {29000, "# logresp N0CALL-11 verified, server T2TEST\r\n"}},
       Kind::kVerified,
       "# logresp N0CALL-11 verified, server T2TEST"},
      {"a huge line is dropped, the answer after it still counts",
       {{40, std::string(1 << 20, 'x')}, {50, "\r\n# logresp N0CALL-11 unverified, server X\r\n"}},
       Kind::kUnverified,
       "# logresp N0CALL-11 unverified, server X"},
      {"a huge line stands for itself by its start",
       {{40, std::string(9000, 'y') + "\r\n"}, {30000, ""}},
       Kind::kNoAnswer,
       std::string(LoginAnswerWatch::kMaxLineBytes, 'y')},
      {"binary garbage, then the answer",
       {{40, std::string("\x00\xff\x1b[2J\x01\r\n\x80\n", 11)},
        {50, "# logresp N0CALL-11 verified, server T2TEST\r\n"}},
       Kind::kVerified,
       "# logresp N0CALL-11 verified, server T2TEST"},
      {"a line end alone is nothing heard",
       {{40, "\r\n\r\n"}, {60000, ""}, {3600000, "# logresp N0CALL-11 verified, s\r\n"}},
       Kind::kVerified,
       "# logresp N0CALL-11 verified, s"},
      {"an answer begun before 30 s is waited for",
       {{40, "# logresp N0CALL-11 unver"}, {30000, ""}, {31000, "ified, server T2TEST\r\n"}},
       Kind::kUnverified,
       "# logresp N0CALL-11 unverified, server T2TEST"},
  };
  for (const Case& c : cases) {
    LoginAnswerWatch watch;
    watch.Start("N0CALL-11", 1000);
    for (std::size_t i = 0; i < c.pieces.size(); ++i) {
      const LoginVerdict v = watch.Feed(c.pieces[i].bytes, 1000 + c.pieces[i].atMs);
      if (i + 1 < c.pieces.size()) {
        ASSERT_EQ(v.kind, Kind::kPending) << c.name << ", piece " << i;
        continue;
      }
      EXPECT_EQ(v.kind, c.kind) << c.name;
      EXPECT_EQ(v.serverLine, c.line) << c.name;
      EXPECT_FALSE(watch.Active()) << c.name;
    }
  }
}

TEST(LoginAnswerWatch, ServerThatSendsNothingNeverGetsAVerdict) {
  LoginAnswerWatch watch;
  watch.Start("N0CALL-11", 0);
  for (std::int64_t ms = 0; ms < 24 * 3600 * 1000LL; ms += 950) {
    ASSERT_EQ(watch.Feed("", ms).kind, Kind::kPending);
  }
  EXPECT_TRUE(watch.Active());
}

TEST(LoginAnswerWatch, OneVerdictPerLoginAndANewLoginStartsAfresh) {
  LoginAnswerWatch watch;
  EXPECT_EQ(watch.Feed("# logresp N0CALL-11 unverified\r\n", 0).kind, Kind::kPending)
      << "no login yet";

  watch.Start("N0CALL-11", 0);
  EXPECT_EQ(watch.Feed("# logresp N0CALL-11 unverified\r\n", 10).kind, Kind::kUnverified);
  // What follows the answer is not looked at: no second record for the same login.
  EXPECT_EQ(watch.Feed("# logresp N0CALL-11 unverified\r\n", 20).kind, Kind::kPending);
  EXPECT_EQ(watch.Feed(kGreeting, 60000).kind, Kind::kPending);

  // A half line of the old connection does not run into the new one.
  watch.Start("N0CALL-11", 100000);
  watch.Feed("# logresp N0CALL-11 unver", 100010);
  watch.Start("N0CALL-11", 200000);
  EXPECT_EQ(watch.Feed("ified\r\n", 200010).kind, Kind::kPending);
  EXPECT_EQ(watch.Feed("# logresp N0CALL-11 verified, server B\r\n", 200020).kind, Kind::kVerified);
}

}  // namespace
}  // namespace nimbrix
