#include "config/config_reader.h"

#include <utility>

#include "config/config_stream.h"
#include "config/config_text.h"
#include "config/output_keys.h"
#include "format/exact_texts.h"
#include "format/text_to_number.h"
#include "format/whole_number.h"

namespace nimbrix {

namespace {

using Kind = ConfigAction::Kind;

void WriteLine(ConfigResult& result, std::string text) {
  result.actions.push_back({Kind::kWriteLine, std::move(text), 0});
}
void WaitKey(ConfigResult& result) {
  result.actions.push_back({Kind::kWaitKey, {}, 0});
}
void Pause(ConfigResult& result, int ms) {
  result.actions.push_back({Kind::kPause, {}, ms});
}
void Exit(ConfigResult& result, int code) {
  result.actions.push_back({Kind::kExit, {}, code});
}

bool IsYes(std::string_view value) {
  return UpperCaseCp437(value) == "YES";
}

// Key: before the first "=" (the whole line without one). Value: from there to the second
// "=" or the line's end; empty without "=". Blanks on either side belong to both.
std::pair<std::string_view, std::string_view> SplitKeyLine(std::string_view line) {
  const std::size_t first = line.find('=');
  if (first == std::string_view::npos) return {line, {}};
  const std::size_t second = line.find('=', first + 1);
  const std::size_t valueLength =
      second == std::string_view::npos ? std::string_view::npos : second - first - 1;
  return {line.substr(0, first), line.substr(first + 1, valueLength)};
}

// Applies one key line; false when the program is to end.
bool ApplySetting(ConfigResult& result, int position, std::string_view value) {
  StationConfig& config = result.config;
  ServerList& servers = result.servers;
  switch (position) {
    case kKeyUser:
      config.sUSER = UpperCaseCp437(value);
      if (!CallsignIsValid(config.sUSER)) {
        WriteLine(result, std::string(exact::kCheckCallsign) + " =" + config.sUSER);
        WaitKey(result);
        Exit(result, 0);
        return false;
      }
      break;
    case kKeyPass:
      config.sPASS = UpperCaseCp437(value);
      if (PasscodeNeedsConversion(config.sPASS)) config.sPASS = ConvertPasscode(config.sPASS);
      break;
    case kKeyStatus:
      config.sSTATUS = std::string(value);
      break;
    case kKeyServer:
      if (servers.nSERVERS >= ServerList::kMaxServers) {
        WriteLine(result, "Maximum Servers=10. Press any key to continue...");
        WaitKey(result);
      } else {
        ++servers.nSERVERS;
        servers.sSERVER[servers.nSERVERS] = std::string(value);
      }
      break;
    case kKeyQrg:
      if (IsYes(value)) config.nQRG = 1;
      break;
    case kKeyPressure0:
      config.nP0 = IsYes(value) ? 1 : 0;
      break;
    case kKeyId:
      if (IsYes(value)) config.nID = 1;
      break;
    case kKeySymbol:
      config.sSYMBOL = std::string(value);
      if (config.sSYMBOL.size() != 2 || (config.sSYMBOL[0] != '/' && config.sSYMBOL[0] != '\\')) {
        config.sSYMBOL = "/O";
      }
      break;
    case kKeyAltitude:
      if (UpperCaseCp437(value) == "NO") config.nALTITUDE = 0;
      break;
    case kKeyFrame:
      if (IsYes(value)) config.nFRAME = 1;
      break;
    default:  // not a key, or only a part of one found inside another word
      break;
  }
  return true;
}

// A file written by a Linux editor is one long line to the readers (they split at CR), so
// its first key swallows the rest and is refused: say why, after the refusal.
bool HasLineFeedsAlone(std::string_view bytes) {
  if (bytes.find('\r') != std::string_view::npos) return false;
  return bytes.find('\n') != std::string_view::npos;
}

void AddLineEndHint(ConfigResult& result, std::string_view bytes) {
  if (!HasLineFeedsAlone(bytes)) return;
  for (auto it = result.actions.begin(); it != result.actions.end(); ++it) {
    if (it->kind == Kind::kWriteLine &&
        (it->text.rfind(exact::kCheckCallsign, 0) == 0 || it->text == exact::kCheckServerCount)) {
      result.actions.insert(std::next(it), {Kind::kWriteLine, std::string(kLineEndHint), 0});
      return;
    }
  }
}

// The station's ports are 16-bit whole numbers: one above 32767 can never be connected to, and
// the entry would only ever write OPEN Error records. Said once at start; the entry stays.
void WarnUnreachablePorts(ConfigResult& result) {
  const ServerList& servers = result.servers;
  for (int i = 1; i <= servers.nSERVERS && i <= ServerList::kMaxServers; ++i) {
    const std::string& entry = servers.sSERVER.at(static_cast<std::size_t>(i));
    const std::size_t comma = entry.find(',');
    if (comma == std::string::npos) continue;
    std::string_view port = std::string_view(entry).substr(comma + 1);
    port = port.substr(0, port.find(','));
    if (TextToNumber(port) > 32767) {
      WriteLine(result, "SERVER=" + entry + ": ports above 32767 cannot be used, entry " +
                            std::to_string(i) + " will not connect");
    }
  }
}

}  // namespace

ConfigResult ReadConfiguration(const ConfigBytes& file) {
  StationConfig config;
  config.nALTITUDE = 1;
  config.sSYMBOL = "/O";
  ServerList servers;
  servers.nCURSERVER = 1;

  const std::string first = FirstLine(BytesOf(file));
  const bool keywordFormat = first.find_first_of("=#") != std::string::npos;
  ConfigResult result = keywordFormat
                            ? ReadConfigFormat2(file, std::move(config), std::move(servers))
                            : ReadConfigFormat1(file, std::move(config), std::move(servers));
  if (!result.exits()) {
    WarnUnreachablePorts(result);
    WriteLine(result, "");
  }
  AddLineEndHint(result, BytesOf(file));
  return result;
}

ConfigResult ReadConfigFormat2(const ConfigBytes& file, StationConfig config, ServerList servers) {
  ConfigResult result{std::move(config), std::move(servers), {}};
  WriteLine(result, exact::kConfigVersion2);
  ConfigStream in(BytesOf(file));
  while (!in.AtEnd()) {
    const std::string_view line = in.ReadLine();
    if (line.empty() || line.front() == '#') continue;
    const auto [key, value] = SplitKeyLine(line);
    if (IsObjectKey(key)) {
      result.config.nOBJECT = IsYes(value) ? 1 : 0;  // the later line decides, as for PRESSURE0
      continue;
    }
    if (const OutputKeyResult output = ApplyOutputKey(result.config, key, value); output.matched) {
      if (!output.warning.empty()) WriteLine(result, output.warning);
      continue;
    }
    if (!ApplySetting(result, KeywordPosition(key), value)) return result;
  }
  // Either key may come first: only the whole file tells whether the beacon has a place.
  if (result.config.nBEACON == 1 && !result.config.position) {
    WriteLine(result, "BEACON=YES without POSITION=: no station beacon is sent");
  }
  result.config.LoginLine = BuildLoginLine(result.config.sUSER, result.config.sPASS);
  return result;
}

ConfigResult ReadConfigFormat1(const ConfigBytes& file, StationConfig config, ServerList servers) {
  ConfigResult result{std::move(config), std::move(servers), {}};
  StationConfig& cfg = result.config;
  ServerList& list = result.servers;
  WriteLine(result, exact::kConfigVersion1);
  ConfigStream in(BytesOf(file));

  cfg.sUSER = in.ReadField();
  if (!CallsignIsValid(cfg.sUSER)) {
    WriteLine(result, exact::kCheckCallsign);
    WaitKey(result);
    Exit(result, 0);
    return result;
  }
  cfg.sPASS = ConvertPasscode(in.ReadField());

  // A lone digit 1 to 9 is the server count; anything else is the status text, and the
  // count follows as a number of its own.
  const std::string third = in.ReadField();
  const double thirdNumber = TextToNumber(third);
  if (third.size() == 1 && thirdNumber > 0 && thirdNumber < 10) {
    list.nSERVERS = static_cast<std::int16_t>(thirdNumber);
    cfg.sSTATUS.clear();
  } else {
    cfg.sSTATUS = third;
    list.nSERVERS = ClampedWord(TextToNumber(in.ReadNumberField()));
  }

  if (list.nSERVERS < 1 || list.nSERVERS > ServerList::kMaxServers) {
    WriteLine(result, exact::kCheckServerCount);
    WriteLine(result, exact::kExiting);
    Pause(result, 5000);
    Exit(result, 0);
    return result;
  }
  // The count was checked above, so no range test is needed after each line.
  for (int slot = 1; slot <= list.nSERVERS; ++slot) list.sSERVER[slot] = std::string(in.ReadLine());

  cfg.LoginLine = BuildLoginLine(cfg.sUSER, cfg.sPASS);
  return result;
}

}  // namespace nimbrix
