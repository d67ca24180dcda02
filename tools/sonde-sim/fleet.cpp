#include "fleet.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace sondesim {

namespace {

// The digits of a serial, the last one moved on by `step` ("S3210987", 1: "3210988").
std::string DigitsWithLastChanged(const std::string& serial, int step) {
  std::string digits;
  for (char c : serial) {
    if (c >= '0' && c <= '9') digits.push_back(c);
  }
  if (digits.empty()) digits.push_back('0');
  char& last = digits.back();
  last = static_cast<char>('0' + (last - '0' + step) % 10);
  return digits;
}

// The M10's serial as the decoders print it, from nine digits (the last nine, zero-filled).
std::string M10Serial(std::string digits) {
  if (digits.size() > 9) digits.erase(0, digits.size() - 9);
  digits.insert(0, 9 - digits.size(), '0');
  return "M10-" + digits.substr(0, 3) + "-" + digits.substr(3, 1) + "-" + digits.substr(4);
}

std::string AprsNameOf(const std::string& digits) {
  unsigned long long n = 0;
  for (char c : digits) n = (n * 10 + static_cast<unsigned>(c - '0')) % 0x10000000ULL;
  char text[16];
  std::snprintf(text, sizeof text, "ME%07llX", n);
  return text;
}

}  // namespace

std::vector<SimulatedSonde> FleetOf(const FlightParams& flight, const SondeIdentity& id,
                                    int count) {
  count = std::clamp(count, 1, kMostSondes);
  std::vector<SimulatedSonde> fleet{{flight, id}};
  // Each launch site a few km from the first, kept on the globe.
  const auto near = [&flight](double dLat, double dLon) {
    FlightParams p = flight;
    p.lat = std::clamp(flight.lat + dLat, -89.9, 89.9);
    p.lon = flight.lon + dLon;
    if (p.lon > 180) p.lon -= 360;
    if (p.lon < -180) p.lon += 360;
    return p;
  };
  if (count >= 2) {
    SimulatedSonde dfm{near(0.04, -0.03), id};
    dfm.flight.ascentMs = std::max(0.5, flight.ascentMs * 0.9);
    dfm.id.serial = "DFM-" + DigitsWithLastChanged(id.serial, 1);
    dfm.id.type = "DFM09";
    dfm.id.aprsName.clear();
    dfm.id.qrg = "402.700";
    dfm.id.firstFrame = id.firstFrame + 200;
    fleet.push_back(dfm);
  }
  if (count >= 3) {
    SimulatedSonde m10{near(-0.03, 0.05), id};
    m10.flight.ascentMs = std::min(50.0, flight.ascentMs * 1.1);
    const std::string digits = DigitsWithLastChanged(id.serial, 2);
    m10.id.serial = M10Serial(digits);
    m10.id.type = "M10";
    m10.id.aprsName = AprsNameOf(digits);
    m10.id.qrg = "405.100";
    m10.id.firstFrame = id.firstFrame + 500;
    fleet.push_back(m10);
  }
  return fleet;
}

std::uint32_t FrameAgeMs(double flightSeconds, double speedup) {
  if (!std::isfinite(flightSeconds) || !(speedup > 0)) return 0;  // standing still: just made
  const double intoSecond = flightSeconds - std::floor(flightSeconds);
  // Below the age at which a sonde counts as gone: a slow flight's sondes are still there.
  const double ms = std::min(intoSecond / speedup * 1000, nimbrix::kSondeListForgetMs - 1.0);
  return static_cast<std::uint32_t>(ms);
}

std::vector<decoder::ListedSonde> ListOfOne(const decoder::AnswerSource& source) {
  decoder::ListedSonde sonde;
  for (int i = 0; i < kItemCount; ++i) sonde.items.push_back(source(static_cast<std::int16_t>(i)));
  return {sonde};
}

}  // namespace sondesim
