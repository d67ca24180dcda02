#pragma once
// The kinds we do not decode ourselves go to the open decoders (rs92mod, m10mod...) run as
// child processes: the channel's FM audio in, as the 48 kHz 16-bit mono WAV stream they read
// on standard input, and their JSON lines out, taken only when they are whole JSON objects.

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/sonde_kind.h"

namespace receiver {

// The program for a kind, when it is not decoded in-process.
std::optional<std::string_view> DecoderProgramFor(SondeKind kind);

// The 44-byte header of a WAV stream of unknown length (the sizes at their largest).
std::vector<std::uint8_t> WavStreamHeader(int sample_rate);

// The channel's demodulated frequency (Hz) as 16-bit audio: full scale at `full_scale_hz`.
void AudioFromDemod(std::span<const float> demod_hz, double full_scale_hz,
                    std::vector<std::int16_t>& out);

// Whether `text` is one JSON object and nothing else.
bool IsJsonObject(std::string_view text);

// Splits a child's output into lines and keeps the frames: `{ "type": ...}` objects.
class JsonLineFilter {
 public:
  std::vector<std::string> Push(std::string_view bytes);
  long long Dropped() const { return dropped_; }

 private:
  std::string partial_;
  bool overlong_ = false;
  long long dropped_ = 0;
};

// Where the program is: in `dir` first when given, else on `path` (PATH's form). Empty when
// nowhere.
std::string FindProgram(std::string_view name, const std::string& dir, const std::string& path);

class ChildDecoder {
 public:
  // Starts `program` with `args`; nothing when it cannot start.
  static std::optional<ChildDecoder> Start(const std::string& program,
                                           const std::vector<std::string>& args);
  ChildDecoder(ChildDecoder&& other) noexcept;
  ChildDecoder& operator=(ChildDecoder&&) = delete;
  ~ChildDecoder();

  // Never waits: audio the child is too slow for is dropped and counted.
  void Write(std::span<const std::int16_t> audio);
  // Its frames so far, waiting at most `wait_ms` for the first bytes (0: not at all).
  std::vector<std::string> ReadLines(int wait_ms = 0);
  long long DroppedSamples() const { return dropped_samples_; }
  bool Running() const { return pid_ > 0; }

 private:
  ChildDecoder(pid_t pid, int in, int out);
  void Stop();

  pid_t pid_ = -1;
  int in_ = -1;   // its standard input
  int out_ = -1;  // its standard output
  JsonLineFilter filter_;
  std::vector<std::uint8_t> unsent_;  // a partly written sample
  long long dropped_samples_ = 0;
};

}  // namespace receiver
