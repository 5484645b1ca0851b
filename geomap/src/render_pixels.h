// Pixel arithmetic of the renderer that never raises.
//
// Positions far outside the map (a wild calibration, a pan to the end of
// the integer range, a magnification of 1024) must cost nothing and must not
// throw: the canvas clips every figure to its surface, so coordinates are
// only saturated to a range that no surface reaches and that still leaves
// room for the small offsets (symbol sizes, caption offsets) added to them.
#pragma once

#include <cmath>
#include <cstdint>

#include "marovia/platform/sysutils.h"

namespace marovia::render {

// Beyond every surface, with room for offsets of +-2^30 before int32 ends.
constexpr double kPixelLimit = 1 << 30;

// The runtime's Round (nearest, halves to even) of V saturated to
// +-kPixelLimit; NaN gives 0.
inline int32_t RoundToPixel(double V) {
  if (std::isnan(V)) return 0;
  if (V > kPixelLimit) V = kPixelLimit;
  if (V < -kPixelLimit) V = -kPixelLimit;
  return static_cast<int32_t>(Round(V));
}

// The same for the 64-bit positions of scaled copies (source rectangles of
// the map image): saturated to +-2^52, far beyond any image.
inline int64_t RoundToPosition(double V) {
  constexpr double kLimit = 4503599627370496.0;  // 2^52
  if (std::isnan(V)) return 0;
  if (V > kLimit) V = kLimit;
  if (V < -kLimit) V = -kLimit;
  return Round(V);
}

}  // namespace marovia::render
