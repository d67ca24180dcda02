#include "platform/files.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace nimbrix {

std::optional<std::string> StdFiles::ReadAll(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

void StdFiles::Append(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::app);
  if (!out) return;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace nimbrix
