#include "app/options.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace receiver {

namespace {

std::optional<double> Number(const std::string& text) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<int> Integer(const std::string& text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// Radiosondes are in the UHF meteorological band; the dongle tunes 24-1766 MHz.
bool Tunable(double mhz) {
  return mhz >= 24 && mhz <= 1766;
}

}  // namespace

ParsedOptions ParseOptions(const std::vector<std::string>& args) {
  Options options;
  int sources = 0;
  bool rate_given = false;
  bool center_given = false;
  auto fail = [](const std::string& text) { return ParsedOptions{std::nullopt, text}; };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& name = args[i];
    auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= args.size()) return std::nullopt;
      return args[++i];
    };
    if (name == "--help" || name == "-h") {
      options.help = true;
    } else if (name == "--version") {
      options.version = true;
    } else if (name == "--bias-tee") {
      options.bias_tee = true;
    } else if (name == "--device") {
      const auto text = value();
      if (!text || text->empty()) return fail("--device needs a dongle's index or serial");
      options.source = SourceKind::kDevice;
      options.device = *text;
      ++sources;
    } else if (name == "--rtl-tcp") {
      const auto text = value();
      const std::size_t colon = text ? text->rfind(':') : std::string::npos;
      if (colon == std::string::npos || colon == 0) return fail("--rtl-tcp needs HOST:PORT");
      const auto port = Integer(text->substr(colon + 1));
      if (!port || *port < 1 || *port > 65535) return fail("--rtl-tcp: bad port in " + *text);
      options.source = SourceKind::kRtlTcp;
      options.host = text->substr(0, colon);
      options.port = *port;
      ++sources;
    } else if (name == "--iq") {
      const auto text = value();
      if (!text || text->empty()) return fail("--iq needs a capture file");
      options.source = SourceKind::kCapture;
      options.capture_path = *text;
      ++sources;
    } else if (name == "--rate") {
      const auto text = value();
      const auto rate = text ? Number(*text) : std::nullopt;
      if (!rate || *rate < 1000 || *rate > 10e6)
        return fail("--rate needs the capture's rate in Hz");
      options.capture_rate = *rate;
      rate_given = true;
    } else if (name == "--center") {
      const auto text = value();
      const auto center = text ? Number(*text) : std::nullopt;
      if (!center || !Tunable(*center / 1e6))
        return fail("--center needs the capture's centre in Hz");
      options.capture_center_hz = *center;
      center_given = true;
    } else if (name == "--band") {
      const auto text = value();
      const std::size_t dash = text ? text->find('-', 1) : std::string::npos;
      const auto low = dash != std::string::npos ? Number(text->substr(0, dash)) : std::nullopt;
      const auto high = dash != std::string::npos ? Number(text->substr(dash + 1)) : std::nullopt;
      if (!low || !high || *low >= *high || !Tunable(*low) || !Tunable(*high)) {
        return fail("--band needs LOW-HIGH in MHz, e.g. 400-406");
      }
      options.band_given = true;
      options.band_low_hz = *low * 1e6;
      options.band_high_hz = *high * 1e6;
    } else if (name == "--sample-rate") {
      const auto text = value();
      const auto rate = text ? Number(*text) : std::nullopt;
      // What the RTL2832U delivers without losing samples.
      if (!rate || *rate < 900001 || *rate > 3200000) {
        return fail("--sample-rate needs a rate in Hz between 900001 and 3200000");
      }
      options.sample_rate = *rate;
    } else if (name == "--gain") {
      const auto text = value();
      const auto gain = text ? Number(*text) : std::nullopt;
      if (!gain || *gain < 0 || *gain > 60) return fail("--gain needs a gain in dB (0-60)");
      options.gain_db = *gain;
    } else if (name == "--ppm") {
      const auto text = value();
      const auto ppm = text ? Number(*text) : std::nullopt;
      if (!ppm || std::abs(*ppm) > 200) return fail("--ppm needs the dongle's error in ppm");
      options.ppm = *ppm;
    } else if (name == "--ignore") {
      const auto text = value();
      const auto mhz = text ? Number(*text) : std::nullopt;
      if (!mhz || !Tunable(*mhz)) return fail("--ignore needs a frequency in MHz");
      options.ignored_hz.push_back(*mhz * 1e6);
    } else if (name == "--decoders") {
      const auto text = value();
      if (!text || text->empty()) return fail("--decoders needs a folder");
      options.decoders_dir = *text;
    } else {
      return fail("unknown option " + name + " (see --help)");
    }
  }
  if (options.help || options.version) return {options, ""};
  if (sources > 1) return fail("--device, --rtl-tcp and --iq: only one source");
  if (options.source == SourceKind::kCapture && (!rate_given || !center_given)) {
    return fail("--iq needs --rate and --center");
  }
  if (options.source != SourceKind::kCapture && (rate_given || center_given)) {
    return fail(std::string(rate_given ? "--rate" : "--center") + " is only for --iq");
  }
  return {options, ""};
}

std::string UsageText() {
  return "usage: sonde-receiver [SOURCE] [OPTIONS]\n"
         "Finds radiosondes in the band, tells their kind and decodes them: one JSON line per\n"
         "frame on standard output, one line per event on standard error.\n"
         "\n"
         "SOURCE (one; none: the first local dongle)\n"
         "  --device INDEX|SERIAL     a local RTL-SDR dongle\n"
         "  --rtl-tcp HOST:PORT       an rtl_tcp server\n"
         "  --iq FILE --rate HZ --center HZ\n"
         "                            a recorded capture of the dongle's u8 I/Q\n"
         "OPTIONS\n"
         "  --band LOW-HIGH           the band to scan, MHz (400-406)\n"
         "  --sample-rate HZ          the dongle's rate (2048000)\n"
         "  --gain DB                 tuner gain (automatic)\n"
         "  --ppm N                   the dongle's error until RS41 frames tell it\n"
         "  --bias-tee                power an antenna amplifier\n"
         "  --ignore MHZ              never try this frequency (repeatable)\n"
         "  --decoders DIR            where rs92mod, m10mod... are (else PATH)\n"
         "  --help, --version\n"
         "SIGUSR1 prints the counts; SIGTERM or SIGINT end it.\n";
}

}  // namespace receiver
