// The Windows build has no status page: Debian has no mingw-w64 build of libmicrohttpd.

#include "platform/system.h"
#include "platform/web_server.h"

namespace nimbrix {

namespace {

class NoWebServer : public WebServerStarter {
 public:
  WebServerStart Start(const std::string&, int, WebHandler) override {
    return {nullptr, "the Windows build has no status page"};
  }
};

}  // namespace

std::unique_ptr<WebServerStarter> MakeSystemWebServerStarter() {
  return std::make_unique<NoWebServer>();
}

}  // namespace nimbrix
