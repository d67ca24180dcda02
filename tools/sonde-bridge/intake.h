#pragma once

// The bridge's input side, on the reader thread: bytes become lines, lines become frames or
// skips, and accepted frames become the answers the service gives.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "frame_store.h"
#include "input.h"
#include "line_splitter.h"

namespace bridge {

class Intake final : public ByteSink, private LineSplitter::Sink {
 public:
  // `log` receives one line of text (without a line end) per line read, for --verbose; it may
  // be empty.
  using Log = std::function<void(const std::string&)>;
  // `serial`: only this sonde's frames; empty: every sonde, the newest frame wins.
  Intake(std::string serial, FrameStore& store, Log log);

  void Feed(std::string_view bytes) override { splitter_.Feed(bytes); }
  // A last line without a line end is taken too.
  void EndOfStream() override { splitter_.Finish(); }

 private:
  void OnLine(std::string_view line) override;
  void OnTooLong() override;
  void Skipped(SkipReason reason, std::string_view detail);

  const std::string serial_;
  FrameStore& store_;
  Log log_;
  LineSplitter splitter_{*this};
  std::uint64_t lineNumber_ = 0;
};

// A text from the input made safe for a terminal: control bytes (C0, DEL and the C1 range in
// UTF-8) become "?", and a text longer than `limit` bytes is cut with "...".
std::string Printable(std::string_view text, std::size_t limit = 40);

}  // namespace bridge
