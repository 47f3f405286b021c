#pragma once
// A second, independent statement of which stations the needle finds: the oracle of the
// soak test and of the fuzz targets. It is written from the rules of the dial, not from the
// tuner's code, so that a slip in one shows up against the other.

#include <vector>

#include "platform/types.h"

namespace tuningmodel {

enum class Band { AM, FM, Neither };

// Whether a station of frequency hz is heard with the needle at x on the band: the needle's
// frequency lies strictly inside the station's tuning range.
inline bool Matches(double hz, platform::Int32 x, Band band) {
  if (band == Band::AM) {
    const double f = static_cast<double>(platform::WrapMul(5, x));
    return hz - 5.0 < f && f < hz + 5.0;
  }
  if (band == Band::FM) {
    const double f = 76.0 + static_cast<double>(platform::WrapSub(x, 111)) * 0.13333333;
    return hz - 0.15 < f && f < hz + 0.15;
  }
  return false;
}

inline bool AnyMatch(const std::vector<double>& hz, platform::Int32 x, Band band) {
  for (double h : hz) {
    if (Matches(h, x, band)) return true;
  }
  return false;
}

}  // namespace tuningmodel
