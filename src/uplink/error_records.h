#pragma once

#include <string>
#include <string_view>

#include "format/local_time.h"

namespace nimbrix {

// The error log: one record appended per failure, each a line of its own.
inline constexpr const char* kErrorLogPath = "nimbrix.err";

// "OPEN Error @mm-dd-yyyy - hh:mm:ss -> host" CR LF
std::string OpenErrorRecord(const LocalTime& now, std::string_view host);
// "SEND Error 57 mm-dd-yyyy - hh:mm:ss -> " and the line as it was to be sent, then CR LF (a
// report line brings its own CR LF, so an empty line follows it).
std::string SendErrorRecord(const LocalTime& now, int error, std::string_view line);
// "LOGIN Error @mm-dd-yyyy - hh:mm:ss -> host: " and what the server answered, CR LF
std::string LoginErrorRecord(const LocalTime& now, std::string_view host,
                             std::string_view serverLine);

}  // namespace nimbrix
