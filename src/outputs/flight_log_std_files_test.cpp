#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "outputs/flight_log.h"
#include "platform/fake/fakes.h"
#include "platform/files.h"

namespace nimbrix {
namespace {

// A folder of its own under the system's temporary folder, gone after the test.
struct TempFolder {
  TempFolder() {
    path =
        std::filesystem::temp_directory_path() /
        ("nimbrix-flightlog-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::error_code error;
    std::filesystem::remove_all(path, error);
  }
  ~TempFolder() {
    std::error_code error;
    std::filesystem::remove_all(path, error);
  }
  std::string At(const std::string& name) const { return (path / name).string(); }
  std::filesystem::path path;
};

TEST(StdFiles, CheckedWritesOnARealFolder) {
  TempFolder temp;
  StdFiles files;
  const std::string folder = temp.At("a/b");
  const std::string file = folder + "/track.gpx";
  ASSERT_TRUE(files.MakeFolder(folder));
  EXPECT_TRUE(files.MakeFolder(folder));  // there already
  EXPECT_FALSE(files.Size(file).has_value());
  EXPECT_FALSE(files.ReplaceTail(file, 0, "x"));  // no file to write into

  struct Step {
    const char* name;
    bool append;
    std::size_t tail;
    const char* bytes;
    const char* after;
  } steps[] = {
      {"append creates", true, 0, "<a>", "<a>"},
      {"append adds", true, 0, "</a>\n", "<a></a>\n"},
      {"tail grows", false, 5, "<b/></a>\n", "<a><b/></a>\n"},
      {"tail of nothing", false, 0, "!", "<a><b/></a>\n!"},
      {"tail shrinks", false, 11, "/>", "<a/>"},
      {"whole file", false, 4, "", ""},
  };
  for (const Step& s : steps) {
    const bool ok =
        s.append ? files.AppendChecked(file, s.bytes) : files.ReplaceTail(file, s.tail, s.bytes);
    EXPECT_TRUE(ok) << s.name;
    EXPECT_EQ(files.ReadAll(file), s.after) << s.name;
    EXPECT_EQ(files.Size(file), std::string(s.after).size()) << s.name;
  }
  EXPECT_FALSE(files.ReplaceTail(file, 1, "x"));  // longer than the file
  EXPECT_EQ(files.ReadAll(file), "");
  EXPECT_FALSE(files.Size(folder).has_value());  // a folder has no size
  EXPECT_FALSE(files.AppendChecked(folder, "x"));
  EXPECT_FALSE(files.MakeFolder(file + "/c"));  // under a file
}

// The log over the real file system: the files it leaves are those the fakes show.
TEST(StdFiles, FlightLogOnARealFolder) {
  TempFolder temp;
  StdFiles files;
  fake::FakeClock clock;
  fake::FakeFiles fakes;
  const std::string folder = temp.At("flights");
  FlightLog real(folder, files, clock);
  FlightLog model(folder, fakes, clock);
  for (int frame = 1; frame <= 3; ++frame) {
    SondeSample s;
    s.serial = "DFM-314377";
    s.kind = "DFM09";
    s.latitude = 48.1 + frame * 0.01;
    s.longitude = 11.5;
    s.altitude = 900 + frame;
    s.frame = frame;
    s.timeMs = clock.UtcMs();
    s.given.frame = s.given.altitude = true;
    real.Frame(s, clock.UtcMs());
    model.Frame(s, clock.UtcMs());
    clock.Advance(1000);
  }
  for (const char* name : {"DFM-314377_20261208.csv", "DFM-314377_20261208.gpx"}) {
    const std::string path = folder + "/" + name;
    ASSERT_TRUE(fakes.contents.count(path)) << name;
    EXPECT_EQ(files.ReadAll(path), fakes.contents[path]) << name;
  }
  EXPECT_EQ(real.Status().state, DestinationStatus::State::kUp);
  EXPECT_EQ(real.Status().sent, 3u);
}

}  // namespace
}  // namespace nimbrix
