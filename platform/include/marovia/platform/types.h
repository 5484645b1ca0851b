// Small value types of the host framework.
#pragma once

#include <cstdint>

namespace marovia {

// A colour as 0x00BBGGRR: red in the lowest byte, green in the second, blue in
// the third. The named colours live with the graphics layer.
using TColor = int32_t;

struct TPoint {
  int32_t X = 0;
  int32_t Y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};

// A rectangle whose right and bottom edges are excluded.
struct TRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
  int32_t Width() const { return Right - Left; }
  int32_t Height() const { return Bottom - Top; }
  friend bool operator==(const TRect&, const TRect&) = default;
};

inline TPoint Point(int32_t X, int32_t Y) {
  return TPoint{X, Y};
}
inline TRect Rect(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
  return TRect{Left, Top, Right, Bottom};
}
inline TRect Bounds(int32_t Left, int32_t Top, int32_t Width, int32_t Height) {
  return TRect{Left, Top, Left + Width, Top + Height};
}

}  // namespace marovia
