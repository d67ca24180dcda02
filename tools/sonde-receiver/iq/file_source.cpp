#include "iq/file_source.h"

#include <cerrno>
#include <cmath>
#include <cstring>

#include "iq/rtl_tcp_protocol.h"

namespace receiver {

std::unique_ptr<FileSource> FileSource::Open(const std::string& path, double sample_rate,
                                             double center_hz, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return std::unique_ptr<FileSource>();
  };
  if (!(std::isfinite(sample_rate) && sample_rate > 0)) return fail("the sample rate must be > 0");
  if (!(std::isfinite(center_hz) && center_hz > 0)) return fail("the centre must be > 0");
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return fail(path + ": " + std::strerror(errno));
  return std::unique_ptr<FileSource>(new FileSource(file, path, sample_rate, center_hz));
}

FileSource::FileSource(std::FILE* file, std::string path, double sample_rate, double center_hz)
    : file_(file), path_(std::move(path)), sample_rate_(sample_rate), center_hz_(center_hz) {}

FileSource::~FileSource() {
  std::fclose(file_);
}

ReadStatus FileSource::Read(std::vector<std::complex<float>>& out, std::size_t max,
                            int /*timeout_ms*/) {
  if (ended_) return ReadStatus::kEnd;
  if (max == 0) return ReadStatus::kOk;
  buffer_.resize(max * 2);
  std::size_t have = 0;
  while (have < buffer_.size()) {
    const std::size_t n = std::fread(buffer_.data() + have, 1, buffer_.size() - have, file_);
    if (n == 0) break;
    have += n;
  }
  const std::size_t used = AppendIqPairs(std::span(buffer_.data(), have), out);
  samples_read_ += static_cast<long long>(used / 2);
  if (have < buffer_.size()) ended_ = true;  // the end, or a read error: nothing more either way
  if (used > 0) return ReadStatus::kOk;
  return ReadStatus::kEnd;
}

std::string FileSource::TakeEvent() {
  if (!announced_start_) {
    announced_start_ = true;
    char line[64];
    std::snprintf(line, sizeof(line), ", %.0f S/s at %.6f MHz", sample_rate_, center_hz_ / 1e6);
    return "capture " + path_ + line;
  }
  if (ended_ && !announced_end_) {
    announced_end_ = true;
    return "capture " + path_ + " ended after " + std::to_string(samples_read_) + " samples";
  }
  return {};
}

}  // namespace receiver
