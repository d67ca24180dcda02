#pragma once

// The decoder's contract, written once: the Automation object the station attaches to, its one
// member, the items that member answers, and which D-Bus type carries which VARTYPE (kept
// beside the Variant, platform/variant_signatures.h, where the D-Bus backend checks by it). The
// station, its D-Bus client and the decoder tools (sonde-sim, sonde-bridge and their service on
// both systems) all name the items by it; docs/decoder-dbus.xml describes the same for people.

#include "platform/variant_signatures.h"

namespace nimbrix {

// The decoder's ProgID on Windows, and its bus name, interface and (dots as slashes) object
// path on the D-Bus session bus.
inline constexpr const char* kDecoderProgId = "SondeMonitor.Document";
// The member that answers one item per call: GETSONDEDATA(item index) -> VARIANT.
inline constexpr const char* kSondeDataMember = "GETSONDEDATA";
// Every sonde the decoder has heard in the last 10 minutes, the followed one among them (D-Bus
// only): GETSONDELIST() -> a(ua(qv)), per sonde how many ms ago its newest frame came and that
// frame's items 0 to 17 in item order, each as GETSONDEDATA answers it. A decoder without it
// (the Windows decoder, an older bridge) answers an error: the station then has one sonde.
inline constexpr const char* kSondeListMember = "GETSONDELIST";
inline constexpr int kSondeListForgetMs = 10 * 60 * 1000;
// The D-Bus error for an index the decoder does not have.
inline constexpr const char* kInvalidIndexError = "SondeMonitor.Document.Error.InvalidIndex";

// The items, by index. 0 to 14 are what every decoder answers; 15 to 17 extend the contract
// for the SondeHub feed, and a decoder without them answers an error there, which the station
// reads as "not given".
enum DecoderItem : int {
  kSerial = 0,           // BSTR
  kLatitude = 1,         // R8, degrees north
  kLongitude = 2,        // R8, degrees east
  kAltitude = 3,         // R8, m
  kHeading = 4,          // R8, the direction of travel less 180 (the station turns it back)
  kSpeed = 5,            // R8, m/s over ground
  kTimeText = 6,         // BSTR, "YYYY-MM-DD hh:mm:ss" (the time at characters 12 to 19)
  kQrg = 7,              // BSTR, the frequency in MHz
  kPressure = 8,         // R8, hPa
  kTemperature = 9,      // R8, deg C
  kHumidity = 10,        // R8, %
  kTypeOrAprsName = 11,  // BSTR: an M10's or M20's APRS name, else the kind of sonde
  kClimb = 12,           // R8, m/s
  kFrame = 13,           // I4, the frame number
  kTimeMs = 14,          // I8, the frame's time in ms since 1970 (UTC)
  // The extension.
  kKind = 15,          // BSTR, the kind of sonde: "RS41-SGP", "DFM09", "M10", ...
  kSatellites = 16,    // I4, GPS satellites in the position solution
  kBatteryVolts = 17,  // R8, V
};
// Items 0 to 14: what the station asks every cycle.
inline constexpr int kContractItemCount = 15;
// Items 0 to 17, the extension included.
inline constexpr int kDecoderItemCount = 18;

}  // namespace nimbrix
