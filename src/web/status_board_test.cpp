#include "web/status_board.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace nimbrix {
namespace {

// The cycle publishes while the server's threads read: every text a reader gets is one that was
// published, whole, and they come in order. Run under ThreadSanitizer (the tsan preset) this
// also shows there is no data race in the handover.
TEST(StatusBoardTest, ReadersGetWholeTextsWhileTheCyclePublishes) {
  StatusBoard board;
  EXPECT_EQ(board.Current(), nullptr);
  constexpr int kTexts = 2000;
  auto text = [](int i) {
    return "{\"n\":" + std::to_string(i) + ",\"pad\":\"" +
           std::string(static_cast<std::size_t>(i % 97) * 10, 'x') + "\"}";
  };
  board.Publish(text(0));
  std::atomic<bool> done{false};
  std::atomic<int> bad{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 3; ++r) {
    readers.emplace_back([&] {
      int last = -1;
      while (!done.load()) {
        const std::shared_ptr<const std::string> json = board.Current();
        const int n = std::stoi(json->substr(5));
        if (*json != text(n) || n < last) ++bad;
        last = n;
      }
    });
  }
  for (int i = 1; i <= kTexts; ++i) board.Publish(text(i));
  done = true;
  for (auto& t : readers) t.join();
  EXPECT_EQ(bad.load(), 0);
  EXPECT_EQ(*board.Current(), text(kTexts));
}

}  // namespace
}  // namespace nimbrix
