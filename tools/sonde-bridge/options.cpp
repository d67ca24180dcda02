#include "options.h"

#include <charconv>
#include <cmath>
#include <system_error>

#include "frame_answers.h"

namespace bridge {

// Item 3: PROJ's EGM96 geoid on Linux; the Windows build has no geoid model.
#ifdef _WIN32
#define NIMBRIX_ITEM_3                                                                          \
  "  3 alt above sea level where the frame has diff_GPS_MSL (alt - diff_GPS_MSL); otherwise\n"  \
  "    alt as the decoder gives it: this build has no geoid model, so with \"ref_position\":\n" \
  "    \"GPS\" that is the height above the WGS84 ellipsoid (in much of Europe 40 to 50 m\n"    \
  "    above the height above sea level)\n"
#else
#define NIMBRIX_ITEM_3                                                                       \
  "  3 alt above sea level: alt - diff_GPS_MSL where the frame has it; alt less the EGM96\n" \
  "    geoid height (PROJ, egm96_15.gtx of proj-data) with \"ref_position\": \"GPS\"; else alt\n"
#endif

const char kHelpText[] =
    R"(usage: sonde-bridge [--input FILE | --udp PORT [--udp-bind ADDR]] [options]

Plays the radiosonde decoder for NIMBRIX with the frames of the open decoders of the RS project
(rs41mod, rs92mod, dfm09mod, m10mod, ... run with --json): reads one JSON object per line and
answers GETSONDEDATA(item) from the newest accepted frame of the sonde it follows. On Linux it
owns SondeMonitor.Document on the D-Bus session bus; on Windows it registers the running
Automation object of that ProgID.

The decoders read audio as WAV on standard input when they are given no file name:
  rtl_fm -p 0 -M fm -F9 -s 48k -f 403.5M | sox -t raw -r 48k -e s -b 16 -c 1 - -r 48k -t wav - \
    | rs41mod --ptu --json | sonde-bridge
or raw IQ samples after a lone "-" with their sample rate and bits per sample (IQ only):
  rtl_fm -M raw -s 48k -f 403.5M | rs41mod --ptu --json --IQ 0.0 --lpIQ - 48000 16 | sonde-bridge
A lone "-" without them ends the decoder at once, and it prints nothing.
  -i, --invert      (decoder) for receivers whose FM inverts the signal: without it such audio
                    decodes to nothing (rs41mod and dfm09mod also find it out with --auto)
  --jsn_cfq HZ      (decoder) the receive frequency in Hz, e.g. 403500000: every frame then
                    carries "freq" (item 7); with --IQ the decoder adds the channel's offset
One decoder per family:
  RS41      rs41mod --ptu --json
  RS92      rs92mod --ptu --json -e EPHEMERIS (RINEX; or -a ALMANAC): no frame without one
  DFM       dfm09mod --ptu --json (add -i for a DFM-06, or --auto)
  M10, M20  m10mod --ptu --json (M10); mXXmod --json (M20)

input (one of them; standard input without either):
  --input FILE       a file, read from its start and followed as it grows, or a FIFO (Linux),
                     opened again for each new writer
  --udp PORT         one JSON object (or several lines) per datagram
  --udp-bind ADDR    the address the UDP port is bound to (127.0.0.1)
options:
  --serial ID        only this sonde's frames
  --switch-after S   follow another sonde once the one followed has sent nothing accepted for
                     S seconds (30); without --serial the first sonde accepted is followed
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

answers (items):
  0 id   1 lat   2 lon
)" NIMBRIX_ITEM_3 R"(  4 heading + 180   5 vel_h
  6 time "YYYY-MM-DD hh:mm:ss" in UTC (GPS time less the leap seconds of its date)
  7 frequency in MHz, "403.500"   8 pressure   9 temp   10 humidity
  11 aprsid (M10/M20), else subtype or type   12 vel_v   13 frame
  14 UTC milliseconds since 1970
EMPTY before the first frame. Lines that are not a usable frame are skipped and counted, ids
with a placeholder ("DFM-xxxxxxxx") and other sondes' frames too. On stderr, without
--verbose: the sonde followed and every move to another, a notice when lines come for 30 s
without a frame accepted, the counts at the end of the input (and on SIGUSR1 on Linux).

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

bool ToWhole(const std::string& text, unsigned& value) {
  const char* end = text.data() + text.size();
  auto [stop, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && stop == end && !text.empty();
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

// From a second (two decoders' frames a second apart never alternate) to a day.
constexpr unsigned kLongestSwitchAfterSeconds = 86400;

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, Options& o, std::string& error) {
  bool bindGiven = false;
  bool switchGiven = false;
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
               arg == "--qrg" || arg == "--name" || arg == "--switch-after") {
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
        if (value.empty()) {
          error = "--serial needs a sonde's ID";
          return false;
        }
        o.serial = value;
      } else if (arg == "--switch-after") {
        unsigned seconds = 0;
        if (!ToWhole(value, seconds) || seconds < 1 || seconds > kLongestSwitchAfterSeconds) {
          error = "--switch-after needs whole SECONDS from 1 to 86400";
          return false;
        }
        o.switchAfterSeconds = static_cast<int>(seconds);
        switchGiven = true;
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
  if (switchGiven && !o.serial.empty()) {
    error = "--switch-after has no meaning with --serial (that sonde is followed for good)";
    return false;
  }
  if (o.exitOnEof && o.input == Options::Input::kUdp) {
    error = "--exit-on-eof has no meaning with --udp (datagrams have no end)";
    return false;
  }
  return true;
}

}  // namespace bridge
