// Overlay strokes, fills, markers and captions (see overlay_paint.h).
#include "render/overlay_paint.h"

#include <algorithm>
#include <cmath>

#include "render/render_pixels.h"

namespace marovia::render {

namespace {

uint32_t Blend(uint32_t Old, uint32_t New, double A) {
  uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const double o = Old >> shift & 0xFF, n = New >> shift & 0xFF;
    out |= static_cast<uint32_t>(std::lround(o + (n - o) * A)) << shift;
  }
  return out;
}

// Remembers a box of the surface and blends what was drawn over it since.
class TTranslucent {
 public:
  TTranslucent(TCanvas& Canvas, int Width, int Height, TRect Box, double Opacity)
      : canvas_(Canvas), opacity_(Opacity) {
    if (opacity_ >= 1 || !Canvas.Surface()) return;
    box_ = SurfaceBox(Canvas, Width, Height, Box);
    TBitmap& s = *Canvas.Surface();
    saved_.reserve(static_cast<std::size_t>(box_.Width()) * box_.Height());
    for (int y = box_.Top; y < box_.Bottom; ++y) {
      const uint32_t* row = s.ScanLine(y);
      saved_.insert(saved_.end(), row + box_.Left, row + box_.Right);
    }
  }
  ~TTranslucent() {
    if (opacity_ >= 1 || !canvas_.Surface()) return;
    TBitmap& s = *canvas_.Surface();
    std::size_t k = 0;
    for (int y = box_.Top; y < box_.Bottom; ++y) {
      uint32_t* row = s.ScanLine(y);
      for (int x = box_.Left; x < box_.Right; ++x, ++k)
        if (row[x] != saved_[k]) row[x] = Blend(saved_[k], row[x], opacity_);
    }
  }
  TTranslucent(const TTranslucent&) = delete;
  TTranslucent& operator=(const TTranslucent&) = delete;

 private:
  TCanvas& canvas_;
  double opacity_;
  TRect box_;
  std::vector<uint32_t> saved_;
};

TRect BoxOf(const std::vector<TViewPath>& Paths, int Grow) {
  double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
  for (const TViewPath& p : Paths)
    for (const TViewPoint& v : p.Points) {
      x0 = std::min(x0, v.X);
      y0 = std::min(y0, v.Y);
      x1 = std::max(x1, v.X);
      y1 = std::max(y1, v.Y);
    }
  if (x0 > x1) return TRect{};
  return TRect{ViewPixel(std::floor(x0)) - Grow, ViewPixel(std::floor(y0)) - Grow,
               ViewPixel(std::ceil(x1)) + Grow + 1, ViewPixel(std::ceil(y1)) + Grow + 1};
}

}  // namespace

// TColor keeps red in its lowest byte.
uint32_t SurfaceWord(TColor C) {
  const auto c = static_cast<uint32_t>(C);
  return (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF);
}

TRect SurfaceBox(const TCanvas& Canvas, int Width, int Height, TRect Box) {
  const TRect clip = Canvas.ClipRect();
  Box.Left = std::max({Box.Left, 0, clip.Left});
  Box.Top = std::max({Box.Top, 0, clip.Top});
  Box.Right = std::min({Box.Right, Width, clip.Right});
  Box.Bottom = std::min({Box.Bottom, Height, clip.Bottom});
  if (Box.Right <= Box.Left || Box.Bottom <= Box.Top) return TRect{};
  return Box;
}

