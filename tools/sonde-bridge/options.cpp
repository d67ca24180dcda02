#include "options.h"

#include <charconv>
#include <cmath>
#include <system_error>

#include "frame_answers.h"

namespace bridge {

const char kHelpText[] =
    R"(usage: sonde-bridge [--input FILE | --udp PORT [--udp-bind ADDR]] [options]

Plays the radiosonde decoder for NIMBRIX with the frames of the open decoders (rs41mod,
dfm09mod, m10mod, rs92mod, ... run with --json): reads one JSON object per line and answers
GETSONDEDATA(item) from the newest accepted frame. On Linux it owns SondeMonitor.Document on the
D-Bus session bus; on Windows it registers the running Automation object of that ProgID.

  rtl_fm -p 0 -M fm -F9 -s 48k -f 403.5M | sox -t raw -r 48k -e s -b 16 -c 1 - -r 48k -t wav - \
    | rs41mod --ptu --json - | sonde-bridge

input (one of them; standard input without either):
  --input FILE       a file, read from its start and followed as it grows, or a FIFO (Linux),
                     opened again for each new writer
  --udp PORT         one JSON object (or several lines) per datagram
  --udp-bind ADDR    the address the UDP port is bound to (127.0.0.1)
options:
  --serial ID        only this sonde's frames (otherwise the newest frame of any sonde)
  --qrg MHZ          item 7 for frames without freq or tx_frequency, e.g. --qrg 403.5
  --exit-on-eof      end with 0 at the end of the input (otherwise the last frame stays served
                     until the bridge is stopped)
  --verbose          every line read, accepted or skipped and why, on stderr
  --name NAME        bus name and interface (SondeMonitor.Document); path /NAME, dots as slashes
                     (Linux)
  --once-ready-print print "ready" on stdout when the name is owned
  --register         (Windows) write the ProgID SondeMonitor.Document under
                     HKLM\Software\Classes, as a decoder's installer does, and exit
  --help             this text

answers: 0 id, 1 lat, 2 lon, 3 alt, 4 heading + 180, 5 vel_h, 6 time "YYYY-MM-DD hh:mm:ss" UTC
(GPS time less 18 s), 7 frequency MHz "403.500", 8 pressure, 9 temp, 10 humidity,
11 subtype or type, 12 vel_v, 13 frame, 14 UTC milliseconds since 1970; EMPTY before the first
frame. Lines that are not a usable frame are skipped and counted; the counts are printed on
stderr at the end (and on SIGUSR1 on Linux).

exit codes: 0 after SIGTERM, SIGINT, Ctrl+C or --exit-on-eof; 1 when the name is already owned
(another decoder or bridge is running) or there is no session bus; 2 for options at fault,
an input file that cannot be opened or a UDP port that cannot be bound included.
)";

namespace {

bool ToNumber(const std::string& text, double& value) {
  const char* end = text.data() + text.size();
  auto [stop, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && stop == end && std::isfinite(value);
}

bool ToPort(const std::string& text, std::uint16_t& port) {
  const char* end = text.data() + text.size();
  unsigned value = 0;
  auto [stop, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || stop != end || value < 1 || value > 65535) return false;
  port = static_cast<std::uint16_t>(value);
  return true;
}

// Radiosondes send from about 400 MHz to 1.7 GHz; anything above 0 and up to 10 GHz is taken.
constexpr double kHighestQrgMhz = 10000;

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, Options& o, std::string& error) {
  bool bindGiven = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      o.help = true;
      return true;
    }
    if (arg == "--exit-on-eof") {
      o.exitOnEof = true;
    } else if (arg == "--verbose" || arg == "-v") {
      o.verbose = true;
    } else if (arg == "--once-ready-print") {
      o.printReady = true;
    } else if (arg == "--register") {
      o.registerProgId = true;
    } else if (arg == "--input" || arg == "--udp" || arg == "--udp-bind" || arg == "--serial" ||
               arg == "--qrg" || arg == "--name") {
      if (i + 1 >= args.size()) {
        error = arg + " needs a value";
        return false;
      }
      const std::string& value = args[++i];
      if (arg == "--input") {
        if (o.input != Options::Input::kStandardInput || value.empty()) {
          error = "--input needs a FILE and cannot go with --udp or a second --input";
          return false;
        }
        o.input = Options::Input::kFile;
        o.path = value;
      } else if (arg == "--udp") {
        if (o.input != Options::Input::kStandardInput || !ToPort(value, o.udpPort)) {
          error = "--udp needs a PORT from 1 to 65535 and cannot go with --input";
          return false;
        }
        o.input = Options::Input::kUdp;
      } else if (arg == "--udp-bind") {
        o.udpBind = value;
        bindGiven = true;
      } else if (arg == "--serial") {
        o.serial = value;
      } else if (arg == "--qrg") {
        double mhz = 0;
        if (!ToNumber(value, mhz) || mhz <= 0 || mhz > kHighestQrgMhz) {
          error = "--qrg needs a frequency in MHz, e.g. 403.5";
          return false;
        }
        o.qrgText = FrequencyText(mhz * 1000);
      } else {
        o.name = value;
      }
    } else {
      error = "unknown option " + arg;
      return false;
    }
  }
  if (bindGiven && o.input != Options::Input::kUdp) {
    error = "--udp-bind goes with --udp";
    return false;
  }
  if (o.exitOnEof && o.input == Options::Input::kUdp) {
    error = "--exit-on-eof has no meaning with --udp (datagrams have no end)";
    return false;
  }
  return true;
}

}  // namespace bridge
