#pragma once

// Several sondes in the air at once (--sondes): the first as the options give it, the others
// of other kinds, on their own frequencies, launched a few km away, so that a station sees what
// a busy launch site sends.

#include <cstdint>
#include <vector>

#include "answers.h"
#include "decoder-service/answer.h"
#include "flight_model.h"

namespace sondesim {

inline constexpr int kMostSondes = 3;

struct SimulatedSonde {
  FlightParams flight;
  SondeIdentity id;
};

// `count` sondes, 1 to kMostSondes (clamped): the first is `flight` and `id` unchanged; the
// second a DFM ("DFM-" and the first's digits with the last one changed), the third an M10
// ("M10-ddd-d-ddddd" and its APRS name "ME" and 7 hexadecimal digits).
std::vector<SimulatedSonde> FleetOf(const FlightParams& flight, const SondeIdentity& id, int count);

// How long ago the frame of the flight second `flightSeconds` was made, in real ms: frames come
// on whole flight seconds, which pass `speedup` times as fast as real ones.
std::uint32_t FrameAgeMs(double flightSeconds, double speedup);

// GETSONDELIST for a decoder with one sonde: the items its source answers now, as one sonde
// heard just now.
std::vector<decoder::ListedSonde> ListOfOne(const decoder::AnswerSource& source);

}  // namespace sondesim
