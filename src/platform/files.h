#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nimbrix {

// The few file operations of the program: read a whole file once, append one record, and what
// a log that must stay valid needs (checked appends, rewriting its closing tail, its folder).
class Files {
 public:
  virtual ~Files() = default;
  // The whole file as bytes; nullopt when it cannot be opened or read (missing, a directory...).
  virtual std::optional<std::string> ReadAll(const std::string& path) = 0;
  // Opens for appending (creating it), writes, closes. Failures are ignored.
  virtual void Append(const std::string& path, std::string_view bytes) = 0;
  // As Append, but says whether every byte reached the file (false: disk full, read-only...).
  virtual bool AppendChecked(const std::string& path, std::string_view bytes) = 0;
  // Writes `bytes` over the file's last `tailBytes` bytes (the file ends after them); false when
  // the file is missing, shorter than `tailBytes`, or the write fails.
  virtual bool ReplaceTail(const std::string& path, std::size_t tailBytes,
                           std::string_view bytes) = 0;
  // Makes the folder and those above it where missing; true when it is there afterwards.
  virtual bool MakeFolder(const std::string& path) = 0;
  // A regular file's size in bytes; nullopt when there is none.
  virtual std::optional<std::uintmax_t> Size(const std::string& path) = 0;
};

// The real file system, through the standard library (the same on every platform).
class StdFiles : public Files {
 public:
  std::optional<std::string> ReadAll(const std::string& path) override;
  void Append(const std::string& path, std::string_view bytes) override;
  bool AppendChecked(const std::string& path, std::string_view bytes) override;
  bool ReplaceTail(const std::string& path, std::size_t tailBytes, std::string_view bytes) override;
  bool MakeFolder(const std::string& path) override;
  std::optional<std::uintmax_t> Size(const std::string& path) override;
};

}  // namespace nimbrix