namespace {

// ViewPixel without a branch on the fraction: the points of a line come
// with fractions in no order, and a mispredicted branch per coordinate
// cost more than all the rest of the conversion.
int32_t RoundedPixel(double V) {
  if (!(std::fabs(V) < kPixelLimit)) return ViewPixel(V);
  int64_t r = static_cast<int64_t>(V);  // toward zero
  const double frac = V - static_cast<double>(r);
  const int64_t odd = r & 1;
  r += static_cast<int64_t>(frac > 0.5) | (static_cast<int64_t>(frac == 0.5) & odd);
  r -= static_cast<int64_t>(frac < -0.5) | (static_cast<int64_t>(frac == -0.5) & odd);
  return static_cast<int32_t>(r);
}

// The steps of the canvas's wide solid lines, drawn straight into the
// surface where a segment lies well inside the clip: a line of a million
// one-pixel segments costs its pixels instead of a million canvas calls.
// The pixels are those of TCanvas::LineTo with pen mode copy: at step i
// of n along the major axis the minor coordinate is n0 + floor((2 i dn + n)
// / 2n), a run of Width pixels across it (the extra pixel of an even width
// up or left), the end pixel left out.
class TDirectLines {
 public:
  TDirectLines(TCanvas& Canvas, TColor Color, int Width)
      : lo_(-(std::max(1, Width) / 2)), hi_(lo_ + std::max(1, Width) - 1) {
    TBitmap* s = Canvas.Surface();
    if (!s || !s->Bits()) return;
    bits_ = s->Bits();
    stride_ = s->Width();
    value_ = s->Quantize(s->Quantize(ColorToPixel(Color)));
    const TRect clip = Canvas.ClipRect();
    // Every run of a segment with both ends in here stays within the clip.
    x0_ = int64_t{clip.Left} - lo_;
    y0_ = int64_t{clip.Top} - lo_;
    x1_ = int64_t{clip.Right} - 1 - hi_;
    y1_ = int64_t{clip.Bottom} - 1 - hi_;
  }
  // False when the segment must go through the canvas.
  bool Draw(TPoint A, TPoint B) const {
    if (!bits_ || !Inside(A) || !Inside(B)) return false;
    const int64_t dx = int64_t{B.X} - A.X, dy = int64_t{B.Y} - A.Y;
    if (dx == 0 && dy == 0) return true;
    const bool xMajor = std::abs(dx) > std::abs(dy);
    const int64_t m0 = xMajor ? A.X : A.Y, n0 = xMajor ? A.Y : A.X;
    const int64_t dm = xMajor ? dx : dy, dn = xMajor ? dy : dx;
    const int64_t s = dm > 0 ? 1 : -1, n = dm * s, d = 2 * n, step = 2 * dn;
    int64_t q = 0, r = n;  // floor((2 i dn + n) / 2n) and its remainder at i = 0
    for (int64_t i = 0; i < n; ++i) {
      const int64_t major = m0 + s * i, minor = n0 + q;
      if (xMajor) {
        for (int64_t k = minor + lo_; k <= minor + hi_; ++k) bits_[k * stride_ + major] = value_;
      } else {
        uint32_t* row = bits_ + major * stride_;
        for (int64_t k = minor + lo_; k <= minor + hi_; ++k) row[k] = value_;
      }
      r += step;
      if (r >= d) {
        r -= d;
        ++q;
      } else if (r < 0) {
        r += d;
        --q;
      }
    }
    return true;
  }

 private:
  bool Inside(TPoint P) const { return P.X >= x0_ && P.X <= x1_ && P.Y >= y0_ && P.Y <= y1_; }
  int64_t lo_, hi_;
  uint32_t* bits_ = nullptr;
  int64_t stride_ = 0;
  uint32_t value_ = 0;
  int64_t x0_ = 0, y0_ = 0, x1_ = -1, y1_ = -1;
};

}  // namespace

TPoint CanvasPoint(TViewPoint P) {
  return TPoint{RoundedPixel(P.X), RoundedPixel(P.Y)};
}

void StrokePaths(TCanvas& Canvas, int Width, int Height, const std::vector<TViewPath>& Paths,
                 const TStroke& Stroke) {
  if (Paths.empty() || !(Stroke.Opacity > 0)) return;
  std::vector<TViewPath> cut;
  if (!Stroke.Dash.empty()) cut = DashPaths(Paths, Stroke.Dash);
  const std::vector<TViewPath>& dashed = Stroke.Dash.empty() ? Paths : cut;
  TTranslucent blend(Canvas, Width, Height,
                     Stroke.Opacity < 1 ? BoxOf(dashed, Stroke.Width) : TRect{}, Stroke.Opacity);
  Canvas.Pen().SetMode(pmCopy);
  Canvas.Pen().SetStyle(psSolid);
  Canvas.Pen().SetColor(Stroke.Color);
  Canvas.Pen().SetWidth(std::max(1, Stroke.Width));
  const TDirectLines direct(Canvas, Stroke.Color, std::max(1, Stroke.Width));
  std::vector<TPoint> pts;
  for (const TViewPath& path : dashed) {
    pts.clear();
    for (const TViewPoint& v : path.Points) {
      const TPoint p = CanvasPoint(v);
      if (pts.empty() || p != pts.back()) pts.push_back(p);
    }
    if (pts.size() == 1) pts.push_back(pts.front());
    for (std::size_t i = 1; i < pts.size(); ++i) {
      if (direct.Draw(pts[i - 1], pts[i])) continue;
      Canvas.MoveTo(pts[i - 1].X, pts[i - 1].Y);
      Canvas.LineTo(pts[i].X, pts[i].Y);
    }
    // A lone point still shows as a dot of the pen's width.
    if (pts.size() == 2 && pts[0] == pts[1]) {
      Canvas.MoveTo(pts[0].X, pts[0].Y);
      Canvas.LineTo(pts[0].X + 1, pts[0].Y);
    }
    Canvas.MoveTo(pts.back().X, pts.back().Y);
  }
  Canvas.Pen().SetWidth(1);
}

