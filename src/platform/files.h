#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace nimbrix {

// The few file operations of the program: read a whole file once, append one record.
class Files {
 public:
  virtual ~Files() = default;
  // The whole file as bytes; nullopt when it cannot be opened or read (missing, a directory...).
  virtual std::optional<std::string> ReadAll(const std::string& path) = 0;
  // Opens for appending (creating it), writes, closes. Failures are ignored.
  virtual void Append(const std::string& path, std::string_view bytes) = 0;
};

// The real file system, through the standard library (the same on every platform).
class StdFiles : public Files {
 public:
  std::optional<std::string> ReadAll(const std::string& path) override;
  void Append(const std::string& path, std::string_view bytes) override;
};

}  // namespace nimbrix
