// Conversions of the line calibration model over the graticule matrix.
#include <cmath>
#include <cstdint>

#include "graticule_model.h"

namespace marovia {

namespace {

constexpr double kParallel = 1.0;
constexpr double kMeridian = 0.0;
constexpr double kFar = 1e20;  // larger than any distance that counts
constexpr int kPixelPasses = 15;
constexpr double kStartX = 500;
constexpr double kDiverged = 50000;
// Two lines closer than this (pixels) where a pixel is interpolated between
// them meet there: the interpolation would divide by rounding noise.
constexpr double kLinesMeet = 1e-6;

struct LineRow {
  double kind, value, a0, a1, a2;
};

LineRow Row(const TMatrix& m, int32_t r) {
  return {m.GetVal(1, r), m.GetVal(2, r), m.GetVal(3, r), m.GetVal(4, r), m.GetVal(5, r)};
}

double Parabola(const LineRow& l, double t) {
  return l.a0 + l.a1 * t + l.a2 * (t * t);
}

// The two rows nearest to something. A closer row pushes the nearest to
// second place; rows at kFar or beyond, and NaN distances, never count.
class NearestTwo {
 public:
  void Offer(int32_t row, double d) {
    if (d < dNear_) {
      second_ = near_;
      dSecond_ = dNear_;
      near_ = row;
      dNear_ = d;
    } else if (d < dSecond_) {
      second_ = row;
      dSecond_ = d;
    }
  }
  bool Found() const { return near_ > 0 && second_ > 0; }
  int32_t Near() const { return near_; }
  int32_t Second() const { return second_; }

 private:
  int32_t near_ = 0, second_ = 0;  // rows from 1; 0 for none
  double dNear_ = kFar, dSecond_ = kFar;
};

// Both kinds must have at least two rows, counted by the rounded kind.
bool HasTwoOfEachKind(const TMatrix& m) {
  if (m.NrOfColumns() < 5) return false;
  int parallels = 0, meridians = 0;
  for (int32_t r = 1; r <= m.NrOfRows(); ++r) {
    const double k = m.GetVal(1, r);
    if (k > 0.5 && k < 1.5) {
      ++parallels;
    } else if (k >= -0.5 && k <= 0.5) {
      ++meridians;
    }
  }
  return parallels > 1 && meridians > 1;
}

// Interpolates the line values of the two rows nearest to the pixel, where
// a parallel's distance is vertical (along = x, across = y) and a
// meridian's horizontal (along = y, across = x).
bool Interpolate(const TMatrix& m, double kind, double along, double across, double& value) {
  if (!HasTwoOfEachKind(m)) return false;
  NearestTwo n;
  for (int32_t r = 1; r <= m.NrOfRows(); ++r) {
    const LineRow l = Row(m, r);
    if (l.kind == kind) n.Offer(r, std::fabs(across - Parabola(l, along)));
  }
  if (!n.Found()) return false;
  const LineRow c = Row(m, n.Near());
  const LineRow e = Row(m, n.Second());
  const double pc = Parabola(c, along);
  const double pe = Parabola(e, along);
  if (std::fabs(pc - pe) < kLinesMeet) return false;
  value = e.value + (c.value - e.value) * (across - pe) / (pc - pe);
  return std::isfinite(value);
}

// The parabola of a line of the given value, interpolated between the two
// rows of that kind whose values are nearest.
bool InterpolateParabola(const TMatrix& m, double kind, double value, LineRow& out) {
  NearestTwo n;
  for (int32_t r = 1; r <= m.NrOfRows(); ++r) {
    if (m.GetVal(1, r) == kind) n.Offer(r, std::fabs(value - m.GetVal(2, r)));
  }
  if (!n.Found()) return false;
  const LineRow f = Row(m, n.Near());
  const LineRow g = Row(m, n.Second());
  const double share = (value - g.value) / (f.value - g.value);
  out = {kind, value, g.a0 + (f.a0 - g.a0) * share, g.a1 + (f.a1 - g.a1) * share,
         g.a2 + (f.a2 - g.a2) * share};
  return std::isfinite(out.a0) && std::isfinite(out.a1) && std::isfinite(out.a2);
}

}  // namespace

bool GratLatitude(const TMatrix& Grat, double x, double y, double& Lat) {
  return Interpolate(Grat, kParallel, x, y, Lat);
}

bool GratLongitude(const TMatrix& Grat, double x, double y, double& Long) {
  return Interpolate(Grat, kMeridian, y, x, Long);
}

bool GratPixel(const TMatrix& Grat, double Lat, double Long, double& X, double& Y) {
  if (Grat.NrOfRows() < 4 || Grat.NrOfColumns() < 5) return false;
  LineRow parallel, meridian;
  if (!InterpolateParabola(Grat, kMeridian, Long, meridian) ||
      !InterpolateParabola(Grat, kParallel, Lat, parallel))
    return false;
  // Every pass runs; there is no convergence test of its own.
  double x = kStartX, y = 0;
  for (int pass = 0; pass < kPixelPasses; ++pass) {
    y = Parabola(parallel, x);
    x = Parabola(meridian, y);
    if (std::fabs(x) > kDiverged && std::fabs(y) > kDiverged) return false;
  }
  if (!std::isfinite(x) || !std::isfinite(y)) return false;
  X = x;
  Y = y;
  return true;
}

}  // namespace marovia
