// TCanvas::LineTo: clipped Bresenham steps with pen width, style and mode.
#include <algorithm>

#include "marovia/platform/graphics.h"
#include "raster.h"

namespace marovia {

namespace {

// On/off run lengths of the dashed styles of a one-pixel pen.
struct DashPattern {
  int runs[6];
  int count;
  int period;
};

const DashPattern* PatternOf(TPenStyle s) {
  static const DashPattern dash{{18, 6}, 2, 24};
  static const DashPattern dot{{3, 3}, 2, 6};
  static const DashPattern dashDot{{9, 6, 3, 6}, 4, 24};
  static const DashPattern dashDotDot{{9, 3, 3, 3, 3, 3}, 6, 24};
  switch (s) {
    case psDash:
      return &dash;
    case psDot:
      return &dot;
    case psDashDot:
      return &dashDot;
    case psDashDotDot:
      return &dashDotDot;
    default:
      return nullptr;
  }
}

// Whether step i of a line falls on an "on" run of the pattern.
bool DashOn(const DashPattern& p, int64_t i) {
  int64_t k = i % p.period;
  for (int r = 0; r < p.count; ++r) {
    if (k < p.runs[r]) return (r % 2) == 0;
    k -= p.runs[r];
  }
  return false;
}

}  // namespace

void TCanvas::LineTo(int X, int Y) {
  const TPoint from = penPos_;
  penPos_ = TPoint{X, Y};
  if (!surface_ || pen_.Style() == psClear) return;
  const TRect clip = ClipRect();
  if (IsEmpty(clip)) return;
  SpanPainter p(*surface_, clip, ColorToPixel(pen_.Color()), pen_.Mode());
  const int64_t w = pen_.Width();
  const int64_t x0 = from.X, y0 = from.Y, x1 = X, y1 = Y;
  if (w <= 1) {
    const LineClip c{clip.Left, clip.Top, int64_t{clip.Right} - 1, int64_t{clip.Bottom} - 1};
    const DashPattern* dash = PatternOf(pen_.Style());
    if (dash) {
      ForEachLinePixel(x0, y0, x1, y1, c, [&](int64_t i, int64_t x, int64_t y) {
        if (DashOn(*dash, i)) p.Pixel(x, y);
      });
    } else {
      ForEachLinePixel(x0, y0, x1, y1, c, [&](int64_t, int64_t x, int64_t y) { p.Pixel(x, y); });
    }
    return;
  }
  // A wide pen puts a run of Width pixels across the major axis at every
  // step; runs of neighbouring steps never overlap, so XOR stays exact.
  const int64_t lo = -(w / 2), hi = lo + w - 1;
  const bool xMajor = std::abs(x1 - x0) > std::abs(y1 - y0);
  const LineClip c =
      xMajor ? LineClip{clip.Left, clip.Top - hi, int64_t{clip.Right} - 1, clip.Bottom - 1 - lo}
             : LineClip{clip.Left - hi, clip.Top, clip.Right - 1 - lo, int64_t{clip.Bottom} - 1};
  ForEachLinePixel(x0, y0, x1, y1, c, [&](int64_t, int64_t x, int64_t y) {
    if (xMajor) {
      for (int64_t k = std::max(y + lo, int64_t{clip.Top});
           k <= std::min(y + hi, int64_t{clip.Bottom} - 1); ++k)
        p.Pixel(x, k);
    } else {
      p.Span(y, x + lo, x + hi + 1);
    }
  });
}

}  // namespace marovia
