// Internal drawing layer of the canvas: clipped spans and single pixels with
// the pen's raster operation, and the format quantisation of the surface.
//
// Every figure reduces to horizontal spans [x0, x1) on one row, clipped here
// once, so the loops above carry no bounds checks of their own.
#pragma once

#include <algorithm>
#include <cstdint>

#include "marovia/platform/graphics.h"
#include "marovia/platform/stretchblt.h"

namespace marovia {

// Result of a binary raster operation (pen mode) of pen P over destination D.
inline uint32_t ApplyPenMode(TPenMode Mode, uint32_t P, uint32_t D) {
  switch (Mode) {
    case pmBlack:
      return 0;
    case pmWhite:
      return 0xFFFFFF;
    case pmNop:
      return D;
    case pmNot:
      return ~D & 0xFFFFFF;
    case pmCopy:
      return P;
    case pmNotCopy:
      return ~P & 0xFFFFFF;
    case pmMergePenNot:
      return (P | ~D) & 0xFFFFFF;
    case pmMaskPenNot:
      return P & ~D & 0xFFFFFF;
    case pmMergeNotPen:
      return (~P | D) & 0xFFFFFF;
    case pmMaskNotPen:
      return ~P & D & 0xFFFFFF;
    case pmMerge:
      return P | D;
    case pmNotMerge:
      return ~(P | D) & 0xFFFFFF;
    case pmMask:
      return P & D;
    case pmNotMask:
      return ~(P & D) & 0xFFFFFF;
    case pmXor:
      return P ^ D;
    case pmNotXor:
      return ~(P ^ D) & 0xFFFFFF;
  }
  return D;
}

// Result of a ternary raster operation (copy mode) for pattern P, source S
// and destination D: bit i of the operation index gives the result for the
// combination (P, S, D) = (i & 4, i & 2, i & 1).
inline uint32_t ApplyRop3(uint8_t Index, uint32_t P, uint32_t S, uint32_t D) {
  uint32_t r = 0;
  for (int i = 0; i < 8; ++i) {
    if (Index & (1u << i)) {
      r |= ((i & 4) ? P : ~P) & ((i & 2) ? S : ~S) & ((i & 1) ? D : ~D);
    }
  }
  return r & 0xFFFFFF;
}

// A writer of pixels on one surface, clipped to a rectangle that already lies
// inside the surface, with a fixed colour and raster operation.
class SpanPainter {
 public:
  // Clip must lie within the surface. Color is a pixel word (0x00RRGGBB).
  SpanPainter(TBitmap& Surface, const TRect& Clip, uint32_t Color, TPenMode Mode);

  const TRect& Clip() const { return clip_; }
  // Pixels [X0, X1) of row Y, clipped.
  void Span(int64_t Y, int64_t X0, int64_t X1);
  void Pixel(int64_t X, int64_t Y) {
    if (X >= clip_.Left && X < clip_.Right && Y >= clip_.Top && Y < clip_.Bottom)
      Put(bits_ + Y * stride_ + X);
  }
  void SetColor(uint32_t Color);

