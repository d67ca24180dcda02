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

bool StdFiles::AppendChecked(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::app);
  if (!out) return false;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();  // a full disk often shows only when the buffer goes out
  return !out.fail();
}

bool StdFiles::ReplaceTail(const std::string& path, std::size_t tailBytes, std::string_view bytes) {
  const std::optional<std::uintmax_t> size = Size(path);
  if (!size || *size < tailBytes) return false;
  const std::uintmax_t keep = *size - tailBytes;
  {
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    if (!out) return false;
    out.seekp(static_cast<std::streamoff>(keep));
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (out.fail()) return false;
  }
  if (bytes.size() < tailBytes) {
    std::error_code error;
    std::filesystem::resize_file(path, keep + bytes.size(), error);
    if (error) return false;
  }
  return true;
}

bool StdFiles::MakeFolder(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  return std::filesystem::is_directory(path, error);
}

std::optional<std::uintmax_t> StdFiles::Size(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error) return std::nullopt;
  return size;
}

}  // namespace nimbrix
