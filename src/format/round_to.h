#pragma once

namespace nimbrix {

// value * 10^places in double arithmetic, nearest whole number (ties to even), divided back.
// places is clamped to 0..18. NaN and infinities pass through; a value so large that the product
// overflows comes back unchanged.
double RoundTo(double value, int places);

// Nearest whole number, an exact half going to the even neighbour.
double RoundHalfEven(double value);

}  // namespace nimbrix
