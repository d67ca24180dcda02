#pragma once

// Altitudes above mean sea level, as APRS wants them. With "ref_position": "GPS" the decoders'
// "alt" is the height above the WGS84 ellipsoid; the two differ by the geoid's height at the
// place (about -106 m to +85 m over the globe).

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "frame.h"

namespace bridge {

// A model of the geoid: its height above the WGS84 ellipsoid at a place.
class Geoid {
 public:
  virtual ~Geoid() = default;
  // Metres; nullopt where the model has no value.
  virtual std::optional<double> HeightAt(double lat, double lon) = 0;
};

// Opens the model, or says in `error` why it cannot.
using GeoidOpener = std::function<std::unique_ptr<Geoid>(std::string& error)>;

class SeaLevel {
 public:
  using Notice = std::function<void(const std::string&)>;
  // The model is opened when a frame first needs it; when it cannot be, `notice` is told once
  // and such heights stay as the decoder gives them.
  SeaLevel(GeoidOpener open, Notice notice) : open_(std::move(open)), notice_(std::move(notice)) {}

  // The frame's altitude above sea level: "alt" less "diff_GPS_MSL" where the decoder gives
  // it; for an ellipsoid height without it, less the geoid's height there; otherwise "alt".
  double AltitudeOf(const Frame& frame);

 private:
  Geoid* Model();

  GeoidOpener open_;
  Notice notice_;
  std::unique_ptr<Geoid> geoid_;
  bool tried_ = false;
};

}  // namespace bridge
