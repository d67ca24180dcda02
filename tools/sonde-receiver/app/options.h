#pragma once
// The command line of sonde-receiver.

#include <optional>
#include <string>
#include <vector>

namespace receiver {

enum class SourceKind { kDevice, kRtlTcp, kCapture };

struct Options {
  SourceKind source = SourceKind::kDevice;
  std::string device = "0";  // index or serial
  std::string host;
  int port = 0;
  std::string capture_path;
  double capture_rate = 0;
  double capture_center_hz = 0;
  bool band_given = false;
  double band_low_hz = 400e6;
  double band_high_hz = 406e6;
  double sample_rate = 2048000;
  std::optional<double> gain_db;  // automatic when empty
  double ppm = 0;
  bool bias_tee = false;
  std::vector<double> ignored_hz;
  std::string decoders_dir;
  bool help = false;
  bool version = false;
};

struct ParsedOptions {
  std::optional<Options> options;
  std::string error;  // one line naming the option, when `options` is empty
};

// The arguments without the program's name.
ParsedOptions ParseOptions(const std::vector<std::string>& args);
std::string UsageText();

}  // namespace receiver
