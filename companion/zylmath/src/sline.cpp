// TSLine: clipping an infinite line to a rectangle (parametric, one slab
// per axis).
#include "marovia/zylmath/sline.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace marovia {

void TSLine::LineFrom2Points(double x1, double y1, double x2, double y2) {
  px_ = x1;
  py_ = y1;
  dx_ = x2 - x1;
  dy_ = y2 - y1;
  // Far-apart points: only the direction matters, so halve to stay finite.
  if (!std::isfinite(dx_) || !std::isfinite(dy_)) {
    dx_ = x2 / 2 - x1 / 2;
    dy_ = y2 / 2 - y1 / 2;
  }
}

namespace {

// Where the line crosses into and out of the slab lo..hi of one axis, as line
// parameters, and the bound crossed at each. False when the line runs
// parallel to the slab outside it.
struct Slab {
  double tIn = -std::numeric_limits<double>::infinity();
  double tOut = std::numeric_limits<double>::infinity();
  double atIn = 0, atOut = 0;
  bool boundIn = false, boundOut = false;
};

bool Cross(double p, double d, double lo, double hi, Slab& s) {
  if (d == 0) return p >= lo && p <= hi;
  const double tLo = (lo - p) / d;
  const double tHi = (hi - p) / d;
  if (d > 0) {
    s.tIn = tLo, s.atIn = lo, s.tOut = tHi, s.atOut = hi;
  } else {
    s.tIn = tHi, s.atIn = hi, s.tOut = tLo, s.atOut = lo;
  }
  s.boundIn = s.boundOut = true;
  return true;
}

}  // namespace

bool TSLine::ClipBox(double xLo, double yLo, double xHi, double yHi, double& x1, double& y1,
                     double& x2, double& y2) const {
  for (const double v : {xLo, yLo, xHi, yHi, px_, py_, dx_, dy_})
    if (!std::isfinite(v)) return false;
  if (xLo > xHi) std::swap(xLo, xHi);
  if (yLo > yHi) std::swap(yLo, yHi);

  Slab sx, sy;
  if (!Cross(px_, dx_, xLo, xHi, sx) || !Cross(py_, dy_, yLo, yHi, sy)) return false;
  const bool enterByX = sx.tIn >= sy.tIn;
  const bool exitByX = sx.tOut <= sy.tOut;
  const double tIn = enterByX ? sx.tIn : sy.tIn;
  const double tOut = exitByX ? sx.tOut : sy.tOut;
  if (tIn > tOut) return false;

  // A degenerate line has infinite parameters: it is its point.
  auto at = [&](double t, double p, double d) { return std::isfinite(t) ? p + t * d : p; };
  double ax = at(tIn, px_, dx_), ay = at(tIn, py_, dy_);
  double bx = at(tOut, px_, dx_), by = at(tOut, py_, dy_);
  // Put the end points exactly on the bound they cross, and keep rounding
  // from pushing the other coordinate out of the box.
  if (enterByX && sx.boundIn) ax = sx.atIn;
  if (!enterByX && sy.boundIn) ay = sy.atIn;
  if (exitByX && sx.boundOut) bx = sx.atOut;
  if (!exitByX && sy.boundOut) by = sy.atOut;
  x1 = std::clamp(ax, xLo, xHi);
  y1 = std::clamp(ay, yLo, yHi);
  x2 = std::clamp(bx, xLo, xHi);
  y2 = std::clamp(by, yLo, yHi);
  return true;
}

}  // namespace marovia
