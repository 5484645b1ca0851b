// Conversions of the line calibration model over the graticule matrix.
//
// The algorithms are written once over a source of rows: the matrix itself
// for single conversions, or TGraticuleRows, which reads the matrix once
// for a batch. Both run the same arithmetic and give the same bits.
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

using LineRow = TGraticuleRows::TRow;

// Rows straight from the matrix (rows from 1).
struct MatrixRows {
  const TMatrix& m;
  int32_t Count() const { return m.NrOfRows(); }
  int32_t Columns() const { return m.NrOfColumns(); }
  double Kind(int32_t r) const { return m.GetVal(1, r); }
  double Value(int32_t r) const { return m.GetVal(2, r); }
  LineRow Row(int32_t r) const {
    return {m.GetVal(1, r), m.GetVal(2, r), m.GetVal(3, r), m.GetVal(4, r), m.GetVal(5, r)};
  }
};

// Rows read out beforehand (rows from 1 are [0..]).
struct CachedRows {
  const std::vector<LineRow>& rows;
  int32_t columns;
  int32_t Count() const { return static_cast<int32_t>(rows.size()); }
  int32_t Columns() const { return columns; }
  double Kind(int32_t r) const { return rows[static_cast<size_t>(r - 1)].kind; }
  double Value(int32_t r) const { return rows[static_cast<size_t>(r - 1)].value; }
  LineRow Row(int32_t r) const { return rows[static_cast<size_t>(r - 1)]; }
};

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
template <typename Rows>
bool HasTwoOfEachKind(const Rows& m) {
  if (m.Columns() < 5) return false;
  int parallels = 0, meridians = 0;
  for (int32_t r = 1; r <= m.Count(); ++r) {
    const double k = m.Kind(r);
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
// twoOfEach: HasTwoOfEachKind(m), which a batch answers once.
template <typename Rows>
bool Interpolate(const Rows& m, bool twoOfEach, double kind, double along, double across,
                 double& value) {
  if (!twoOfEach) return false;
  NearestTwo n;
  for (int32_t r = 1; r <= m.Count(); ++r) {
    const LineRow l = m.Row(r);
    if (l.kind == kind) n.Offer(r, std::fabs(across - Parabola(l, along)));
  }
  if (!n.Found()) return false;
  const LineRow c = m.Row(n.Near());
  const LineRow e = m.Row(n.Second());
  const double pc = Parabola(c, along);
  const double pe = Parabola(e, along);
  if (std::fabs(pc - pe) < kLinesMeet) return false;
  value = e.value + (c.value - e.value) * (across - pe) / (pc - pe);
  return std::isfinite(value);
}

// The parabola of a line of the given value, interpolated between the two
// rows of that kind whose values are nearest.
template <typename Rows>
bool InterpolateParabola(const Rows& m, double kind, double value, LineRow& out) {
  NearestTwo n;
  for (int32_t r = 1; r <= m.Count(); ++r) {
    if (m.Kind(r) == kind) n.Offer(r, std::fabs(value - m.Value(r)));
  }
  if (!n.Found()) return false;
  const LineRow f = m.Row(n.Near());
  const LineRow g = m.Row(n.Second());
  const double share = (value - g.value) / (f.value - g.value);
  out = {kind, value, g.a0 + (f.a0 - g.a0) * share, g.a1 + (f.a1 - g.a1) * share,
         g.a2 + (f.a2 - g.a2) * share};
  return std::isfinite(out.a0) && std::isfinite(out.a1) && std::isfinite(out.a2);
}

template <typename Rows>
bool PixelOf(const Rows& m, double Lat, double Long, double& X, double& Y) {
  if (m.Count() < 4 || m.Columns() < 5) return false;
  LineRow parallel, meridian;
  if (!InterpolateParabola(m, kMeridian, Long, meridian) ||
      !InterpolateParabola(m, kParallel, Lat, parallel))
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

}  // namespace

bool GratLatitude(const TMatrix& Grat, double x, double y, double& Lat) {
  const MatrixRows m{Grat};
  return Interpolate(m, HasTwoOfEachKind(m), kParallel, x, y, Lat);
}

bool GratLongitude(const TMatrix& Grat, double x, double y, double& Long) {
  const MatrixRows m{Grat};
  return Interpolate(m, HasTwoOfEachKind(m), kMeridian, y, x, Long);
}

bool GratPixel(const TMatrix& Grat, double Lat, double Long, double& X, double& Y) {
  return PixelOf(MatrixRows{Grat}, Lat, Long, X, Y);
}

TGraticuleRows::TGraticuleRows(const TMatrix& Grat) : columns_(Grat.NrOfColumns()) {
  if (columns_ < 5) return;  // no row can be read; every conversion fails
  rows_.reserve(static_cast<size_t>(Grat.NrOfRows()));
  for (int32_t r = 1; r <= Grat.NrOfRows(); ++r) rows_.push_back(MatrixRows{Grat}.Row(r));
  twoOfEach_ = HasTwoOfEachKind(CachedRows{rows_, columns_});
}

bool TGraticuleRows::Latitude(double x, double y, double& Lat) const {
  return Interpolate(CachedRows{rows_, columns_}, twoOfEach_, kParallel, x, y, Lat);
}

bool TGraticuleRows::Longitude(double x, double y, double& Long) const {
  return Interpolate(CachedRows{rows_, columns_}, twoOfEach_, kMeridian, y, x, Long);
}

bool TGraticuleRows::Pixel(double Lat, double Long, double& X, double& Y) const {
  return PixelOf(CachedRows{rows_, columns_}, Lat, Long, X, Y);
}

}  // namespace marovia
