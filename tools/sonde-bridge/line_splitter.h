#pragma once

// Bytes in, complete lines out. Lines end with LF or CR LF; the line ending is not part of the
// line. Empty lines are dropped without a word: the decoders print one after every frame. A line
// longer than kMaxLineBytes is dropped as a whole and reported once, and splitting starts again
// after its end, so one runaway line cannot take the memory or the lines after it.

#include <cstddef>
#include <string>
#include <string_view>

namespace bridge {

inline constexpr std::size_t kMaxLineBytes = 64 * 1024;

class LineSplitter {
 public:
  // Receives each line (the view is valid until OnLine returns) and each dropped long line.
  class Sink {
   public:
    virtual ~Sink() = default;
    virtual void OnLine(std::string_view line) = 0;
    virtual void OnTooLong() = 0;
  };

  explicit LineSplitter(Sink& sink) : sink_(sink) {}

  void Feed(std::string_view bytes);
  // The end of the stream: a last line without a line end counts as a line.
  void Finish();

 private:
  void Emit(std::string_view line);

  Sink& sink_;
  std::string pending_;  // the start of a line whose end has not come yet
  bool discarding_ = false;
};

}  // namespace bridge
