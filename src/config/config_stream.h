#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "config/config_reader.h"  // ConfigBytes

namespace nimbrix {

// Reads NIMBRIX.INI's bytes front to back, by line or by field. A byte 26 (Ctrl-Z) is the
// end of the file; a file that could not be read reads as empty. Every read past the end
// yields an empty text. The stream views the bytes, which must outlive it.
class ConfigStream {
 public:
  explicit ConfigStream(std::string_view bytes);
  ConfigStream(std::string&&) = delete;  // would leave the stream viewing a dead temporary

  bool AtEnd() const { return pos_ >= data_.size(); }

  // Up to the next CR (a LF right after it goes with it). A lone LF is part of the line.
  std::string_view ReadLine();

  // One positional item: leading blanks skipped; a quoted text is taken whole (line ends
  // included); otherwise up to a comma or CR, with tab and LF dropped.
  std::string ReadField();

  // The count item: leading blanks skipped, up to a comma, blank or CR, tab and LF dropped,
  // at most kMaxNumberField bytes kept.
  std::string ReadNumberField();

  static constexpr std::size_t kMaxNumberField = 255;

 private:
  void SkipBlanks();
  // A comma, or a CR with the LF that follows it.
  void ConsumeSeparator();

  std::string_view data_;
  std::size_t pos_ = 0;
};

// The bytes of a file that could be read; a file that could not reads as empty.
inline std::string_view BytesOf(const ConfigBytes& file) {
  return file ? std::string_view(*file) : std::string_view();
}

// The file's first line, as the format choice sees it.
std::string FirstLine(std::string_view bytes);

}  // namespace nimbrix
