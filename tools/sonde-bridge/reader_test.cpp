#include "reader.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace bridge {
namespace {

// Every byte fed, and "|" at each end of a stream.
class Record : public ByteSink {
 public:
  void Feed(std::string_view bytes) override { text.append(bytes); }
  void EndOfStream() override { text += '|'; }
  std::string text;
};

// A file on a disk of the test's own: the content can grow, be cut short or be replaced by
// another file of the same name while the reader sleeps.
struct Disk {
  std::string content;
  int generation = 0;  // a new file under the same name
  bool exists = true;
  bool failReads = false;
};

class FakeFile : public GrowingFile {
 public:
  FakeFile(Disk& disk) : disk_(disk), generation_(disk.generation), content_(disk.content) {}
  long Read(char* buffer, std::size_t size) override {
    if (disk_.failReads) return -1;
    if (disk_.generation == generation_) content_ = disk_.content;
    const std::size_t n = std::min(size, content_.size() - std::min(position_, content_.size()));
    content_.copy(buffer, n, position_);
    position_ += n;
    return static_cast<long>(n);
  }
  std::int64_t Size() override {
    return static_cast<std::int64_t>(disk_.generation == generation_ ? disk_.content.size()
                                                                     : content_.size());
  }
  bool Replaced() override { return disk_.exists && disk_.generation != generation_; }

 private:
  Disk& disk_;
  int generation_;
  std::string content_;  // what this file holds (the old one keeps its bytes once replaced)
  std::size_t position_ = 0;
};

class Stream : public ByteStream {
 public:
  explicit Stream(std::deque<std::string> reads) : reads_(std::move(reads)) {}
  long Read(char* buffer, std::size_t size) override {
    if (reads_.empty()) return end_;
    std::string r = reads_.front();
    reads_.pop_front();
    r.copy(buffer, std::min(size, r.size()));
    return static_cast<long>(std::min(size, r.size()));
  }
  long end_ = 0;

 private:
  std::deque<std::string> reads_;
};

// Virtual time: sleeping runs what the test planned for that moment.
class FakeSystem : public InputSystem {
 public:
  std::unique_ptr<ByteStream> StandardInput() override { return nullptr; }
  PathKind KindOf(const std::string&) override { return pipeKind; }
  std::unique_ptr<GrowingFile> OpenFile(const std::string&, std::string& error) override {
    if (!disk.exists) {
      error = "gone";
      return nullptr;
    }
    ++opened;
    return std::make_unique<FakeFile>(disk);
  }
  std::unique_ptr<ByteStream> OpenPipe(const std::string&, std::string& error) override {
    if (writers.empty()) {
      error = "no more writers";
      return nullptr;
    }
    auto next = std::make_unique<Stream>(writers.front());
    writers.pop_front();
    return next;
  }
  std::unique_ptr<ByteStream> BindUdp(const std::string&, std::uint16_t, std::string&) override {
    return nullptr;
  }
  void SleepMs(int ms) override {
    now += ms;
    sleeps.push_back(ms);
    auto planned = plan.find(now);
    if (planned != plan.end()) planned->second();
    if (now > 60000) disk.failReads = true;  // ends a loop that went wrong
  }

