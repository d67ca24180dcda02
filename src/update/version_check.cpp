#include "update/version_check.h"

#include "format/clock_text.h"

namespace nimbrix {

namespace {

constexpr const char* kAgent = "zt/kit 7.04";
constexpr const char* kNoCacheHeader = "pragma: no-cache";
constexpr const char* kServicePath = "/nimbrix/nimbrix_pool.php";
constexpr std::string_view kVersionKey = "versao=";
// Only the last four characters of the version text take part in the comparison.
constexpr std::string_view kOwnVersion =
    std::string_view(kVersionText).substr(std::string_view(kVersionText).size() - 4);

bool TravelsRaw(unsigned char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
  return std::string_view("-._~/:,@;").find(static_cast<char>(c)) != std::string_view::npos;
}

// Every value is encoded, so a callsign or server entry cannot add keys, cut the query short
// with "#", or put a blank or a line end into the request line.
std::string QueryValue(std::string_view value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(value.size());
  for (unsigned char c : value) {
    if (TravelsRaw(c)) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
  return out;
}

}  // namespace

UpdateService DefaultUpdateService() {
  return UpdateService{NIMBRIX_UPDATE_SCHEME, NIMBRIX_UPDATE_HOST, NIMBRIX_DOWNLOAD_PAGE};
}

std::string BuildVersionQuery(const LocalTime& now, const std::string& user,
                              const std::string& server) {
  // DateText is "mm-dd-yyyy"; the service wants day/month/year.
  const std::string date = DateText(now);
  const std::string day = date.substr(3, 2);
  const std::string month = date.substr(0, 2);
  const std::string year = date.substr(6, 4);
  std::string query = "?data=" + QueryValue(day + "/" + month + "/" + year);
  query += "&hora=" + QueryValue(ClockText(now));
  query += "&estacao=" + QueryValue(user);
  query += "&versao=" + QueryValue(kVersionText);
  query += "&servidor=" + QueryValue(server);
  query += "&";
  return query;
}

std::string BuildVersionUrl(const UpdateService& service, const std::string& query) {
  return service.scheme + "://" + service.host + kServicePath + query;
}

std::optional<std::string> OfferedVersion(std::string_view body) {
  const std::size_t key = body.find(kVersionKey);
  if (key == std::string_view::npos) return std::nullopt;
  std::string_view rest = body.substr(key + kVersionKey.size());
  rest = rest.substr(0, rest.find(kVersionKey));
  return std::string(rest.substr(0, 4));
}

int FetchUrl(HttpClient& http, const std::string& url, std::string& reply) {
  std::optional<std::string> body = http.Get(url, kAgent, kNoCacheHeader);
  if (!body) {
    reply.clear();
    return -1;
  }
  reply = std::move(*body);
  return 0;
}

VersionVerdict AskForNewVersion(HttpClient& http, const LocalTime& now, const StationConfig& config,
                                const ServerList& servers, const UpdateService& service) {
  const int slot = servers.nCURSERVER;
  const std::string server =
      slot >= 1 && slot <= ServerList::kMaxServers ? servers.sSERVER[slot] : std::string();
  const std::string url = BuildVersionUrl(service, BuildVersionQuery(now, config.sUSER, server));

  std::string reply;
  if (FetchUrl(http, url, reply) != 0) return {};
  const std::optional<std::string> offered = OfferedVersion(reply);
  // No offered version is no verdict: offering an empty version would send the user looking
  // for an update that may not exist.
  if (!offered) return {};
  if (*offered == kOwnVersion) return {VersionVerdict::Kind::kCurrent, {}};
  return {VersionVerdict::Kind::kNewer, *offered};
}

}  // namespace nimbrix
