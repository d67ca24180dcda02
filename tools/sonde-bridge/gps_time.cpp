#include "gps_time.h"

#include <algorithm>
#include <array>
#include <chrono>

namespace bridge {

namespace {

using std::chrono::sys_days;
using std::chrono::year;

struct Step {
  sys_days utcDay;  // the first UTC day with the new offset (a leap second ended the day before)
  std::int64_t offset;  // GPS - UTC from then on, seconds
};

// IERS Bulletin C, the leap-second list: GPS - UTC is TAI - UTC less the 19 s that TAI was
// ahead of UTC on 1980-01-06. No leap second has been added since the one at the end of 2016.
constexpr std::array<Step, 18> kSteps = {{
    {sys_days(year(1981) / 7 / 1), 1},
    {sys_days(year(1982) / 7 / 1), 2},
    {sys_days(year(1983) / 7 / 1), 3},
    {sys_days(year(1985) / 7 / 1), 4},
    {sys_days(year(1988) / 1 / 1), 5},
    {sys_days(year(1990) / 1 / 1), 6},
    {sys_days(year(1991) / 1 / 1), 7},
    {sys_days(year(1992) / 7 / 1), 8},
    {sys_days(year(1993) / 7 / 1), 9},
    {sys_days(year(1994) / 7 / 1), 10},
    {sys_days(year(1996) / 1 / 1), 11},
    {sys_days(year(1997) / 7 / 1), 12},
    {sys_days(year(1999) / 1 / 1), 13},
    {sys_days(year(2006) / 1 / 1), 14},
    {sys_days(year(2009) / 1 / 1), 15},
    {sys_days(year(2012) / 7 / 1), 16},
    {sys_days(year(2015) / 7 / 1), 17},
    {sys_days(year(2017) / 1 / 1), 18},
}};

// When a step takes effect on the GPS scale: UTC midnight is GPS midnight plus the new offset.
constexpr std::int64_t GpsStartMs(const Step& s) {
  return (std::chrono::sys_seconds(s.utcDay).time_since_epoch().count() + s.offset) * 1000;
}

}  // namespace

std::int64_t GpsMinusUtcSeconds(std::int64_t gpsMs) {
  // The last step that has begun; before the first one GPS time and UTC agree.
  const auto next =
      std::upper_bound(kSteps.begin(), kSteps.end(), gpsMs,
                       [](std::int64_t t, const Step& s) { return t < GpsStartMs(s); });
  return next == kSteps.begin() ? 0 : std::prev(next)->offset;
}

std::int64_t GpsToUtcMs(std::int64_t gpsMs) {
  return gpsMs - GpsMinusUtcSeconds(gpsMs) * 1000;
}

}  // namespace bridge