void FillRings(TCanvas& Canvas, int Width, int Height,
               std::span<const std::vector<TViewPoint>> Rings, std::span<const uint8_t> Hole,
               TColor Color, double Opacity) {
  if (!Canvas.Surface() || !(Opacity > 0)) return;
  std::vector<TViewPath> outline;
  for (const auto& r : Rings) outline.push_back(TViewPath{r, 0});
  const TRect box = SurfaceBox(Canvas, Width, Height, BoxOf(outline, 1));
  if (box.Right <= box.Left) return;
  // The area on a mask of the box: rings white, holes black, in order.
  TBitmap mask;
  mask.SetSize(box.Width(), box.Height());
  TCanvas& m = mask.Canvas();
  m.Brush().SetColor(clBlack);
  m.FillRect(Rect(0, 0, box.Width(), box.Height()));
  m.Pen().SetStyle(psClear);
  std::vector<TPoint> pts;
  for (std::size_t i = 0; i < Rings.size(); ++i) {
    pts.clear();
    for (const TViewPoint& v : Rings[i]) {
      const TPoint p = CanvasPoint(v);
      pts.push_back(TPoint{p.X - box.Left, p.Y - box.Top});
    }
    const bool hole = i < Hole.size() && Hole[i];
    m.Brush().SetColor(hole ? clBlack : clWhite);
    if (pts.size() >= 3) m.Polygon(pts);
  }
  TBitmap& s = *Canvas.Surface();
  const uint32_t fill = SurfaceWord(Color);
  for (int y = box.Top; y < box.Bottom; ++y) {
    const uint32_t* in = mask.ScanLine(y - box.Top);
    uint32_t* row = s.ScanLine(y);
    for (int x = box.Left; x < box.Right; ++x)
      if (in[x - box.Left] & 0xFF) row[x] = Opacity >= 1 ? fill : Blend(row[x], fill, Opacity);
  }
}

TRect DrawMarker(TCanvas& Canvas, TPoint P, int Radius, TColor Fill) {
  const int r = std::max(1, Radius);
  Canvas.Pen().SetMode(pmCopy);
  Canvas.Pen().SetStyle(psSolid);
  Canvas.Pen().SetColor(clWhite);
  Canvas.Pen().SetWidth(std::max(1, r / 3));
  Canvas.Brush().SetStyle(bsSolid);
  Canvas.Brush().SetColor(Fill);
  Canvas.Ellipse(P.X - r, P.Y - r, P.X + r + 1, P.Y + r + 1);
  Canvas.Pen().SetWidth(1);
  const int reach = r + std::max(1, r / 3);
  return Rect(P.X - reach, P.Y - reach, P.X + reach + 1, P.Y + reach + 1);
}

void DrawCaption(TCanvas& Canvas, TOverlayCaptions* Captions, int32_t Owner, const TRect& Symbol,
                 const std::string& Text) {
  if (Text.empty()) return;
  const TSize size = Canvas.TextExtent(Text);
  constexpr int kGap = 2;
  const int32_t midY = Symbol.Top + Symbol.Height() / 2;
  const TRect own = Bounds(Symbol.Right + kGap, midY - size.cy / 2, size.cx, size.cy);
  TRect at = own;
  if (Captions) {
    const auto places = CaptionPositions(own, Symbol, TPoint{size.cx, size.cy}, kGap);
    const int k = Captions->Placer.Place(places, Owner);
    if (k < 0) return;
    at = places[static_cast<std::size_t>(k)];
  }
  Canvas.Brush().SetStyle(bsClear);
  Canvas.TextOut(at.Left, at.Top, Text);
  Canvas.Brush().SetStyle(bsSolid);
}

}  // namespace marovia::render
