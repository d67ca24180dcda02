#pragma once

// Recorded flight logs: CSV, one row per second, with this header line (columns in any order):
//
//   time,serial,lat,lon,alt,course,speed,pressure,temperature,humidity,climb,frame,qrg
//
// time is "YYYY-MM-DD hh:mm:ss" (UTC), lat/lon in degrees (north, east positive), alt in metres,
// course the heading the decoder reports (travel direction plus 180) in degrees, speed and climb
// in m/s, pressure in hPa, temperature in degrees Celsius, humidity in percent, frame a whole
// number, qrg the frequency text in MHz. Fields cannot be quoted, so texts hold no commas.
// Blank lines and lines starting with # are skipped.

#include <string>
#include <string_view>
#include <vector>

#include "answers.h"

namespace sondesim {

inline constexpr const char* kFlightLogHeader =
    "time,serial,lat,lon,alt,course,speed,pressure,temperature,humidity,climb,frame,qrg";

// Every row must be complete; on a fault, false and `error` names the line. The sonde type (not
// in the log) is set to `type`.
bool ParseFlightLog(std::string_view text, const std::string& type, std::vector<Telemetry>& rows,
                    std::string& error);

// The log of `rows`, header first.
std::string FormatFlightLog(const std::vector<Telemetry>& rows);

}  // namespace sondesim
