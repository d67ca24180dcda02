#include "app/child_decoder.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace receiver {

namespace {

constexpr std::size_t kMaxLine = 16384;  // a frame's line is a few hundred bytes

void PutLe(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// Byte by byte: g++ 12 at -O2 takes a range insert into a vector still empty for an overflow.
void PutText(std::vector<std::uint8_t>& out, const char* text) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(text[i]));
}

// A small recursive-descent check of JSON's grammar, with a depth limit.
class JsonChecker {
 public:
  explicit JsonChecker(std::string_view text) : text_(text) {}
  bool Object() {
    Space();
    if (!ParseObject(0)) return false;
    Space();
    return pos_ == text_.size();
  }

 private:
  bool ParseValue(int depth) {
    if (depth > 32) return false;
    Space();
    if (pos_ >= text_.size()) return false;
    const char c = text_[pos_];
    if (c == '{') return ParseObject(depth + 1);
    if (c == '[') return ParseArray(depth + 1);
    if (c == '"') return ParseString();
    if (c == '-' || (c >= '0' && c <= '9')) return ParseNumber();
    return Word("true") || Word("false") || Word("null");
  }
  bool ParseObject(int depth) {
    if (!Take('{')) return false;
    Space();
    if (Take('}')) return true;
    while (true) {
      Space();
      if (!ParseString()) return false;
      Space();
      if (!Take(':') || !ParseValue(depth)) return false;
      Space();
      if (Take('}')) return true;
      if (!Take(',')) return false;
    }
  }
  bool ParseArray(int depth) {
    if (!Take('[')) return false;
    Space();
    if (Take(']')) return true;
    while (true) {
      if (!ParseValue(depth)) return false;
      Space();
      if (Take(']')) return true;
      if (!Take(',')) return false;
    }
  }
  bool ParseString() {
    if (!Take('"')) return false;
    while (pos_ < text_.size()) {
      const unsigned char c = static_cast<unsigned char>(text_[pos_++]);
      if (c == '"') return true;
      if (c < 0x20) return false;
      if (c == '\\') {
        if (pos_ >= text_.size()) return false;
        const char e = text_[pos_++];
        if (e == 'u') {
          for (int i = 0; i < 4; ++i) {
            if (pos_ >= text_.size() || !std::isxdigit(static_cast<unsigned char>(text_[pos_++])))
              return false;
          }
        } else if (!std::strchr("\"\\/bfnrt", e) || e == 0) {
          return false;
        }
      }
    }
    return false;
  }
  bool ParseNumber() {
    Take('-');
    if (!Digits()) return false;
    if (Take('.') && !Digits()) return false;
    if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
      ++pos_;
      if (!Take('+')) Take('-');
      if (!Digits()) return false;
    }
    return true;
  }
  bool Digits() {
    const std::size_t start = pos_;
    while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') ++pos_;
    return pos_ > start;
  }
  bool Word(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }
  bool Take(char c) {
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  void Space() {
    while (pos_ < text_.size() && std::strchr(" \t\r\n", text_[pos_]) && text_[pos_]) ++pos_;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

std::optional<std::string_view> DecoderProgramFor(SondeKind kind) {
  switch (kind) {
    case SondeKind::kRs41:
    case SondeKind::kDfm:
      return std::nullopt;  // ours
    case SondeKind::kRs92:
      return "rs92mod";
    case SondeKind::kM10:
      return "m10mod";
    case SondeKind::kM20:
      return "mXXmod";
    case SondeKind::kImet4:
      return "imet1rs_dft";
    case SondeKind::kLms6:
      return "lms6Xmod";
    case SondeKind::kIms100:
      return "meisei100mod";
    case SondeKind::kMrz:
      return "mp3h1mod";
  }
  return std::nullopt;
}

std::vector<std::uint8_t> WavStreamHeader(int sample_rate) {
  std::vector<std::uint8_t> out;
  out.reserve(44);
  const std::uint32_t rate = static_cast<std::uint32_t>(sample_rate);
  PutText(out, "RIFF");
  PutLe(out, 0xFFFFFFFFu, 4);
  PutText(out, "WAVE");
  PutText(out, "fmt ");
  PutLe(out, 16, 4);
  PutLe(out, 1, 2);  // PCM
  PutLe(out, 1, 2);  // mono
  PutLe(out, rate, 4);
  PutLe(out, rate * 2, 4);  // bytes per second
  PutLe(out, 2, 2);         // bytes per frame
  PutLe(out, 16, 2);        // bits per sample
  PutText(out, "data");
  PutLe(out, 0xFFFFFFFFu - 36, 4);
  return out;
}

void AudioFromDemod(std::span<const float> demod_hz, double full_scale_hz,
                    std::vector<std::int16_t>& out) {
  const double scale = full_scale_hz > 0 ? 32767 / full_scale_hz : 0;
  for (float hz : demod_hz) {
    const double value = std::isfinite(hz) ? hz * scale : 0;
    out.push_back(static_cast<std::int16_t>(std::clamp(std::lround(value), -32767L, 32767L)));
  }
}

bool IsJsonObject(std::string_view text) {
  return JsonChecker(text).Object();
}

std::vector<std::string> JsonLineFilter::Push(std::string_view bytes) {
  std::vector<std::string> lines;
  for (char c : bytes) {
    if (c != '\n') {
      if (partial_.size() < kMaxLine) {
        partial_.push_back(c);
      } else {
        overlong_ = true;
      }
      continue;
    }
    std::string line;
    line.swap(partial_);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const bool frame = line.rfind("{ \"type\":", 0) == 0;
    if (frame && !overlong_ && IsJsonObject(line)) {
      lines.push_back(std::move(line));
    } else if (frame) {
      ++dropped_;
    }
    overlong_ = false;
  }
  return lines;
}

std::string FindProgram(std::string_view name, const std::string& dir, const std::string& path) {
  if (name.empty() || name.find('/') != std::string_view::npos) return "";
  auto runnable = [](const std::string& file) {
    struct stat info {};
    return ::stat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(file.c_str(), X_OK) == 0;
  };
  if (!dir.empty()) {
    const std::string file = dir + "/" + std::string(name);
    if (runnable(file)) return file;
  }
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    const std::string folder = path.substr(start, end - start);
    if (!folder.empty()) {
      const std::string file = folder + "/" + std::string(name);
      if (runnable(file)) return file;
    }
    start = end + 1;
  }
  return "";
}

std::optional<ChildDecoder> ChildDecoder::Start(const std::string& program,
                                                const std::vector<std::string>& args) {
  int to_child[2];
  int from_child[2];
  if (::pipe2(to_child, O_CLOEXEC) != 0) return std::nullopt;
  if (::pipe2(from_child, O_CLOEXEC) != 0) {
    ::close(to_child[0]);
    ::close(to_child[1]);
    return std::nullopt;
  }
  std::vector<std::string> argv_text{program};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argv_text) argv.push_back(arg.data());
  argv.push_back(nullptr);
  // A child gone away must show as a failed write, not end us.
  ::signal(SIGPIPE, SIG_IGN);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::signal(SIGPIPE, SIG_DFL);
    ::dup2(to_child[0], 0);
    ::dup2(from_child[1], 1);
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) ::dup2(null, 2);  // their status text is not ours to print
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(to_child[0]);
  ::close(from_child[1]);
  if (pid < 0) {
    ::close(to_child[1]);
    ::close(from_child[0]);
    return std::nullopt;
  }
  ::fcntl(to_child[1], F_SETFL, ::fcntl(to_child[1], F_GETFL) | O_NONBLOCK);
  ::fcntl(from_child[0], F_SETFL, ::fcntl(from_child[0], F_GETFL) | O_NONBLOCK);
  ChildDecoder child(pid, to_child[1], from_child[0]);
  const std::vector<std::uint8_t> header = WavStreamHeader(48000);
  child.unsent_ = header;
  child.Write({});
  return child;
}

