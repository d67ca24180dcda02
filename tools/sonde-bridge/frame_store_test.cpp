#include "frame_store.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "frame_answers.h"
#include "intake.h"

namespace bridge {
namespace {

using std::chrono::milliseconds;

Frame FrameOf(const std::string& id, std::uint64_t number) {
  Frame f;
  f.id = id;
  f.utcMs = 1777635300000 + static_cast<std::int64_t>(number) * 1000;
  f.lat = 47.1;
  f.lon = 12.1;
  f.alt = 900;
  f.type = "RS41";
  f.subtype = "RS41-SGP";
  f.frame = number;
  f.temp = -12.5;
  f.sats = 9;
  return f;
}

// A store on a clock the test moves.
struct ClockedStore {
  std::chrono::steady_clock::time_point now{};
  FrameStore store{"403.500", [this] { return now; }};
  void After(int ms) { now += milliseconds(ms); }
};

std::string Serial(const decoder::ListedSonde& s) {
  return std::get<std::string>(decoder::ListedItem(s, nimbrix::kSerial).value);
}

std::vector<std::string> Serials(const FrameStore& store) {
  std::vector<std::string> ids;
  for (const auto& s : store.List()) ids.push_back(Serial(s));
  return ids;
}

void ExpectSameAnswer(const decoder::Answer& a, const decoder::Answer& b, int index) {
  EXPECT_EQ(a.kind, b.kind) << index;
  EXPECT_EQ(a.vt, b.vt) << index;
  EXPECT_EQ(a.dbusType, b.dbusType) << index;
  EXPECT_EQ(a.value, b.value) << index;
}

TEST(FrameStoreListTest, EmptyBeforeAnyFrame) {
  ClockedStore c;
  EXPECT_TRUE(c.store.List().empty());
}

TEST(FrameStoreListTest, EverySondeOnceNewestFrameFirstWithItsAge) {
  ClockedStore c;
  c.store.Accept(FrameOf("S1", 10));
  c.After(200);
  c.store.Hear(FrameOf("S2", 20));
  c.After(300);
  c.store.Hear(FrameOf("S3", 30));
  c.After(400);
  c.store.Accept(FrameOf("S1", 11));  // S1's newer frame replaces its older one
  c.After(50);
  const auto list = c.store.List();
  struct Row {
    std::string serial;
    std::uint32_t ageMs;
    std::int64_t frame;
  } expected[] = {{"S1", 50, 11}, {"S3", 450, 30}, {"S2", 750, 20}};
  ASSERT_EQ(list.size(), std::size(expected));
  for (std::size_t i = 0; i < list.size(); ++i) {
    EXPECT_EQ(Serial(list[i]), expected[i].serial) << i;
    EXPECT_EQ(list[i].ageMs, expected[i].ageMs) << i;
    EXPECT_EQ(std::get<std::int64_t>(decoder::ListedItem(list[i], nimbrix::kFrame).value),
              expected[i].frame)
        << i;
  }
  // Only listed: GETSONDEDATA still answers the followed sonde.
  EXPECT_EQ(std::get<std::string>(c.store.AnswerFor(0)->value), "S1");
  EXPECT_EQ(c.store.Counts().accepted, 2u);
}

TEST(FrameStoreListTest, ASondeNotHeardForTenMinutesIsLeftOut) {
  struct Case {
    int silentMs;
    bool listed;
  } cases[] = {{0, true},
               {nimbrix::kSondeListForgetMs - 1, true},
               {nimbrix::kSondeListForgetMs, false},
               {nimbrix::kSondeListForgetMs * 6, false}};
  for (const Case& k : cases) {
    ClockedStore c;
    c.store.Hear(FrameOf("OLD", 1));
    c.After(k.silentMs);
    c.store.Hear(FrameOf("NEW", 2));
    const std::vector<std::string> expected =
        k.listed ? std::vector<std::string>{"NEW", "OLD"} : std::vector<std::string>{"NEW"};
    EXPECT_EQ(Serials(c.store), expected) << k.silentMs;
    if (k.listed) {
      EXPECT_EQ(c.store.List()[1].ageMs, static_cast<std::uint32_t>(k.silentMs));
    }
  }
}

TEST(FrameStoreListTest, AllForgottenWhenNothingCameFor10Minutes) {
  ClockedStore c;
  c.store.Accept(FrameOf("S1", 1));
  c.After(nimbrix::kSondeListForgetMs);
  EXPECT_TRUE(c.store.List().empty());
  // The followed sonde's last frame is still served alone, as before.
  EXPECT_EQ(std::get<std::string>(c.store.AnswerFor(0)->value), "S1");
}

// "S<n>", appended piece by piece: g++ 12 at -O3 warns falsely (-Wrestrict) on "S" + text.
std::string SerialNumbered(int n) {
  std::string serial = "S";
  serial += std::to_string(n);
  return serial;
}

TEST(FrameStoreListTest, BoundedTheSondeHeardLongestAgoGoesFirst) {
  ClockedStore c;
  const int heard = static_cast<int>(FrameStore::kListBound) + 8;
  for (int i = 0; i < heard; ++i) {
    c.store.Hear(FrameOf(SerialNumbered(i), static_cast<std::uint64_t>(i)));
    c.After(10);
  }
  const std::vector<std::string> ids = Serials(c.store);
  ASSERT_EQ(ids.size(), FrameStore::kListBound);
  EXPECT_EQ(ids.front(), SerialNumbered(heard - 1));
  EXPECT_EQ(ids.back(), "S8");
}

TEST(FrameStoreListTest, PlaceholderAndEmptyIdsAreNeverListed) {
  for (const std::string id : {"DFM-xxxxxxxx", "DFMxx-xxxxxxxx", "C50-xxxx", ""}) {
    ClockedStore c;
    c.store.Hear(FrameOf(id, 1));
    c.store.Accept(FrameOf(id, 2));
    EXPECT_TRUE(c.store.List().empty()) << id;
  }
}

TEST(FrameStoreListTest, ItemsAreEncodedAsTheSingleAnswersOfTheSameFrame) {
  Frame full = FrameOf("M10-012-3-45678", 77);
  full.type = "M10";
  full.subtype = "0x9F";
  full.aprsid = "ME8123456";
  full.velH = 7.5;
  full.velV = -4.25;
  full.heading = 241.3;
  full.humidity = 55;
  full.pressure = 850.5;
  full.batt = 2.9;
  Frame sparse = FrameOf("DFM-314377", 5);  // no frequency: the fallback; readings missing
  sparse.temp.reset();
  sparse.sats.reset();
  sparse.frame.reset();
  for (const Frame& f : {full, sparse}) {
    ClockedStore c;
    c.store.Accept(f);
    const auto list = c.store.List();
    ASSERT_EQ(list.size(), 1u);
    ASSERT_EQ(list[0].items.size(), static_cast<std::size_t>(decoder::kItemCount));
    const auto expected = AnswersOf(f, "403.500");
    for (int i = 0; i < decoder::kItemCount; ++i) {
      ExpectSameAnswer(decoder::ListedItem(list[0], i), expected[static_cast<std::size_t>(i)], i);
      ExpectSameAnswer(decoder::ListedItem(list[0], i),
                       *c.store.AnswerFor(static_cast<std::int16_t>(i)), i);
    }
  }
}

std::string Line(const std::string& id, int frame) {
  return R"({ "type": "DFM", "frame": )" + std::to_string(frame) + R"(, "id": ")" + id +
         R"(", "datetime": "2026-05-01T11:35:20.000Z", "lat": 51.2, "lon": 6.7, "alt": 1520.5 })" +
         "\n";
}

TEST(IntakeListTest, OtherSondesAreListedButNotServedUnlessOneIsPinned) {
  struct Case {
    std::string serial;
    std::vector<std::string> listed;
  } cases[] = {
      {"", {"DFM-222222", "DFM-111111"}},
      {"DFM-111111", {"DFM-111111"}},
  };
  for (const Case& k : cases) {
    ClockedStore c;
    IntakeOptions options;
    options.serial = k.serial;
    std::int64_t nowMs = 0;
    options.now = [&nowMs] { return nowMs; };
    Intake intake(options, c.store);
    intake.Feed(Line("DFM-111111", 1) + Line("DFM-xxxxxxxx", 2) + Line("DFM-222222", 3));
    EXPECT_EQ(Serials(c.store), k.listed) << k.serial;
    EXPECT_EQ(std::get<std::string>(c.store.AnswerFor(0)->value), "DFM-111111") << k.serial;
    EXPECT_EQ(SummaryText(c.store.Counts()),
              "3 lines read, 1 frame accepted, 2 lines skipped (1 incomplete serial, 1 another "
              "sonde)")
        << k.serial;
  }
}

}  // namespace
}  // namespace bridge
