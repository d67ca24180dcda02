#include "standin_args.h"

#include <cmath>
#include <cstdlib>

namespace standin {

const char kStandinUsage[] =
    "usage: rtl-tcp-standin [--port N] [--seed N] [--snr DB] [--ppm ERR]\n"
    "         [--cw MHZ]... [--fm-voice MHZ]... [--spur OFFSET_HZ]...\n"
    "         [--rs41 MHZ[:SERIAL]]... [--dfm MHZ[:SERIAL]]... [--dfm-inverted MHZ[:SERIAL]]...\n"
    "         [--close-after S] [--stall-after S] [--bad-greeting]\n"
    "An rtl_tcp server on 127.0.0.1 that synthesises the band a dongle would see where the\n"
    "client tunes it. --port 0 picks a free port; the port is printed as \"listening on PORT\".\n"
    "--snr is the sondes' level over the noise in 10 kHz; --ppm the simulated dongle's error.\n";

namespace {

bool Number(const std::string& text, double& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  out = std::strtod(text.c_str(), &end);
  return end && *end == '\0' && std::isfinite(out);
}

bool Megahertz(const std::string& text, double& hz) {
  double mhz;
  if (!Number(text, mhz) || mhz < 24 || mhz > 1766) return false;
  hz = mhz * 1e6;
  return true;
}

bool Sonde(const std::string& text, SondeArg& out) {
  const auto colon = text.find(':');
  if (!Megahertz(text.substr(0, colon), out.frequency_hz)) return false;
  if (colon != std::string::npos) {
    out.serial = text.substr(colon + 1);
    if (out.serial.empty() || out.serial.size() > 16) return false;
  }
  return true;
}

}  // namespace

std::optional<StandinArgs> ParseStandinArgs(const std::vector<std::string>& args,
                                            std::string* error) {
  StandinArgs out;
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return std::optional<StandinArgs>();
  };
  for (std::size_t k = 0; k < args.size(); ++k) {
    const std::string& name = args[k];
    if (name == "--help" || name == "-h") {
      out.help = true;
      continue;
    }
    if (name == "--bad-greeting") {
      out.bad_greeting = true;
      continue;
    }
    if (k + 1 >= args.size()) return fail(name + ": needs a value");
    const std::string& value = args[++k];
    double number = 0;
    bool ok = true;
    if (name == "--port") {
      ok = Number(value, number) && number >= 0 && number <= 65535 && number == std::floor(number);
      out.port = static_cast<int>(number);
    } else if (name == "--seed") {
      ok = Number(value, number) && number >= 0 && number <= 4294967295.0;
      out.seed = static_cast<std::uint32_t>(number);
    } else if (name == "--snr") {
      ok = Number(value, out.snr_db) && out.snr_db >= -30 && out.snr_db <= 80;
    } else if (name == "--ppm") {
      ok = Number(value, out.ppm) && std::abs(out.ppm) <= 500;
    } else if (name == "--close-after") {
      ok = Number(value, out.close_after_s) && out.close_after_s >= 0;
    } else if (name == "--stall-after") {
      ok = Number(value, out.stall_after_s) && out.stall_after_s >= 0;
    } else if (name == "--cw" || name == "--fm-voice") {
      ok = Megahertz(value, number);
      (name == "--cw" ? out.cw_hz : out.fm_voice_hz).push_back(number);
    } else if (name == "--spur") {
      ok = Number(value, number) && std::abs(number) < 1.6e6;
      out.spur_offset_hz.push_back(number);
    } else if (name == "--rs41" || name == "--dfm" || name == "--dfm-inverted") {
      SondeArg sonde;
      ok = Sonde(value, sonde);
      (name == "--rs41" ? out.rs41 : name == "--dfm" ? out.dfm : out.dfm_inverted).push_back(sonde);
    } else {
      return fail("unknown option " + name);
    }
    if (!ok) return fail(name + ": bad value \"" + value + "\"");
  }
  return out;
}

}  // namespace standin
