#include "reader.h"

#include <utility>
#include <vector>

namespace bridge {

namespace {

// One read's worth; a datagram is at most 64 KiB.
constexpr std::size_t kReadBytes = 64 * 1024;

}  // namespace

void ReadToEnd(ByteStream& in, ByteSink& sink) {
  std::vector<char> buffer(kReadBytes);
  for (;;) {
    const long n = in.Read(buffer.data(), buffer.size());
    if (n <= 0) break;
    sink.Feed({buffer.data(), static_cast<std::size_t>(n)});
  }
  sink.EndOfStream();
}

void FollowFile(std::unique_ptr<GrowingFile> file, const std::string& path, InputSystem& system,
                ByteSink& sink, bool stopAtEnd, const Notice& notice) {
  std::vector<char> buffer(kReadBytes);
  std::int64_t position = 0;
  for (;;) {
    const long n = file->Read(buffer.data(), buffer.size());
    if (n > 0) {
      sink.Feed({buffer.data(), static_cast<std::size_t>(n)});
      position += n;
      continue;
    }
    if (n < 0) {
      notice("cannot read " + path + " any further");
      sink.EndOfStream();
      return;
    }
    if (stopAtEnd) {
      sink.EndOfStream();
      return;
    }
    // At the end of what is there: a partial last line waits for the rest of it.
    system.SleepMs(kFollowPollMs);
    const std::int64_t size = file->Size();
    const bool truncated = size >= 0 && size < position;
    if (!truncated && !file->Replaced()) continue;
    std::string error;
    std::unique_ptr<GrowingFile> fresh = system.OpenFile(path, error);
    if (!fresh) continue;  // rotated and not there again yet: keep to the old one
    notice(path + (truncated ? " was cut short" : " was replaced") + ", reading it from the start");
    sink.EndOfStream();
    file = std::move(fresh);
    position = 0;
  }
}

void ReadPipe(const std::string& path, InputSystem& system, ByteSink& sink, bool stopAtEnd,
              const Notice& notice, const std::function<void()>& writerGone) {
  for (;;) {
    std::string error;
    std::unique_ptr<ByteStream> pipe = system.OpenPipe(path, error);
    if (!pipe) {
      notice("cannot open " + path + ": " + error);
      return;
    }
    ReadToEnd(*pipe, sink);
    if (stopAtEnd) return;
    pipe.reset();  // closed before it is told: a writer that comes now waits for the next open
    if (writerGone) writerGone();
    if (system.KindOf(path) != PathKind::kPipe) {
      notice(path + " is no longer a FIFO");
      return;
    }
  }
}

void ReadDatagrams(ByteStream& socket, ByteSink& sink, const Notice& notice) {
  std::vector<char> buffer(kReadBytes);
  for (;;) {
    const long n = socket.Read(buffer.data(), buffer.size());
    if (n < 0) {
      notice("cannot receive any further");
      return;
    }
    sink.Feed({buffer.data(), static_cast<std::size_t>(n)});
    sink.EndOfStream();
  }
}

}  // namespace bridge