  Disk disk;
  int now = 0;
  int opened = 0;
  std::vector<int> sleeps;
  std::map<int, std::function<void()>> plan;
  std::deque<std::deque<std::string>> writers;
  PathKind pipeKind = PathKind::kPipe;
};

struct Followed {
  std::string text;
  std::vector<std::string> notices;
};

Followed Follow(FakeSystem& system, bool stopAtEnd) {
  Record record;
  Followed f;
  std::string error;
  FollowFile(system.OpenFile("sondes.jsonl", error), "sondes.jsonl", system, record, stopAtEnd,
             [&f](const std::string& s) { f.notices.push_back(s); });
  f.text = record.text;
  return f;
}

TEST(FollowFileTest, ReadsWhatIsThereThenWhatComesEveryPollWithoutEndingTheLine) {
  FakeSystem s;
  s.disk.content = "A\n{part";
  s.plan[200] = [&] { s.disk.content += "ial}\n"; };
  s.plan[800] = [&] { s.disk.content += "B\n"; };
  s.plan[1000] = [&] { s.disk.failReads = true; };
  const Followed f = Follow(s, false);
  EXPECT_EQ(f.text, "A\n{partial}\nB\n|");
  EXPECT_EQ(s.sleeps, (std::vector<int>{200, 200, 200, 200, 200}));
  EXPECT_EQ(s.opened, 1);
  EXPECT_EQ(f.notices, (std::vector<std::string>{"cannot read sondes.jsonl any further"}));
}

TEST(FollowFileTest, WithStopAtEndTheEndOfTheFileEndsIt) {
  FakeSystem s;
  s.disk.content = "A\nB";
  const Followed f = Follow(s, true);
  EXPECT_EQ(f.text, "A\nB|");
  EXPECT_TRUE(s.sleeps.empty());
  EXPECT_TRUE(f.notices.empty());
}

TEST(FollowFileTest, AFileCutShortIsReadAgainFromItsStart) {
  FakeSystem s;
  s.disk.content = "A\nB\n{half";
  s.plan[400] = [&] { s.disk.content = "C\n"; };  // the decoder started again, `>` truncated it
  s.plan[600] = [&] { s.disk.failReads = true; };
  const Followed f = Follow(s, false);
  EXPECT_EQ(f.text, "A\nB\n{half|C\n|");
  EXPECT_EQ(s.opened, 2);
  EXPECT_EQ(f.notices.front(), "sondes.jsonl was cut short, reading it from the start");
}

TEST(FollowFileTest, AReplacedFileIsReadFromItsStartOnceTheOldOneIsDone) {
  FakeSystem s;
  s.disk.content = "A\n";
  s.plan[200] = [&] {
    s.disk.exists = false;  // rotated away; nothing there yet
    s.disk.generation = 1;
    s.disk.content = "D\n";
  };
  s.plan[400] = [&] { s.disk.exists = true; };
  s.plan[800] = [&] { s.disk.failReads = true; };
  const Followed f = Follow(s, false);
  EXPECT_EQ(f.text, "A\n|D\n|");
  EXPECT_EQ(s.opened, 2);
  EXPECT_EQ(f.notices.front(), "sondes.jsonl was replaced, reading it from the start");
}

TEST(ReadPipeTest, EveryWriterIsOneStreamAndTheNextOneIsWaitedFor) {
  FakeSystem s;
  s.writers = {{"A\n{cu", "t"}, {"B\n"}, {}};
  Record record;
  std::vector<std::string> notices;
  ReadPipe(
      "fifo", s, record, false, [&](const std::string& n) { notices.push_back(n); },
      [&] { record.text += "(gone)"; });
  // Each writer's end is told after its last line, before the next writer is waited for.
  EXPECT_EQ(record.text, "A\n{cut|(gone)B\n|(gone)|(gone)");
  EXPECT_EQ(notices, (std::vector<std::string>{"cannot open fifo: no more writers"}));
}

TEST(ReadPipeTest, WithStopAtEndTheFirstWriterIsAll) {
  FakeSystem s;
  s.writers = {{"A\n"}, {"B\n"}};
  Record record;
  ReadPipe(
      "fifo", s, record, true, [](const std::string&) {}, [&] { record.text += "(gone)"; });
  EXPECT_EQ(record.text, "A\n|");  // the end of the input, told by the caller
}

TEST(ReadPipeTest, StopsWhenThePathIsNoLongerAFifo) {
  FakeSystem s;
  s.writers = {{"A\n"}, {"B\n"}};
  s.pipeKind = PathKind::kRegularFile;
  Record record;
  std::vector<std::string> notices;
  ReadPipe("fifo", s, record, false, [&](const std::string& n) { notices.push_back(n); });
  EXPECT_EQ(record.text, "A\n|");
  EXPECT_EQ(notices, (std::vector<std::string>{"fifo is no longer a FIFO"}));
}

TEST(ReadDatagramsTest, EachDatagramEndsItsLastLine) {
  Stream socket({"A", "B\nC", "", "D\n"});
  socket.end_ = -1;
  Record record;
  std::vector<std::string> notices;
  ReadDatagrams(socket, record, [&](const std::string& n) { notices.push_back(n); });
  EXPECT_EQ(record.text, "A|B\nC||D\n|");
  EXPECT_EQ(notices.size(), 1u);
}

TEST(ReadToEndTest, AllReadsThenOneEnd) {
  Stream in({"A\n", "{x", "}\n"});
  Record record;
  ReadToEnd(in, record);
  EXPECT_EQ(record.text, "A\n{x}\n|");
}

}  // namespace
}  // namespace bridge
