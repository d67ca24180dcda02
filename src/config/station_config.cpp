#include "config/station_config.h"

#include "format/safe_text.h"

namespace nimbrix {

std::string BuildLoginLine(const std::string& user, const std::string& pass) {
  // The callsign may hold a line feed (or, quoted in the old format, a whole line end); the
  // login must stay one line on the connection.
  return "user " + StripControlBytes(user) + " pass " + StripControlBytes(pass) + " vers " +
         kVersionText + " filter b/ZZZZZ/\r\n";
}

}  // namespace nimbrix