ChildDecoder::ChildDecoder(pid_t pid, int in, int out) : pid_(pid), in_(in), out_(out) {}

ChildDecoder::ChildDecoder(ChildDecoder&& other) noexcept
    : pid_(other.pid_),
      in_(other.in_),
      out_(other.out_),
      filter_(std::move(other.filter_)),
      unsent_(std::move(other.unsent_)),
      dropped_samples_(other.dropped_samples_) {
  other.pid_ = -1;
  other.in_ = -1;
  other.out_ = -1;
}

ChildDecoder::~ChildDecoder() {
  Stop();
}

void ChildDecoder::Stop() {
  if (in_ >= 0) ::close(in_);
  if (out_ >= 0) ::close(out_);
  in_ = out_ = -1;
  if (pid_ > 0) {
    // No wait for it to finish its frame: it is killed, and reaped at once.
    ::kill(pid_, SIGKILL);
    while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  pid_ = -1;
}

void ChildDecoder::Write(std::span<const std::int16_t> audio) {
  if (in_ < 0) {
    dropped_samples_ += static_cast<long long>(audio.size());
    return;
  }
  for (std::int16_t sample : audio) {
    unsent_.push_back(static_cast<std::uint8_t>(sample & 0xFF));
    unsent_.push_back(static_cast<std::uint8_t>((sample >> 8) & 0xFF));
  }
  std::size_t sent = 0;
  while (sent < unsent_.size()) {
    const ssize_t n = ::write(in_, unsent_.data() + sent, unsent_.size() - sent);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;
    }
  }
  unsent_.erase(unsent_.begin(), unsent_.begin() + static_cast<std::ptrdiff_t>(sent));
  // Keep at most a second of audio back; beyond, the child cannot keep up. Whole samples go.
  constexpr std::size_t kMaxBacklog = 96000;
  if (unsent_.size() > kMaxBacklog) {
    std::size_t drop = unsent_.size() - kMaxBacklog;
    drop += drop % 2;
    dropped_samples_ += static_cast<long long>(drop / 2);
    unsent_.erase(unsent_.end() - static_cast<std::ptrdiff_t>(drop), unsent_.end());
  }
}

std::vector<std::string> ChildDecoder::ReadLines(int wait_ms) {
  std::vector<std::string> lines;
  if (out_ < 0) return lines;
  if (wait_ms > 0) {
    pollfd wait{out_, POLLIN, 0};
    ::poll(&wait, 1, wait_ms);
  }
  char buffer[4096];
  for (int round = 0; round < 16; ++round) {
    const ssize_t n = ::read(out_, buffer, sizeof buffer);
    if (n > 0) {
      for (std::string& line : filter_.Push({buffer, static_cast<std::size_t>(n)})) {
        lines.push_back(std::move(line));
      }
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) {
      // It ended: nothing more will come from it.
      ::close(out_);
      out_ = -1;
      if (in_ >= 0) ::close(in_);
      in_ = -1;
      if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
    break;
  }
  return lines;
}

}  // namespace receiver
