#pragma once

#include "app/station_outputs.h"
#include "app/station_platform.h"
#include "platform/web_server.h"
#include "update/version_check.h"

namespace nimbrix {

inline constexpr const char* kConfigFileName = "NIMBRIX.INI";
inline constexpr const char* kRegisterOleCommand = "regsvr32 c:\\windows\\system32\\ole32.dll /s";

// The whole run: start-up, then the main cycle until ESC. Returns the exit code
// (0 on every ordinary way out).
// `makeOutputs` makes the outputs beside the primary link that the configuration asks for;
// `webServers` serves the status page when WEB= asks for one (none: the page is not available).
int RunStation(Platform& platform, const UpdateService& updateService,
               const OutputMaker& makeOutputs = {}, WebServerStarter* webServers = nullptr);

}  // namespace nimbrix
