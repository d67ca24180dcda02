#pragma once

// The bridge's input side, on the reader thread: bytes become lines, lines become frames or
// skips, frames of the sonde followed become the answers the service gives; the other sondes'
// frames are kept for the list (not when one sonde is pinned by its serial).

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "follower.h"
#include "frame_store.h"
#include "heights.h"
#include "input.h"
#include "line_splitter.h"
#include "quiet_watch.h"

namespace bridge {

struct IntakeOptions {
  using Log = std::function<void(const std::string&)>;
  std::string serial;  // only this sonde (also in the list); empty: the first sonde, then
                       // another after a silence
  std::int64_t switchAfterMs = kDefaultSwitchAfterSeconds * 1000;
  GeoidOpener geoid;                  // for ellipsoid heights; none: they stay as given
  std::function<std::int64_t()> now;  // a steady clock, ms; none: std::chrono::steady_clock
  Log notice;                         // what the operator is told without --verbose
  Log verbose;                        // every line's fate (--verbose); may be empty
};

class Intake final : public ByteSink, private LineSplitter::Sink {
 public:
  Intake(IntakeOptions options, FrameStore& store);

  void Feed(std::string_view bytes) override { splitter_.Feed(bytes); }
  // A last line without a line end is taken too.
  void EndOfStream() override { splitter_.Finish(); }

 private:
  void OnLine(std::string_view line) override;
  void OnTooLong() override;
  void Skipped(SkipReason reason, std::string_view detail);
  void Tell(const std::string& text) const;
  std::int64_t Now() const;

  IntakeOptions options_;
  FrameStore& store_;
  SondeFollower follower_;
  SeaLevel seaLevel_;
  QuietWatch quiet_;
  LineSplitter splitter_{*this};
  std::uint64_t lineNumber_ = 0;
};

// A text from the input made safe for a terminal: control bytes (C0, DEL and the C1 range in
// UTF-8) become "?", and a text longer than `limit` bytes is cut with "...".
std::string Printable(std::string_view text, std::size_t limit = 40);

}  // namespace bridge
