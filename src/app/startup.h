#pragma once

#include "config/config_reader.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/http_client.h"
#include "update/version_check.h"

namespace nimbrix {

// The start-up steps that write line by line, before the screen is cleared for the dashboard.

// Carries out what the configuration reader asked for, in order; throws ProgramEnd where it
// ends the program.
void PerformConfigActions(const ConfigResult& result, Console& console, Clock& clock);

// "Cheking for a new version...", the question to the update service, its verdict and pause.
void CheckForNewVersion(Console& console, Clock& clock, HttpClient& http,
                        const StationConfig& config, const ServerList& servers,
                        const UpdateService& service);

}  // namespace nimbrix