 private:
  void Put(uint32_t* p) {
    if (constant_) {
      *p = value_;
    } else {
      uint32_t v = ApplyPenMode(mode_, color_, *p);
      *p = identity_ ? v : surface_.Quantize(v);
    }
  }
  TBitmap& surface_;
  TRect clip_;
  uint32_t* bits_;
  int64_t stride_;
  uint32_t color_ = 0;
  TPenMode mode_;
  bool identity_;          // the format stores every word as it is
  bool constant_ = false;  // the result does not depend on the destination
  uint32_t value_ = 0;     // the stored word when constant_
};

// What a surface of a direct format (not indexed) stores for the word V, as
// TBitmap::Quantize gives it, inline for per-pixel loops.
inline uint32_t QuantizeDirect(TPixelFormat F, uint32_t V) {
  switch (F) {
    case pf15bit:
      return (V & 0xF8F8F8u) | ((V >> 5) & 0x070707u);
    case pf16bit:
      return (V & 0xF8FCF8u) | ((V >> 5) & 0x070007u) | ((V >> 6) & 0x000300u);
    default:
      return V & 0xFFFFFFu;
  }
}

inline bool IsIndexedFormat(TPixelFormat F) {
  return F == pf1bit || F == pf4bit || F == pf8bit;
}

// Stores N words of Src into Dest as Surface's pixel format keeps them (what
// Quantize gives for each). The 15- and 16-bit formats are written as plain
// bit operations, so the row loops vectorise: expanding a 5-bit channel c
// back to 8 bits is (c & 0xF8) | (c >> 5), for all three channels at once.
inline void StoreQuantized(const TBitmap& Surface, uint32_t* __restrict Dest,
                           const uint32_t* __restrict Src, size_t N) {
  switch (Surface.PixelFormat()) {
    case pf15bit:
      for (size_t k = 0; k < N; ++k) {
        const uint32_t v = Src[k];
        Dest[k] = (v & 0xF8F8F8u) | ((v >> 5) & 0x070707u);
      }
      return;
    case pf16bit:
      for (size_t k = 0; k < N; ++k) {
        const uint32_t v = Src[k];
        Dest[k] = (v & 0xF8FCF8u) | ((v >> 5) & 0x070007u) | ((v >> 6) & 0x000300u);
      }
      return;
    case pf1bit:
    case pf4bit:
    case pf8bit:
      for (size_t k = 0; k < N; ++k) Dest[k] = Surface.Quantize(Src[k]);
      return;
    default:
      for (size_t k = 0; k < N; ++k) Dest[k] = Src[k] & 0xFFFFFFu;
      return;
  }
}

// Intersection of two half-open rectangles (empty results have
// Right <= Left or Bottom <= Top).
inline TRect Intersect(const TRect& A, const TRect& B) {
  TRect r{A.Left > B.Left ? A.Left : B.Left, A.Top > B.Top ? A.Top : B.Top,
          A.Right < B.Right ? A.Right : B.Right, A.Bottom < B.Bottom ? A.Bottom : B.Bottom};
  return r;
}
inline bool IsEmpty(const TRect& R) {
  return R.Right <= R.Left || R.Bottom <= R.Top;
}

// Draws antialiased coverage onto the surface: each Coverage value (0..255)
// blends Color over the pixel; rows of Pitch bytes, top-left at (X, Y).
void BlendCoverage(TBitmap& Surface, const TRect& Clip, int X, int Y, const uint8_t* Coverage,
                   int Width, int Height, int Pitch, uint32_t Color);

// A vertex in 64-bit coordinates, so sums of 32-bit coordinates stay exact.
struct LPoint {
  int64_t X;
  int64_t Y;
};

// Fills a polygon with the alternate (even-odd) rule. Pixel (x, y) is inside
// when the point (x, y) is; points on a left or top edge count as inside,
// points on a right or bottom edge do not, so a rectangle (0,0)-(10,10)
// fills columns and rows 0..9. Only the rows of the painter's clip are
// visited.
void FillPolygon(SpanPainter& Painter, const LPoint* Points, int Count);

// The pixel steps of a line from (X0, Y0) to (X1, Y1) (end excluded) that lie
// in Clip (inclusive bounds [MinX, MaxX] x [MinY, MaxY]), as Visit(i, x, y)
// with i the step number from the start. Returns nothing; costs the visible
// steps plus a logarithmic search.
struct LineClip {
  int64_t MinX, MinY, MaxX, MaxY;
};

// floor(Num / Den) for Den > 0.
inline int64_t FloorDiv(__int128 Num, __int128 Den) {
  __int128 q = Num / Den;
  if (Num % Den != 0 && Num < 0) --q;
  return static_cast<int64_t>(q);
}

// First i in [A, B) for which the monotone predicate (false, then true)
// holds, or B.
template <typename Pred>
int64_t LowerBound(int64_t A, int64_t B, Pred&& P) {
  while (A < B) {
    int64_t mid = A + (B - A) / 2;
    if (P(mid))
      B = mid;
    else
      A = mid + 1;
  }
  return A;
}

template <typename Visit>
void ForEachLinePixel(int64_t X0, int64_t Y0, int64_t X1, int64_t Y1, const LineClip& C,
                      Visit&& V) {
  const int64_t dx = X1 - X0, dy = Y1 - Y0;
  if (dx == 0 && dy == 0) return;
  // The major axis has the larger delta; exact diagonals count as y-major
  // (either choice gives the same pixels there).
  const bool xMajor = (dx < 0 ? -dx : dx) > (dy < 0 ? -dy : dy);
  const int64_t m0 = xMajor ? X0 : Y0, n0 = xMajor ? Y0 : X0;
  const int64_t dm = xMajor ? dx : dy, dn = xMajor ? dy : dx;
  const int64_t s = dm > 0 ? 1 : -1;
  const int64_t n = dm * s;
  const int64_t mMin = xMajor ? C.MinX : C.MinY, mMax = xMajor ? C.MaxX : C.MaxY;
  const int64_t nMin = xMajor ? C.MinY : C.MinX, nMax = xMajor ? C.MaxY : C.MaxX;

  int64_t lo = 0, hi = n - 1;
  if (s > 0) {
    lo = std::max(lo, mMin - m0);
    hi = std::min(hi, mMax - m0);
  } else {
    lo = std::max(lo, m0 - mMax);
    hi = std::min(hi, m0 - mMin);
  }
  if (lo > hi) return;

  // Minor offset at step i: i * dn / n rounded, halves up.
  const __int128 den = 2 * static_cast<__int128>(n);
  auto f = [&](int64_t i) { return n0 + FloorDiv(2 * static_cast<__int128>(i) * dn + n, den); };
  if (dn >= 0) {
    lo = LowerBound(lo, hi + 1, [&](int64_t i) { return f(i) >= nMin; });
    hi = LowerBound(lo, hi + 1, [&](int64_t i) { return f(i) > nMax; }) - 1;
  } else {
    lo = LowerBound(lo, hi + 1, [&](int64_t i) { return f(i) <= nMax; });
    hi = LowerBound(lo, hi + 1, [&](int64_t i) { return f(i) < nMin; }) - 1;
  }
  if (lo > hi) return;

  const __int128 num = 2 * static_cast<__int128>(lo) * dn + n;
  int64_t q = FloorDiv(num, den);
  const int64_t d = static_cast<int64_t>(den);
  int64_t r = static_cast<int64_t>(num - static_cast<__int128>(q) * den);
  const int64_t step = 2 * dn;
  for (int64_t i = lo; i <= hi; ++i) {
    const int64_t major = m0 + s * i, minor = n0 + q;
    if (xMajor)
      V(i, major, minor);
    else
      V(i, minor, major);
    r += step;
    if (r >= d) {
      r -= d;
      ++q;
    } else if (r < 0) {
      r += d;
      --q;
    }
  }
}

}  // namespace marovia
