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

}  // namespace

void DrawLandMarkSymbolOnCanvas(TCanvas& Canvas, int32_t x, int32_t y, TLandMarkElement Kind,
                                TColor FGColor, TColor BGColor, int32_t Size, int32_t Direction,
                                int32_t Length, bool Transparent) {
  Pen p{Canvas};
  const int64_t X = x, Y = y, S = Size, L = Length;
  const double phi = Direction / 180.0 * std::numbers::pi;
  const double deg20 = 20.0 / 180.0 * std::numbers::pi;
  const double deg120 = 120.0 / 180.0 * std::numbers::pi;
  // The point at distance r in direction a (radians, clockwise from up).
  auto D = [&](double r, double a) {
    return P(R(std::sin(a) * r + static_cast<double>(X)),
             R(std::cos(a) * (-r) + static_cast<double>(Y)));
  };

  switch (Kind) {
    case lmPlus:
      if (!Transparent) {
        p.Color(BGColor);
        for (int i = -1; i <= 1; ++i)
          for (int j = -1; j <= 1; ++j) {
            p.MoveTo(X + i, Y + j - S);
            p.LineTo(X + i, Y + j + S + 1);
            p.MoveTo(X + i - S, Y + j);
            p.LineTo(X + i + S + 1, Y + j);
          }
      }
      p.Color(FGColor);
      p.MoveTo(X, Y - S);
      p.LineTo(X, Y + S + 1);
      p.MoveTo(X - S, Y);
      p.LineTo(X + S + 1, Y);
      return;

    case lmSquare:
      if (Transparent) {
        p.Color(FGColor);
        SquareOutline(p, X, Y, S);
      } else {
        p.Color(BGColor);
        SquareOutline(p, X, Y, S);
        p.Color(FGColor);
        p.Brush(BGColor);
        p.Rectangle(X - S + 1, Y - S + 1, X + S, Y + S);
      }
      return;

    case lmTriangle: {
      const TPoint p1 = D(static_cast<double>(S), phi);
      const TPoint p2 = D(static_cast<double>(S), phi + deg120);
      const TPoint p3 = D(static_cast<double>(S), phi - deg120);
      p.Color(FGColor);
      p.Brush(BGColor);
      if (Transparent) {
        p.MoveTo(p1);
        p.LineTo(p2);
        p.LineTo(p3);
        p.LineTo(p1);
      } else {
        p.Polygon({p1, p2, p3});
      }
      return;
    }

    case lmCircle:
      p.Color(FGColor);
      p.Brush(BGColor);
      if (Transparent) Canvas.Brush().SetStyle(bsClear);
      p.Ellipse(X - S, Y - S, X + S, Y + S);
      return;

    case lmArrowFrom: {
      p.Color(FGColor);
      p.Brush(BGColor);
      const TPoint t = D(static_cast<double>(L), phi);
      p.MoveTo(X, Y);
      p.LineTo(t);
      const double s = static_cast<double>(S);
      const TPoint b1 = P(t.X - R(s * std::sin(phi + deg20)), t.Y + R(s * std::cos(phi + deg20)));
      const TPoint b2 = P(t.X - R(s * std::sin(phi - deg20)), t.Y + R(s * std::cos(phi - deg20)));
      if (Transparent) {
        p.LineTo(b1);
        p.MoveTo(t);
        p.LineTo(b2);
      } else {
        p.Polygon({t, b1, b2});
      }
      return;
    }

    case lmArrowTo: {
      p.Color(FGColor);
      p.Brush(BGColor);
      const TPoint t = D(static_cast<double>(L), phi);
      p.MoveTo(t);
      p.LineTo(X, Y);
      const double s = static_cast<double>(S);
      const TPoint b1 = P(X + R(s * std::sin(phi + deg20)), Y - R(s * std::cos(phi + deg20)));
      const TPoint b2 = P(X + R(s * std::sin(phi - deg20)), Y - R(s * std::cos(phi - deg20)));
      if (Transparent) {
        p.LineTo(b1);
        p.MoveTo(X, Y);
        p.LineTo(b2);
      } else {
        p.Polygon({P(X, Y), b1, b2});
      }
      return;
    }

    case lmCrossBox:
      if (Transparent) {
        p.Color(FGColor);
        SquareOutline(p, X, Y, S);
        p.LineTo(X + S, Y + S);
        p.MoveTo(X - S, Y + S);
        p.LineTo(X + S, Y - S);
      } else {
        p.Color(BGColor);
        SquareOutline(p, X, Y, S);
        p.Color(FGColor);
        p.Brush(BGColor);
        p.Rectangle(X - S + 1, Y - S + 1, X + S, Y + S);
        p.MoveTo(X - S + 1, Y + S - 1);
        p.LineTo(X + S, Y - S);
        p.MoveTo(X + S - 1, Y + S - 1);
        p.LineTo(X - S, Y - S);
      }
      return;

    case lmSpade:
      p.Color(FGColor);
      p.Brush(BGColor);
      if (Transparent) {
        p.MoveTo(X, Y - S);
        p.LineTo(X + S, Y);
        p.LineTo(X, Y + S);
        p.LineTo(X - S, Y);
        p.LineTo(X, Y - S);
      } else {
        p.Polygon({P(X + S, Y), P(X, Y + S), P(X - S, Y), P(X, Y - S)});
      }
      return;

    case lmCross:
      if (!Transparent) {
        p.Color(BGColor);
        for (int i = -1; i <= 1; ++i)
          for (int j = -1; j <= 1; ++j) {
            p.MoveTo(X + S + i, Y + j - S);
            p.LineTo(X - S + i - 1, Y + j + S + 1);
            p.MoveTo(X + i - S, Y - S + j);
            p.LineTo(X + i + S + 1, Y + S + j + 1);
          }
      }
      p.Color(FGColor);
      p.MoveTo(X - S, Y - S);
      p.LineTo(X + S + 1, Y + S + 1);
      p.MoveTo(X - S, Y + S);
      p.LineTo(X + S + 1, Y - S - 1);
      return;

    case lmUserDef:
      // The host draws these symbols itself.
      return;
  }

  // A value outside the enumeration: a small fixed plus.
  p.Color(FGColor);
  p.MoveTo(X - 4, Y);
  p.LineTo(X + 5, Y);
  p.MoveTo(X, Y - 4);
  p.LineTo(X, Y + 5);
}

}  // namespace marovia
