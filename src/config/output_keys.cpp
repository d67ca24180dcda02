#include "config/output_keys.h"

#include <charconv>
#include <cmath>
#include <vector>

#include "config/config_text.h"

namespace nimbrix {

namespace {

bool IsYes(std::string_view value) {
  return UpperCaseCp437(value) == "YES";
}

std::vector<std::string_view> SplitAtCommas(std::string_view text) {
  std::vector<std::string_view> parts;
  for (;;) {
    const std::size_t comma = text.find(',');
    parts.push_back(text.substr(0, comma));
    if (comma == std::string_view::npos) return parts;
    text.remove_prefix(comma + 1);
  }
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// A whole decimal number, blanks around it allowed; nothing for anything else.
std::optional<double> Decimal(std::string_view text) {
  text = Trimmed(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
      !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

bool HasControlBytes(std::string_view text) {
  for (unsigned char c : text) {
    if (c < 32 || c == 127) return true;
  }
  return false;
}

std::string Quoted(std::string_view key, std::string_view value) {
  return std::string(key) + "=" + std::string(value);
}

OutputKeyResult Warn(std::string text) {
  return {true, std::move(text)};
}

OutputKeyResult ApplyAlso(StationConfig& config, std::string_view value) {
  const std::string shown = Quoted("ALSO", value);
  if (config.extras.size() >= kMaxExtraServers) {
    return Warn("Maximum ALSO=9: " + shown + " is left out");
  }
  const std::vector<std::string_view> parts = SplitAtCommas(value);
  if ((parts.size() != 2 && parts.size() != 4) ||
      !ParseHostAndPort(value.substr(0, parts[0].size() + 1 + parts[1].size()))) {
    return Warn(shown + " is not host,port or host,port,CALL,PASS: left out");
  }
  ExtraServer extra;
  extra.entry = std::string(parts[0]) + "," + std::string(parts[1]);
  if (parts.size() == 4) {
    extra.call = UpperCaseCp437(Trimmed(parts[2]));
    extra.pass = UpperCaseCp437(Trimmed(parts[3]));
    if (!CallsignIsValid(extra.call) || HasControlBytes(extra.call) ||
        extra.call.find(' ') != std::string::npos) {
      return Warn(shown + ": the callsign is not valid: left out");
    }
    if (PasscodeNeedsConversion(extra.pass)) extra.pass = ConvertPasscode(extra.pass);
  }
  config.extras.push_back(std::move(extra));
  return {true, {}};
}

OutputKeyResult ApplyEndpoint(std::string& field, std::string_view key, std::string_view value) {
  if (!ParseHostAndPort(value)) {
    field.clear();
    return Warn(Quoted(key, value) + " is not host,port: left out");
  }
  field = std::string(Trimmed(value));
  return {true, {}};
}

}  // namespace

std::optional<StationPosition> ParseStationPosition(std::string_view text) {
  const std::vector<std::string_view> parts = SplitAtCommas(text);
  if (parts.size() != 2 && parts.size() != 3) return std::nullopt;
  const std::optional<double> lat = Decimal(parts[0]);
  const std::optional<double> lon = Decimal(parts[1]);
  const std::optional<double> alt = parts.size() == 3 ? Decimal(parts[2]) : 0.0;
  if (!lat || !lon || !alt) return std::nullopt;
  if (std::fabs(*lat) > 90 || std::fabs(*lon) > 180 || *alt < -500 || *alt > 10000) {
    return std::nullopt;
  }
  return StationPosition{*lat, *lon, *alt};
}

std::optional<HostAndPort> ParseHostAndPort(std::string_view text) {
  const std::vector<std::string_view> parts = SplitAtCommas(text);
  if (parts.size() != 2) return std::nullopt;
  const std::string_view host = Trimmed(parts[0]);
  const std::string_view portText = Trimmed(parts[1]);
  if (host.empty() || HasControlBytes(host) || host.find(' ') != std::string_view::npos) {
    return std::nullopt;
  }
  int port = 0;
  const auto [end, error] =
      std::from_chars(portText.data(), portText.data() + portText.size(), port);
  if (portText.empty() || error != std::errc() || end != portText.data() + portText.size() ||
      port < 1 || port > 65535) {
    return std::nullopt;
  }
  return HostAndPort{std::string(host), port};
}

OutputKeyResult ApplyOutputKey(StationConfig& config, std::string_view key,
                               std::string_view value) {
  const std::string name = UpperCaseCp437(key);
  if (name == "SONDEHUB") {
    config.nSONDEHUB = IsYes(value) ? 1 : 0;  // the later line decides
  } else if (name == "SONDEHUB_DEV") {
    config.nSONDEHUB_DEV = IsYes(value) ? 1 : 0;
  } else if (name == "SONDEHUB_URL") {
    const std::string_view url = Trimmed(value);
    const std::string lower = UpperCaseCp437(url);
    if ((lower.rfind("HTTP://", 0) != 0 && lower.rfind("HTTPS://", 0) != 0) ||
        HasControlBytes(url) || url.find(' ') != std::string_view::npos) {
      return Warn(Quoted(key, value) +
                  " is not an http:// or https:// address: " + config.sSONDEHUB_URL + " is used");
    }
    config.sSONDEHUB_URL = std::string(url);
    while (config.sSONDEHUB_URL.size() > 8 && config.sSONDEHUB_URL.back() == '/') {
      config.sSONDEHUB_URL.pop_back();
    }
  } else if (name == "POSITION") {
    config.position = ParseStationPosition(value);
    if (!config.position) return Warn(Quoted(key, value) + " is not lat,lon,alt: left out");
  } else if (name == "ANTENNA") {
    config.sANTENNA = std::string(value);
  } else if (name == "RADIO") {
    config.sRADIO = std::string(value);
  } else if (name == "ALSO") {
    return ApplyAlso(config, value);
  } else if (name == "UDP") {
    return ApplyEndpoint(config.sUDP, key, value);
  } else if (name == "BEACON") {
    config.nBEACON = IsYes(value) ? 1 : 0;
  } else if (name == "WEB") {
    return ApplyEndpoint(config.sWEB, key, value);
  } else if (name == "FLIGHTLOG") {
    const std::string_view folder = Trimmed(value);
    if (folder.empty() || HasControlBytes(folder)) {
      config.sFLIGHTLOG.clear();
      return Warn(Quoted(key, value) + " is not a folder: left out");
    }
    config.sFLIGHTLOG = std::string(folder);
  } else {
    return {};
  }
  return {true, {}};
}

}  // namespace nimbrix
