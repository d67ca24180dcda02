#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "config/station_config.h"
#include "format/local_time.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/http_client.h"

namespace nimbrix {

// Where the update service lives; set at build time (CMake cache), replaceable in tests.
struct UpdateService {
  std::string scheme;        // "https"
  std::string host;          // the service's host (and port, if any)
  std::string downloadPage;  // shown when a newer version is offered
};
UpdateService DefaultUpdateService();

// "?data=DD/MM/YYYY&hora=HH:MM:SS&estacao=...&versao=NIMBRIX%200.22&servidor=...&"
std::string BuildVersionQuery(const LocalTime& now, const std::string& user,
                              const std::string& server);
// scheme://host/nimbrix/nimbrix_pool.php + query
std::string BuildVersionUrl(const UpdateService& service, const std::string& query);
// The four characters after the first "versao=" (fewer at the end); nullopt without "versao=".
std::optional<std::string> OfferedVersion(std::string_view body);

// GET url; 0 and the whole body, or -1 and an empty reply.
int FetchUrl(HttpClient& http, const std::string& url, std::string& reply);

// The start-up step: "Cheking for a new version...", the query, the verdict and its pause.
void CheckForNewVersion(Console& console, Clock& clock, HttpClient& http,
                        const StationConfig& config, const ServerList& servers,
                        const UpdateService& service);

}  // namespace nimbrix
