#include "web/web_answers.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace nimbrix {
namespace {

std::string Header(const WebResponse& r, const std::string& name) {
  for (const auto& [n, v] : r.headers) {
    if (n == name) return v;
  }
  return "";
}

TEST(WebAnswersTest, ReadOnlyTwoPathsNothingElse) {
  const auto json = std::make_shared<const std::string>("{\"station\":{}}");
  const struct {
    const char* method;
    const char* path;
    int status;
    const char* type;
  } cases[] = {
      {"GET", "/", 200, "text/html; charset=utf-8"},
      {"HEAD", "/", 200, "text/html; charset=utf-8"},
      {"GET", "/api/status", 200, "application/json"},
      {"HEAD", "/api/status", 200, "application/json"},
      {"POST", "/api/status", 405, "text/plain; charset=utf-8"},
      {"PUT", "/", 405, "text/plain; charset=utf-8"},
      {"DELETE", "/api/status", 405, "text/plain; charset=utf-8"},
      {"OPTIONS", "/", 405, "text/plain; charset=utf-8"},
      {"get", "/", 405, "text/plain; charset=utf-8"},  // methods are case-sensitive
      {"GET", "/index.html", 404, "text/plain; charset=utf-8"},
      {"GET", "/api/status/", 404, "text/plain; charset=utf-8"},
      {"GET", "/../NIMBRIX.INI", 404, "text/plain; charset=utf-8"},
      {"GET", "/NIMBRIX.INI", 404, "text/plain; charset=utf-8"},
      {"GET", "/nimbrix.err", 404, "text/plain; charset=utf-8"},
      {"GET", "", 404, "text/plain; charset=utf-8"},
  };
  for (const auto& c : cases) {
    const WebResponse r = AnswerWebRequest({c.method, c.path}, json);
    const std::string what = std::string(c.method) + " " + c.path;
    EXPECT_EQ(r.status, c.status) << what;
    EXPECT_EQ(Header(r, "Content-Type"), c.type) << what;
    EXPECT_EQ(Header(r, "Cache-Control"), "no-store") << what;
    EXPECT_EQ(Header(r, "Allow"), c.status == 405 ? "GET, HEAD" : "") << what;
  }
}

TEST(WebAnswersTest, TheJsonAsPublishedAndThePageThatAsksForIt) {
  const auto json = std::make_shared<const std::string>("{\"a\":1}");
  EXPECT_EQ(AnswerWebRequest({"GET", "/api/status"}, json).body, "{\"a\":1}");
  EXPECT_EQ(AnswerWebRequest({"GET", "/api/status"}, nullptr).status, 503);
  const WebResponse page = AnswerWebRequest({"GET", "/"}, nullptr);
  EXPECT_NE(page.body.find("/api/status"), std::string::npos);
  // Self-contained: nothing is loaded from another site, and no text goes in as markup.
  for (const char* loads : {"src=", "href=", "<link", "@import", "url("}) {
    EXPECT_EQ(page.body.find(loads), std::string::npos) << loads;
  }
  EXPECT_EQ(page.body.find("innerHTML"), std::string::npos);
  EXPECT_NE(Header(page, "Content-Security-Policy").find("default-src 'none'"), std::string::npos);
}

}  // namespace
}  // namespace nimbrix
