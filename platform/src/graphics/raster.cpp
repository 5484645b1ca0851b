// Clipped spans, polygon fills and coverage blending of the canvas.
#include <algorithm>
#include <vector>

#include "raster.h"

namespace marovia {

namespace {

bool StoresWordsAsGiven(TPixelFormat f) {
  return f == pfDevice || f == pf24bit || f == pf32bit || f == pfCustom;
}

}  // namespace

SpanPainter::SpanPainter(TBitmap& Surface, const TRect& Clip, uint32_t Color, TPenMode Mode)
    : surface_(Surface),
      clip_(Clip),
      bits_(Surface.Bits()),
      stride_(Surface.Width()),
      mode_(Mode),
      identity_(StoresWordsAsGiven(Surface.PixelFormat())) {
  if (!bits_) clip_ = TRect{};
  SetColor(Color);
}

void SpanPainter::SetColor(uint32_t Color) {
  // The pen colour is quantised before it is combined, so XOR on a 15- or
  // 16-bit surface stays within the format and a second XOR restores it.
  color_ = surface_.Quantize(Color);
  constant_ = mode_ == pmBlack || mode_ == pmWhite || mode_ == pmCopy || mode_ == pmNotCopy;
  if (constant_) value_ = surface_.Quantize(ApplyPenMode(mode_, color_, 0));
}

void SpanPainter::Span(int64_t Y, int64_t X0, int64_t X1) {
  if (Y < clip_.Top || Y >= clip_.Bottom) return;
  X0 = std::max<int64_t>(X0, clip_.Left);
  X1 = std::min<int64_t>(X1, clip_.Right);
  if (X0 >= X1 || mode_ == pmNop) return;
  uint32_t* p = bits_ + Y * stride_ + X0;
  uint32_t* e = bits_ + Y * stride_ + X1;
  if (constant_) {
    std::fill(p, e, value_);
  } else {
    for (; p != e; ++p) Put(p);
  }
}

void FillPolygon(SpanPainter& Painter, const LPoint* Points, int Count) {
  const TRect& clip = Painter.Clip();
  if (Count < 3 || IsEmpty(clip)) return;
  int64_t minY = Points[0].Y, maxY = Points[0].Y;
  for (int i = 1; i < Count; ++i) {
    minY = std::min(minY, Points[i].Y);
    maxY = std::max(maxY, Points[i].Y);
  }
  const int64_t y0 = std::max<int64_t>(minY, clip.Top), y1 = std::min<int64_t>(maxY, clip.Bottom);
  std::vector<int64_t> xs;
  for (int64_t y = y0; y < y1; ++y) {
    xs.clear();
    for (int i = 0; i < Count; ++i) {
      LPoint a = Points[i], b = Points[(i + 1) % Count];
      if (a.Y == b.Y) continue;
      if (a.Y > b.Y) std::swap(a, b);
      // Top inclusive, bottom exclusive: a vertex shared by two edges is
      // counted once, and the bottom row of a figure stays outside.
      if (y < a.Y || y >= b.Y) continue;
      // First pixel column at or right of the crossing, exactly.
      __int128 num =
          static_cast<__int128>(a.X) * (b.Y - a.Y) + static_cast<__int128>(y - a.Y) * (b.X - a.X);
      __int128 den = b.Y - a.Y;
      xs.push_back(-FloorDiv(-num, den));
    }
    std::sort(xs.begin(), xs.end());
    for (size_t k = 0; k + 1 < xs.size(); k += 2) Painter.Span(y, xs[k], xs[k + 1]);
  }
}

void BlendCoverage(TBitmap& Surface, const TRect& Clip, int X, int Y, const uint8_t* Coverage,
                   int Width, int Height, int Pitch, uint32_t Color) {
  uint32_t* bits = Surface.Bits();
  if (!bits) return;
  const int64_t stride = Surface.Width();
  const TPixelFormat format = Surface.PixelFormat();
  const bool indexed = IsIndexedFormat(format);
  const int cr = (Color >> 16) & 0xFF, cg = (Color >> 8) & 0xFF, cb = Color & 0xFF;
  // Nearest integer to T / 255 for 0 <= T <= 65534 (T here is at most
  // 255 * 255 + 127), without a division.
  auto div255 = [](int T) { return (T + 1 + (T >> 8)) >> 8; };
  const int64_t ya = std::max<int64_t>(Y, Clip.Top),
                yb = std::min<int64_t>(int64_t{Y} + Height, Clip.Bottom);
  const int64_t xa = std::max<int64_t>(X, Clip.Left),
                xb = std::min<int64_t>(int64_t{X} + Width, Clip.Right);
  for (int64_t y = ya; y < yb; ++y) {
    const uint8_t* cov = Coverage + (y - Y) * Pitch - X;
    uint32_t* row = bits + y * stride;
    for (int64_t x = xa; x < xb; ++x) {
      const int a = cov[x];
      if (a == 0) continue;
      uint32_t d = row[x];
      uint32_t v;
      if (a == 255) {
        v = Color;
      } else {
        const int dr = (d >> 16) & 0xFF, dg = (d >> 8) & 0xFF, db = d & 0xFF;
        const int na = 255 - a;
        const int r = div255(cr * a + dr * na + 127), g = div255(cg * a + dg * na + 127),
                  b = div255(cb * a + db * na + 127);
        v = static_cast<uint32_t>(r << 16 | g << 8 | b);
      }
      row[x] = indexed ? Surface.Quantize(v) : QuantizeDirect(format, v);
    }
  }
}

}  // namespace marovia
