// TCanvas: state, clipping, pixels, rectangles, ellipses, polygons and
// copies. Lines are in canvas_lines.cpp, text in canvas_text.cpp.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "marovia/platform/graphics.h"
#include "marovia/platform/stretchblt.h"
#include "raster.h"

namespace marovia {

TCanvas::TCanvas(TBitmap* Surface) : surface_(Surface) {}

TCanvas::~TCanvas() = default;

TRect TCanvas::ClipRect() const {
  if (!surface_) return TRect{};
  TRect r{0, 0, surface_->Width(), surface_->Height()};
  if (hasClip_) r = Intersect(r, clip_);
  if (IsEmpty(r)) r = TRect{};
  return r;
}

void TCanvas::SetClipRect(const TRect& Value) {
  hasClip_ = true;
  clip_ = Value;
}

void TCanvas::ResetClipRect() {
  hasClip_ = false;
}

void TCanvas::MoveTo(int X, int Y) {
  penPos_ = TPoint{X, Y};
}

TColor TCanvas::Pixels(int X, int Y) const {
  TRect c = ClipRect();
  if (X < c.Left || X >= c.Right || Y < c.Top || Y >= c.Bottom) return -1;
  return PixelToColor(surface_->ScanLine(Y)[X]);
}

void TCanvas::SetPixels(int X, int Y, TColor Color) {
  TRect c = ClipRect();
  if (X < c.Left || X >= c.Right || Y < c.Top || Y >= c.Bottom) return;
  surface_->ScanLine(Y)[X] = surface_->Quantize(ColorToPixel(Color));
}

void TCanvas::FillRect(const TRect& R) {
  if (!surface_ || brush_.Style() == bsClear) return;
  SpanPainter p(*surface_, ClipRect(), ColorToPixel(brush_.Color()), pmCopy);
  const int64_t top = std::max<int64_t>(R.Top, p.Clip().Top),
                bottom = std::min<int64_t>(R.Bottom, p.Clip().Bottom);
  for (int64_t y = top; y < bottom; ++y) p.Span(y, R.Left, R.Right);
}

void TCanvas::FrameRect(const TRect& R) {
  if (!surface_ || IsEmpty(R)) return;
  SpanPainter p(*surface_, ClipRect(), ColorToPixel(brush_.Color()), pmCopy);
  p.Span(R.Top, R.Left, R.Right);
  if (R.Bottom - 1 > R.Top) p.Span(int64_t{R.Bottom} - 1, R.Left, R.Right);
  const int64_t top = std::max<int64_t>(int64_t{R.Top} + 1, p.Clip().Top);
  const int64_t bottom = std::min<int64_t>(int64_t{R.Bottom} - 1, p.Clip().Bottom);
  for (int64_t y = top; y < bottom; ++y) {
    p.Pixel(R.Left, y);
    if (R.Right - 1 > R.Left) p.Pixel(int64_t{R.Right} - 1, y);
  }
}

// Outline: a band of the pen's width just inside the rectangle (dashed
// styles of a 1-pixel pen follow the border as lines do). Interior: the
// brush, combined with the pen mode like the outline. A clear pen leaves
// the whole rectangle to the brush.
void TCanvas::Rectangle(int X1, int Y1, int X2, int Y2) {
  if (!surface_) return;
  int64_t l = std::min(X1, X2), r = std::max(X1, X2), t = std::min(Y1, Y2), b = std::max(Y1, Y2);
  if (l == r || t == b) return;
  const TRect clip = ClipRect();
  const bool outline = pen_.Style() != psClear;
  const int64_t w = outline ? std::min<int64_t>(pen_.Width(), std::max(r - l, b - t)) : 0;
  if (brush_.Style() != bsClear) {
    SpanPainter fill(*surface_, clip, ColorToPixel(brush_.Color()), pen_.Mode());
    const int64_t fy0 = std::max(t + w, int64_t{clip.Top}),
                  fy1 = std::min(b - w, int64_t{clip.Bottom});
    for (int64_t y = fy0; y < fy1; ++y) fill.Span(y, l + w, r - w);
  }
  if (!outline) return;
  const bool dashed = pen_.Style() != psSolid && pen_.Style() != psInsideFrame && pen_.Width() == 1;
  if (dashed && r - l >= 2 && b - t >= 2) {
    TPoint saved = penPos_;
    MoveTo(static_cast<int>(l), static_cast<int>(t));
    LineTo(static_cast<int>(r - 1), static_cast<int>(t));
    LineTo(static_cast<int>(r - 1), static_cast<int>(b - 1));
    LineTo(static_cast<int>(l), static_cast<int>(b - 1));
    LineTo(static_cast<int>(l), static_cast<int>(t));
    penPos_ = saved;
    return;
  }
  SpanPainter p(*surface_, clip, ColorToPixel(pen_.Color()), pen_.Mode());
  const int64_t y0 = std::max(t, int64_t{clip.Top}), y1 = std::min(b, int64_t{clip.Bottom});
  for (int64_t y = y0; y < y1; ++y) {
    if (y < t + w || y >= b - w) {
      p.Span(y, l, r);
    } else {
      p.Span(y, l, std::min(l + w, r));
      p.Span(y, std::max(r - w, l + w), r);
    }
  }
}

namespace {

// Per-row extents [L, R] of the ellipse inscribed in a pixel box: the pixels
// whose centres lie within the ellipse through the outer pixel edges.
struct EllipseRows {
  double cx, cy, a, b;
  bool Row(int64_t y, int64_t& L, int64_t& R) const {
    if (a <= 0 || b <= 0) return false;
    const double dy = (static_cast<double>(y) - cy) / b;
    const double q = 1.0 - dy * dy;
    if (q < -1e-12) return false;
    const double hw = a * std::sqrt(std::max(q, 0.0));
    L = static_cast<int64_t>(std::ceil(cx - hw - 1e-9));
    R = static_cast<int64_t>(std::floor(cx + hw + 1e-9));
    return L <= R;
  }
};

}  // namespace

// The outline is the pixels of the filled ellipse with a 4-neighbour outside
// it (a thin, 8-connected curve); a wider pen thickens it inwards.
void TCanvas::Ellipse(int X1, int Y1, int X2, int Y2) {
  if (!surface_) return;
  const int64_t l = std::min(X1, X2), r = std::max(X1, X2), t = std::min(Y1, Y2),
                b = std::max(Y1, Y2);
  if (l == r || t == b) return;
  const TRect clip = ClipRect();
  if (IsEmpty(clip)) return;
  const double cx = (static_cast<double>(l) + static_cast<double>(r - 1)) / 2;
  const double cy = (static_cast<double>(t) + static_cast<double>(b - 1)) / 2;
  const EllipseRows outer{cx, cy, static_cast<double>(r - l) / 2, static_cast<double>(b - t) / 2};
  const bool outline = pen_.Style() != psClear;
  const int64_t shrink = outline ? pen_.Width() - 1 : 0;
  const EllipseRows inner{cx, cy, outer.a - static_cast<double>(shrink),
                          outer.b - static_cast<double>(shrink)};
  const bool fill = brush_.Style() != bsClear;
  SpanPainter brush(*surface_, clip, ColorToPixel(brush_.Color()), pen_.Mode());
  SpanPainter pen(*surface_, clip, ColorToPixel(pen_.Color()), pen_.Mode());
  const int64_t y0 = std::max(t, int64_t{clip.Top}), y1 = std::min(b, int64_t{clip.Bottom});
  for (int64_t y = y0; y < y1; ++y) {
    int64_t L, R;
    if (!outer.Row(y, L, R)) continue;
    if (!outline) {
      if (fill) brush.Span(y, L, R + 1);
      continue;
    }
    // Interior: inside the inner ellipse with all 4-neighbours inside too.
    int64_t iL = INT64_MIN, iR = INT64_MAX, a, c;
    bool ok = inner.Row(y, a, c) && y - 1 >= t && y + 1 < b;
    if (ok) {
      iL = a + 1;
      iR = c - 1;
    }
    if (ok && inner.Row(y - 1, a, c)) {
      iL = std::max(iL, a);
      iR = std::min(iR, c);
    } else {
      ok = false;
    }
    if (ok && inner.Row(y + 1, a, c)) {
      iL = std::max(iL, a);
      iR = std::min(iR, c);
    } else {
      ok = false;
    }
    if (!ok || iL > iR) {
      pen.Span(y, L, R + 1);
      continue;
    }
    if (fill) brush.Span(y, iL, iR + 1);
    pen.Span(y, L, iL);
    pen.Span(y, iR + 1, R + 1);
  }
}

void TCanvas::Polygon(const std::vector<TPoint>& Points) {
  if (!surface_ || Points.empty()) return;
  if (brush_.Style() != bsClear && Points.size() >= 3) {
    std::vector<LPoint> pts;
    pts.reserve(Points.size());
    for (const TPoint& p : Points) pts.push_back(LPoint{p.X, p.Y});
    SpanPainter fill(*surface_, ClipRect(), ColorToPixel(brush_.Color()), pen_.Mode());
    FillPolygon(fill, pts.data(), static_cast<int>(pts.size()));
  }
  TPoint saved = penPos_;
  MoveTo(Points[0].X, Points[0].Y);
  for (size_t i = 1; i < Points.size(); ++i) LineTo(Points[i].X, Points[i].Y);
  LineTo(Points[0].X, Points[0].Y);
  penPos_ = saved;
}

void TCanvas::Polyline(const std::vector<TPoint>& Points) {
  if (Points.empty()) return;
  TPoint saved = penPos_;
  MoveTo(Points[0].X, Points[0].Y);
  for (size_t i = 1; i < Points.size(); ++i) LineTo(Points[i].X, Points[i].Y);
  penPos_ = saved;
}

void TCanvas::CopyRect(const TRect& Dest, const TCanvas& Source, const TRect& SourceRect) {
  // Extents in 64 bits: Right - Left of a huge rectangle overflows 32.
  StretchBltWide(*this, Dest.Left, Dest.Top, int64_t{Dest.Right} - Dest.Left,
                 int64_t{Dest.Bottom} - Dest.Top, Source, SourceRect.Left, SourceRect.Top,
                 int64_t{SourceRect.Right} - SourceRect.Left,
                 int64_t{SourceRect.Bottom} - SourceRect.Top, static_cast<uint32_t>(copyMode_));
}

void TCanvas::Draw(int X, int Y, const TGraphic& Graphic) {
  if (Graphic.Empty()) return;
  // A graphic whose far edge lies beyond the 32-bit range starts beyond
  // every surface (no surface is that wide), so nothing would show.
  if (int64_t{X} + Graphic.Width() > INT32_MAX || int64_t{Y} + Graphic.Height() > INT32_MAX) return;
  Graphic.Draw(*this, Bounds(X, Y, Graphic.Width(), Graphic.Height()));
}

void TCanvas::StretchDraw(const TRect& R, const TGraphic& Graphic) {
  if (Graphic.Empty()) return;
  Graphic.Draw(*this, R);
}

}  // namespace marovia
