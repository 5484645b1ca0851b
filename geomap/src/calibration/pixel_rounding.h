// Rounding of reals to pixel coordinates that never raises (internal to the
// map control). Positions far outside a map, or parameters of a degenerate
// fit, give values beyond 32 bits or not finite at all; the conversions
// report those instead of rounding them.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace marovia {

// Nearest integer, halves to the even neighbour, independent of the
// floating-point rounding mode. Values that are not finite come back
// unchanged.
inline double RoundHalfEven(double v) {
  if (!std::isfinite(v)) return v;
  const double t = std::trunc(v);  // every double of 2^52 and more is whole
  const double frac = std::fabs(v - t);
  if (frac < 0.5) return t;
  const double away = t + std::copysign(1.0, v);
  if (frac > 0.5) return away;
  return std::fmod(t, 2.0) == 0 ? t : away;
}

// v rounded to a 32-bit pixel coordinate; false (out unchanged) when v is
// not finite or its rounded value leaves int32_t.
inline bool RoundToPixel(double v, int32_t& out) {
  // -2^31 - 0.5 rounds to the even -2^31; 2^31 - 0.5 rounds to 2^31.
  if (!(v >= -2147483648.5 && v < 2147483647.5)) return false;
  // The conversion truncates toward zero whatever the rounding mode, and
  // the value fits 64 bits, so r is trunc(v) without a library call.
  int64_t r = static_cast<int64_t>(v);
  const double frac = v - static_cast<double>(r);  // exact, in (-1, 1)
  if (frac > 0.5 || (frac == 0.5 && (r & 1) != 0)) {
    ++r;
  } else if (frac < -0.5 || (frac == -0.5 && (r & 1) != 0)) {
    --r;
  }
  out = static_cast<int32_t>(r);
  return true;
}

// v clamped to int32_t; NaN gives 0.
inline int32_t SaturateToInt32(double v) {
  if (std::isnan(v)) return 0;
  if (v >= std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (v <= std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

// v rounded to the nearest int32_t (halves to even), saturating at the
// limits; NaN gives 0. For view arithmetic on values a user can drive
// anywhere (pans, zooms), which must never raise.
inline int32_t RoundSaturated(double v) {
  int32_t r = 0;
  return RoundToPixel(v, r) ? r : SaturateToInt32(v);
}

// a + b clamped to int32_t.
inline int32_t SaturatedSum(int64_t a, int64_t b) {
  const int64_t s = a + b;
  if (s > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (s < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(s);
}

}  // namespace marovia
