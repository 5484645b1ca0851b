// Landmark symbols: the canvas calls that draw each shape.
//
// Coordinates are computed in 64 bits and saturated to the 32-bit range the
// canvas takes, so a huge Size or Length draws a clipped figure instead of
// overflowing.
#include "marovia/geomap/symbol_drawing.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "marovia/platform/sysutils.h"

namespace marovia {

namespace {

int32_t Sat(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// Canvas calls with 64-bit arguments.
struct Pen {
  TCanvas& c;
  void Color(TColor col) { c.Pen().SetColor(col); }
  void Brush(TColor col) { c.Brush().SetColor(col); }
  void MoveTo(int64_t x, int64_t y) { c.MoveTo(Sat(x), Sat(y)); }
  void LineTo(int64_t x, int64_t y) { c.LineTo(Sat(x), Sat(y)); }
  void MoveTo(const TPoint& p) { c.MoveTo(p.X, p.Y); }
  void LineTo(const TPoint& p) { c.LineTo(p.X, p.Y); }
  void Rectangle(int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
    c.Rectangle(Sat(x1), Sat(y1), Sat(x2), Sat(y2));
  }
  void Ellipse(int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
    c.Ellipse(Sat(x1), Sat(y1), Sat(x2), Sat(y2));
  }
  void Polygon(std::initializer_list<TPoint> pts) { c.Polygon(std::vector<TPoint>(pts)); }
};

TPoint P(int64_t x, int64_t y) {
  return TPoint{Sat(x), Sat(y)};
}

// Rounding of a finite double to a saturated 32-bit value (halves to even).
int64_t R(double v) {
  constexpr double kLimit = 4.0e18;  // well inside int64_t
  return Round(std::clamp(v, -kLimit, kLimit));
}

// The closed square outline x-s..x+s, y-s..y+s, starting and ending at the
// top-left corner.
void SquareOutline(Pen& p, int64_t x, int64_t y, int64_t s) {
  p.MoveTo(x - s, y - s);
  p.LineTo(x - s, y + s);
  p.LineTo(x + s, y + s);
  p.LineTo(x + s, y - s);
  p.LineTo(x - s, y - s);
}

// One symbol's parameters: the anchor, S and L widened to 64 bits, the
// direction in radians.
struct Symbol {
  int64_t X, Y, S, L;
  double Phi;
  TColor FG, BG;
  bool Transparent;

  // The point at distance r in direction a (radians, clockwise from up).
  TPoint D(double r, double a) const {
    return P(R(std::sin(a) * r + static_cast<double>(X)),
             R(std::cos(a) * (-r) + static_cast<double>(Y)));
  }
};

constexpr double kDeg20 = 20.0 / 180.0 * std::numbers::pi;
constexpr double kDeg120 = 120.0 / 180.0 * std::numbers::pi;

// The one-pixel halo of the plus and the diagonal cross: the figure drawn
// nine times, shifted by -1..1 both ways, in the background colour.
template <typename Figure>
void Halo(Pen& p, const Symbol& y, Figure&& F) {
  if (y.Transparent) return;
  p.Color(y.BG);
  for (int i = -1; i <= 1; ++i)
    for (int j = -1; j <= 1; ++j) F(i, j);
}

void DrawPlus(Pen& p, const Symbol& y) {
  const int64_t X = y.X, Y = y.Y, S = y.S;
  Halo(p, y, [&](int i, int j) {
    p.MoveTo(X + i, Y + j - S);
    p.LineTo(X + i, Y + j + S + 1);
    p.MoveTo(X + i - S, Y + j);
    p.LineTo(X + i + S + 1, Y + j);
  });
  p.Color(y.FG);
  p.MoveTo(X, Y - S);
  p.LineTo(X, Y + S + 1);
  p.MoveTo(X - S, Y);
  p.LineTo(X + S + 1, Y);
}

// The square, and the box of the cross box: a background ring around a
// filled square outlined in the foreground colour (or the outline alone).
void DrawBox(Pen& p, const Symbol& y) {
  const int64_t X = y.X, Y = y.Y, S = y.S;
  if (y.Transparent) {
    p.Color(y.FG);
    SquareOutline(p, X, Y, S);
    return;
  }
  p.Color(y.BG);
  SquareOutline(p, X, Y, S);
  p.Color(y.FG);
  p.Brush(y.BG);
  p.Rectangle(X - S + 1, Y - S + 1, X + S, Y + S);
}

void DrawCrossBox(Pen& p, const Symbol& y) {
  const int64_t X = y.X, Y = y.Y, S = y.S;
  DrawBox(p, y);
  if (y.Transparent) {
    // On from the outline's end at the top-left corner.
    p.LineTo(X + S, Y + S);
    p.MoveTo(X - S, Y + S);
    p.LineTo(X + S, Y - S);
  } else {
    p.MoveTo(X - S + 1, Y + S - 1);
    p.LineTo(X + S, Y - S);
    p.MoveTo(X + S - 1, Y + S - 1);
    p.LineTo(X - S, Y - S);
  }
}

// A closed figure: outlined through its points, or a filled polygon.
void DrawFigure(Pen& p, const Symbol& y, std::initializer_list<TPoint> Outline,
                std::initializer_list<TPoint> Filled) {
  p.Color(y.FG);
  p.Brush(y.BG);
  if (!y.Transparent) {
    p.Polygon(Filled);
    return;
  }
  bool first = true;
  for (const TPoint& q : Outline) {
    if (first)
      p.MoveTo(q);
    else
      p.LineTo(q);
    first = false;
  }
}

void DrawTriangle(Pen& p, const Symbol& y) {
  const double s = static_cast<double>(y.S);
  const TPoint p1 = y.D(s, y.Phi), p2 = y.D(s, y.Phi + kDeg120), p3 = y.D(s, y.Phi - kDeg120);
  DrawFigure(p, y, {p1, p2, p3, p1}, {p1, p2, p3});
}

void DrawSpade(Pen& p, const Symbol& y) {
  const int64_t X = y.X, Y = y.Y, S = y.S;
  const TPoint top = P(X, Y - S), right = P(X + S, Y), bottom = P(X, Y + S), left = P(X - S, Y);
  DrawFigure(p, y, {top, right, bottom, left, top}, {right, bottom, left, top});
}

void DrawCircle(Pen& p, TCanvas& Canvas, const Symbol& y) {
  p.Color(y.FG);
  p.Brush(y.BG);
  if (y.Transparent) Canvas.Brush().SetStyle(bsClear);
  p.Ellipse(y.X - y.S, y.Y - y.S, y.X + y.S, y.Y + y.S);
}

// An arrow: the shaft between the anchor and the point at L, the barbs S
// long at +-20 degrees at the head (the far end for lmArrowFrom, the anchor
// for lmArrowTo), outlined or filled.
void DrawArrow(Pen& p, const Symbol& y, bool AwayFromAnchor) {
  p.Color(y.FG);
  p.Brush(y.BG);
  const TPoint far = y.D(static_cast<double>(y.L), y.Phi);
  const TPoint anchor = P(y.X, y.Y);
  const TPoint head = AwayFromAnchor ? far : anchor;
  p.MoveTo(AwayFromAnchor ? anchor : far);
  p.LineTo(head);
  // Barbs point back along the shaft: away from the head.
  const double s = static_cast<double>(y.S);
  const int64_t sign = AwayFromAnchor ? -1 : 1;
  auto barb = [&](double a) {
    return P(head.X + sign * R(s * std::sin(a)), head.Y - sign * R(s * std::cos(a)));
  };
  const TPoint b1 = barb(y.Phi + kDeg20), b2 = barb(y.Phi - kDeg20);
  if (y.Transparent) {
    p.LineTo(b1);
    p.MoveTo(head);
    p.LineTo(b2);
  } else {
    p.Polygon({head, b1, b2});
  }
}

void DrawDiagonalCross(Pen& p, const Symbol& y) {
  const int64_t X = y.X, Y = y.Y, S = y.S;
  Halo(p, y, [&](int i, int j) {
    p.MoveTo(X + S + i, Y + j - S);
    p.LineTo(X - S + i - 1, Y + j + S + 1);
    p.MoveTo(X + i - S, Y - S + j);
    p.LineTo(X + i + S + 1, Y + S + j + 1);
  });
  p.Color(y.FG);
  p.MoveTo(X - S, Y - S);
  p.LineTo(X + S + 1, Y + S + 1);
  p.MoveTo(X - S, Y + S);
  p.LineTo(X + S + 1, Y - S - 1);
}

// A value outside the enumeration: a small fixed plus.
void DrawUnknown(Pen& p, const Symbol& y) {
  p.Color(y.FG);
  p.MoveTo(y.X - 4, y.Y);
  p.LineTo(y.X + 5, y.Y);
  p.MoveTo(y.X, y.Y - 4);
  p.LineTo(y.X, y.Y + 5);
}

}  // namespace

void DrawLandMarkSymbolOnCanvas(TCanvas& Canvas, int32_t x, int32_t y, TLandMarkElement Kind,
                                TColor FGColor, TColor BGColor, int32_t Size, int32_t Direction,
                                int32_t Length, bool Transparent) {
  Pen p{Canvas};
  const Symbol sym{x,       y,       Size,       Length, Direction / 180.0 * std::numbers::pi,
                   FGColor, BGColor, Transparent};
  switch (Kind) {
    case lmPlus:
      return DrawPlus(p, sym);
    case lmSquare:
      return DrawBox(p, sym);
    case lmTriangle:
      return DrawTriangle(p, sym);
    case lmCircle:
      return DrawCircle(p, Canvas, sym);
    case lmArrowFrom:
      return DrawArrow(p, sym, true);
    case lmArrowTo:
      return DrawArrow(p, sym, false);
    case lmCrossBox:
      return DrawCrossBox(p, sym);
    case lmSpade:
      return DrawSpade(p, sym);
    case lmCross:
      return DrawDiagonalCross(p, sym);
    case lmUserDef:
      return;  // the host draws these symbols itself
  }
  DrawUnknown(p, sym);
}

}  // namespace marovia
