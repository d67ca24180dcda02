#include "web/web_answers.h"

#include "web/status_page.h"

namespace nimbrix {

namespace {

// The page runs its own inline script and style and asks only its own server; nothing else is
// loaded, and no other site may frame it.
constexpr const char* kPagePolicy =
    "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
    "connect-src 'self'; img-src data:; base-uri 'none'; form-action 'none'; "
    "frame-ancestors 'none'";

WebResponse Answer(int status, const char* type, std::string body) {
  WebResponse r;
  r.status = status;
  r.headers = {{"Content-Type", type},
               {"Cache-Control", "no-store"},
               {"X-Content-Type-Options", "nosniff"},
               {"Referrer-Policy", "no-referrer"}};
  r.body = std::move(body);
  return r;
}

WebResponse Plain(int status, const char* text) {
  return Answer(status, "text/plain; charset=utf-8", text);
}

}  // namespace

WebResponse AnswerWebRequest(const WebRequest& request,
                             const std::shared_ptr<const std::string>& statusJson) {
  if (request.method != "GET" && request.method != "HEAD") {
    WebResponse r = Plain(405, "Method not allowed: this page is read-only\n");
    r.headers.emplace_back("Allow", "GET, HEAD");
    return r;
  }
  if (request.path == "/") {
    WebResponse r = Answer(200, "text/html; charset=utf-8", std::string(kStatusPage));
    r.headers.emplace_back("Content-Security-Policy", kPagePolicy);
    return r;
  }
  if (request.path == "/api/status") {
    if (!statusJson) return Plain(503, "The station is starting\n");
    return Answer(200, "application/json", *statusJson);
  }
  return Plain(404, "Not found\n");
}

}  // namespace nimbrix
