#pragma once

#include "app/station_view.h"
#include "config/config_reader.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/http_client.h"
#include "update/version_check.h"

namespace nimbrix {

// The start-up steps that come before the dashboard.

// Carries out what the configuration reader asked for, in order; throws ProgramEnd where it
// ends the program.
void PerformConfigActions(const ConfigResult& result, StationView& view, Console& console,
                          Clock& clock);

// "Cheking for a new version...", the question to the update service, its verdict and pause.
void CheckForNewVersion(StationView& view, Clock& clock, HttpClient& http,
                        const StationConfig& config, const ServerList& servers,
                        const UpdateService& service);

}  // namespace nimbrix
