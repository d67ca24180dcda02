#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "config/station_config.h"
#include "format/local_time.h"
#include "platform/http_client.h"

namespace nimbrix {

// Where the update service lives; set at build time (CMake cache), replaceable in tests.
struct UpdateService {
  std::string scheme;        // "https"
  std::string host;          // the service's host (and port, if any)
  std::string downloadPage;  // shown when a newer version is offered
};
UpdateService DefaultUpdateService();

// "?data=DD/MM/YYYY&hora=HH:MM:SS&estacao=...&versao=NIMBRIX%20<version>&servidor=...&"
std::string BuildVersionQuery(const LocalTime& now, const std::string& user,
                              const std::string& server);
// scheme://host/nimbrix/nimbrix_pool.php + query
std::string BuildVersionUrl(const UpdateService& service, const std::string& query);
// The four characters after the first "versao=" (fewer at the end); nullopt without "versao=".
std::optional<std::string> OfferedVersion(std::string_view body);

// GET url; 0 and the whole body, or -1 and an empty reply.
int FetchUrl(HttpClient& http, const std::string& url, std::string& reply);

// What the update service says of this version.
struct VersionVerdict {
  enum class Kind {
    kCurrent,  // this is the most recent version
    kNewer,    // `offered` is available at the download page
    kUnknown,  // no answer, or one without an offered version
  };
  Kind kind = Kind::kUnknown;
  std::string offered;  // as the service wrote it (kNewer only)
};

// Asks the update service at `now`, telling it the callsign and the entry in use.
VersionVerdict AskForNewVersion(HttpClient& http, const LocalTime& now, const StationConfig& config,
                                const ServerList& servers, const UpdateService& service);

}  // namespace nimbrix
