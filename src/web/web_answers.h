#pragma once

#include <memory>
#include <string>

#include "platform/web_server.h"

namespace nimbrix {

// The status page's answers: GET and HEAD of "/" (the page) and "/api/status" (the JSON); any
// other method 405, any other path 404. Nothing comes from the disk and nothing is cached.
// `statusJson` is null before the cycle first published: the JSON is then 503.
WebResponse AnswerWebRequest(const WebRequest& request,
                             const std::shared_ptr<const std::string>& statusJson);

}  // namespace nimbrix
