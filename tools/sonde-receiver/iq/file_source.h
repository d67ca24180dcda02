#pragma once
// IQ from a recorded capture of the dongle's u8 I/Q pairs. Read as fast as asked: the
// receiver counts its time in samples, so there is no pacing. A capture cut inside a pair
// loses its last byte.

#include <cstdio>
#include <memory>
#include <string>

#include "iq/iq_source.h"

namespace receiver {

class FileSource : public IqSource {
 public:
  // Nothing, and the reason in `error`, when the file cannot be opened or the numbers are
  // not a rate and a centre.
  static std::unique_ptr<FileSource> Open(const std::string& path, double sample_rate,
                                          double center_hz, std::string* error);
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  bool Tune(double) override { return false; }
  double CenterHz() const override { return center_hz_; }
  double SampleRate() const override { return sample_rate_; }
  ReadStatus Read(std::vector<std::complex<float>>& out, std::size_t max, int timeout_ms) override;
  std::string TakeEvent() override;

  long long SamplesRead() const { return samples_read_; }

 private:
  FileSource(std::FILE* file, std::string path, double sample_rate, double center_hz);

  std::FILE* file_;
  std::string path_;
  double sample_rate_;
  double center_hz_;
  long long samples_read_ = 0;
  bool ended_ = false;
  bool announced_start_ = false;
  bool announced_end_ = false;
  std::vector<unsigned char> buffer_;
};

}  // namespace receiver
