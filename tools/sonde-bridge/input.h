#pragma once

// Where the bridge's bytes come from, as the operating system offers them (input_posix.cpp,
// input_win32.cpp); the reading loops (reader.h) see only these interfaces, so the tests use
// fakes.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace bridge {

// Where the bytes go: the intake, or a test's record.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void Feed(std::string_view bytes) = 0;
  // The end of one stream (a pipe's writer went away, a datagram ended).
  virtual void EndOfStream() = 0;
};

class ByteStream {
 public:
  virtual ~ByteStream() = default;
  // Waits for bytes: their count, 0 at the end of the stream, -1 after an error. A datagram
  // socket gives one whole datagram per call.
  virtual long Read(char* buffer, std::size_t size) = 0;
};

// A regular file, followed as it grows.
class GrowingFile : public ByteStream {
 public:
  virtual std::int64_t Size() = 0;  // of the open file, now; -1 when unknown
  virtual bool Replaced() = 0;      // the path now names another file (the old one was rotated)
};

enum class PathKind { kMissing, kRegularFile, kPipe };

class InputSystem {
 public:
  virtual ~InputSystem() = default;
  virtual std::unique_ptr<ByteStream> StandardInput() = 0;
  virtual PathKind KindOf(const std::string& path) = 0;
  // nullptr and `error` when the file cannot be opened.
  virtual std::unique_ptr<GrowingFile> OpenFile(const std::string& path, std::string& error) = 0;
  // A FIFO: waits until a writer opens it.
  virtual std::unique_ptr<ByteStream> OpenPipe(const std::string& path, std::string& error) = 0;
  // A UDP socket bound to a numeric IPv4 or IPv6 address.
  virtual std::unique_ptr<ByteStream> BindUdp(const std::string& address, std::uint16_t port,
                                              std::string& error) = 0;
  virtual void SleepMs(int ms) = 0;
};

// The operating system's own.
std::unique_ptr<InputSystem> MakeInputSystem();

}  // namespace bridge
