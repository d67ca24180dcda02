#pragma once
// The band simulator's command line.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace standin {

struct SondeArg {
  double frequency_hz = 0;
  std::string serial;  // empty: a made-up one
};

struct StandinArgs {
  int port = 1234;
  std::uint32_t seed = 1;
  double snr_db = 20;
  double ppm = 0;
  double close_after_s = -1;
  double stall_after_s = -1;
  bool bad_greeting = false;
  std::vector<double> cw_hz;
  std::vector<double> fm_voice_hz;
  std::vector<double> spur_offset_hz;
  std::vector<SondeArg> rs41;
  std::vector<SondeArg> dfm;
  std::vector<SondeArg> dfm_inverted;  // chips upside down, as a DFM-06 is against a DFM-09
  bool help = false;
};

// Nothing, and the reason in `error`, for an unknown option or a value that is not a number
// in its range.
std::optional<StandinArgs> ParseStandinArgs(const std::vector<std::string>& args,
                                            std::string* error);

extern const char kStandinUsage[];

}  // namespace standin
