#include "iq/file_source.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace receiver {
namespace {

class TempFile {
 public:
  explicit TempFile(const std::vector<std::uint8_t>& bytes) {
    char name[] = "/tmp/iq_capture_XXXXXX";
    const int fd = mkstemp(name);
    path_ = name;
    if (fd >= 0) {
      if (!bytes.empty()) {
        EXPECT_EQ(write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
      }
      close(fd);
    }
  }
  ~TempFile() { std::filesystem::remove(path_); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::vector<std::uint8_t> Ramp(std::size_t n) {
  std::vector<std::uint8_t> out(n);
  for (std::size_t k = 0; k < n; ++k) out[k] = static_cast<std::uint8_t>(k * 7);
  return out;
}

struct CaptureCase {
  std::string name;
  std::size_t bytes;
  std::size_t read_size;
  std::size_t samples;
};

class FileSourceTest : public ::testing::TestWithParam<CaptureCase> {};

TEST_P(FileSourceTest, ReadsEveryWholePairThenEnds) {
  const auto& c = GetParam();
  const auto bytes = Ramp(c.bytes);
  TempFile file(bytes);
  std::string error;
  auto source = FileSource::Open(file.path(), 2048000, 403e6, &error);
  ASSERT_TRUE(source) << error;
  std::vector<std::complex<float>> got;
  ReadStatus status = ReadStatus::kOk;
  for (int guard = 0; guard < 10000 && status == ReadStatus::kOk; ++guard) {
    const std::size_t before = got.size();
    status = source->Read(got, c.read_size, 100);
    EXPECT_LE(got.size() - before, c.read_size);
  }
  EXPECT_EQ(status, ReadStatus::kEnd);
  ASSERT_EQ(got.size(), c.samples);
  for (std::size_t k = 0; k < got.size(); ++k) {
    EXPECT_FLOAT_EQ(got[k].real(), (bytes[2 * k] - 127.4f) / 128);
    EXPECT_FLOAT_EQ(got[k].imag(), (bytes[2 * k + 1] - 127.4f) / 128);
  }
  EXPECT_EQ(source->SamplesRead(), static_cast<long long>(c.samples));
  EXPECT_EQ(source->Read(got, 10, 0), ReadStatus::kEnd);  // and stays ended
}

INSTANTIATE_TEST_SUITE_P(Captures, FileSourceTest,
                         ::testing::Values(CaptureCase{"Even", 2000, 64, 1000},
                                           CaptureCase{"CutMidPair", 2001, 64, 1000},
                                           CaptureCase{"ExactReads", 256, 64, 128},
                                           CaptureCase{"OneByte", 1, 8, 0},
                                           CaptureCase{"Empty", 0, 8, 0},
                                           CaptureCase{"OneBigRead", 999, 100000, 499}),
                         [](const auto& info) { return info.param.name; });

TEST(FileSource, AllZeroBytesAreTheNegativeCorner) {
  TempFile file(std::vector<std::uint8_t>(64, 0));
  auto source = FileSource::Open(file.path(), 1024000, 402e6, nullptr);
  ASSERT_TRUE(source);
  std::vector<std::complex<float>> got;
  ASSERT_EQ(source->Read(got, 100, 0), ReadStatus::kOk);
  ASSERT_EQ(got.size(), 32u);
  for (const auto& s : got) {
    EXPECT_FLOAT_EQ(s.real(), -127.4f / 128);
    EXPECT_FLOAT_EQ(s.imag(), -127.4f / 128);
    EXPECT_GE(s.real(), -1.0f);
  }
}

TEST(FileSource, CannotTuneAndKeepsItsCentre) {
  TempFile file(Ramp(16));
  auto source = FileSource::Open(file.path(), 2400000, 404.5e6, nullptr);
  ASSERT_TRUE(source);
  EXPECT_FALSE(source->Tune(401e6));
  EXPECT_DOUBLE_EQ(source->CenterHz(), 404.5e6);
  EXPECT_DOUBLE_EQ(source->SampleRate(), 2400000);
}

TEST(FileSource, EventsSayTheStartAndTheEndOnce) {
  TempFile file(Ramp(10));
  auto source = FileSource::Open(file.path(), 2048000, 403e6, nullptr);
  ASSERT_TRUE(source);
  EXPECT_NE(source->TakeEvent().find("403.000000 MHz"), std::string::npos);
  EXPECT_EQ(source->TakeEvent(), "");
  std::vector<std::complex<float>> got;
  while (source->Read(got, 4, 0) == ReadStatus::kOk) {
  }
  EXPECT_NE(source->TakeEvent().find("ended after 5 samples"), std::string::npos);
  EXPECT_EQ(source->TakeEvent(), "");
}

struct OpenCase {
  std::string name;
  std::string path;
  double rate;
  double center;
};

class FileSourceOpenTest : public ::testing::TestWithParam<OpenCase> {};

TEST_P(FileSourceOpenTest, RefusesWithAReason) {
  const auto& c = GetParam();
  TempFile file(Ramp(4));
  std::string error;
  const std::string path = c.path.empty() ? file.path() : c.path;
  EXPECT_FALSE(FileSource::Open(path, c.rate, c.center, &error));
  EXPECT_FALSE(error.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Refused, FileSourceOpenTest,
    ::testing::Values(OpenCase{"Missing", "/nonexistent/dir/capture.u8", 2048000, 403e6},
                      OpenCase{"ZeroRate", "", 0, 403e6}, OpenCase{"NegativeRate", "", -1, 403e6},
                      OpenCase{"NanRate", "", std::nan(""), 403e6},
                      OpenCase{"ZeroCentre", "", 2048000, 0}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace receiver
