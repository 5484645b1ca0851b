// Pixel arithmetic of the renderer that never raises.
//
// Positions far outside the map (a wild calibration, a pan to the end of
// the integer range, a magnification of 1024) must cost nothing and must not
// throw: the canvas clips every figure to its surface, so coordinates are
// only saturated, to a range that no surface reaches and that still leaves
// room for the small offsets (symbol sizes, marker radii, caption offsets)
// added to them in 32 bits.
#pragma once

#include <algorithm>
#include <cstdint>

#include "calibration/pixel_rounding.h"

namespace marovia::render {

// Beyond every surface, with room for offsets of +-2^30 before int32 ends.
constexpr int32_t kPixelLimit = 1 << 30;

// V rounded (halves to even) and saturated to +-kPixelLimit; NaN gives 0.
inline int32_t ViewPixel(double V) {
  return std::clamp(RoundSaturated(V), -kPixelLimit, kPixelLimit);
}

// The same for the 64-bit positions of scaled copies (source rectangles of
// the map image): saturated to +-2^52, far beyond any image.
inline int64_t RoundToPosition(double V) {
  constexpr double kLimit = 4503599627370496.0;  // 2^52
  if (!(V == V)) return 0;
  return static_cast<int64_t>(RoundHalfEven(std::clamp(V, -kLimit, kLimit)));
}

}  // namespace marovia::render
