#pragma once

#include <string_view>

namespace nimbrix {

// The status page: one self-contained HTML document (style and script inline, nothing loaded
// from elsewhere, so it works on a station without internet) that polls /api/status.
extern const std::string_view kStatusPage;

}  // namespace nimbrix
