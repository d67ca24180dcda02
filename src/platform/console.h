#pragma once

#include <string>
#include <string_view>

namespace nimbrix {

// The text screen and keyboard. Rows and columns count from 1; colours are the console's
// numbers 0..15 (7 light grey, 12 light red, 14 yellow). Text reaching the right edge wraps.
// What is drawn may be held until Flush(), and is then handed to the terminal at once; the
// console flushes by itself before it waits for a key and when it ends.
class Console {
 public:
  virtual ~Console() = default;
  virtual void MoveTo(int row, int col) = 0;
  virtual void SetColor(int color) = 0;
  // Blanks in the current colours over the whole screen; cursor to row 1, column 1.
  virtual void Clear() = 0;
  // Bytes written as they are at the cursor (callers keep control bytes out).
  virtual void Write(std::string_view text) = 0;
  // Cursor to column 1 of the next row, scrolling at the bottom.
  virtual void LineBreak() = 0;
  // Blanks in the current colours from the cursor to the right edge of its row; the cursor
  // stays. Nothing is erased when the text before it filled the row up to its last column.
  virtual void EraseToEndOfRow() = 0;
  // Hands everything drawn since the last flush to the terminal (one write on POSIX); nothing
  // happens when nothing was drawn.
  virtual void Flush() = 0;
  // One pending key without waiting: "" when none, "\x1b" for ESC, a longer text for a special key.
  // Once the program has been asked to stop (SIGTERM; SIGINT without a terminal), every poll
  // and wait gives ESC, so the program ends the way ESC ends it.
  virtual std::string PollKey() = 0;
  // Waits for one key and returns its text.
  virtual std::string WaitKey() = 0;
  // Whether the terminal's size has changed since the last call (what it shows may then be
  // lost or moved). Noticed by the caller, never acted on inside a signal.
  virtual bool TakeResized() = 0;
  // Whether the output goes to a terminal (or console window) that shows a screen; false for a
  // file, a pipe or a service's log.
  virtual bool IsTerminal() const = 0;
  // Whether the program has been asked to stop (see PollKey).
  virtual bool StopRequested() const = 0;
};

inline constexpr int kColorNormal = 7;
inline constexpr int kColorLightRed = 12;
inline constexpr int kColorYellow = 14;
inline constexpr const char* kKeyEscape = "\x1b";

}  // namespace nimbrix
