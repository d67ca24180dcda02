#pragma once

// The texts the station writes exactly as they have always stood, typos included ("Cheking",
// "Conecting:"): operators know them by these words, and their scripts and peers match them.
// They are kept here, in one place, so that none is retyped (and "corrected") elsewhere. The
// dashboard's rows are built in app/dashboard.cpp and the error records in
// uplink/error_records.cpp, each the one place for its texts.

#include <string>

namespace nimbrix::exact {

// Start-up: the configuration file.
inline constexpr const char* kConfigVersion2 = "Reading config file version config 2";
inline constexpr const char* kConfigVersion1 = "Reading config file version 1";
inline constexpr const char* kCheckCallsign = "Config file error: check callsign in INI file";
inline constexpr const char* kCheckServerCount =
    "Config file error: check number of servers should be 1 to 9";
inline constexpr const char* kExiting = "Exiting...";

// Start-up: the update check and the decoder.
inline constexpr const char* kCheckingForNewVersion = "Cheking for a new version...";
inline constexpr const char* kCouldNotCheck = "Could not check for a new version.";
inline constexpr const char* kMostRecentVersion = "You have the most recent version!";
inline constexpr const char* kDecoderNotFound = "SondeMonitor not found! Exiting...";

// "The version 0.23 is available at https://..."
inline std::string VersionAvailable(const std::string& offered, const std::string& page) {
  std::string text = "The version ";
  text += offered;
  text += " is available at ";
  text += page;
  return text;
}

// Row 24 while the first connection is made.
inline constexpr const char* kConnecting = "Conecting:";

}  // namespace nimbrix::exact
