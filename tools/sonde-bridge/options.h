#pragma once

// sonde-bridge's command line.

#include <cstdint>
#include <string>
#include <vector>

#include "follower.h"

namespace bridge {

extern const char kHelpText[];

struct Options {
  enum class Input { kStandardInput, kFile, kUdp };
  Input input = Input::kStandardInput;
  std::string path;                                     // --input
  std::uint16_t udpPort = 0;                            // --udp
  std::string udpBind = "127.0.0.1";                    // --udp-bind
  std::string serial;                                   // --serial
  int switchAfterSeconds = kDefaultSwitchAfterSeconds;  // --switch-after
  std::string qrgText;  // --qrg, as item 7 shows it ("403.500"); "" without
  bool exitOnEof = false;
  bool verbose = false;
  std::string name = "SondeMonitor.Document";
  bool printReady = false;
  bool registerProgId = false;  // --register (Windows)
  bool help = false;
};

// The options, or the reason they are at fault in `error`.
bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error);

}  // namespace bridge
