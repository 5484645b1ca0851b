// Conversions of the line calibration model over the graticule matrix.
//
// The algorithms are written once over a source of rows: the matrix itself
// for single conversions, or TGraticuleRows, which reads the matrix once
// for a batch. Both run the same arithmetic and give the same bits.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "calibration/graticule_model.h"

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

// A source of rows: Count and Columns of the matrix; ForKind(kind, f)
// calls f(i) for every row whose kind equals kind exactly, in matrix order,
// with an index i from 1 that Value(kind, i) and Row(kind, i) take.

// Rows straight from the matrix (i is the matrix row).
struct MatrixRows {
  const TMatrix& m;
  int32_t Count() const { return m.NrOfRows(); }
  int32_t Columns() const { return m.NrOfColumns(); }
  double Kind(int32_t r) const { return m.GetVal(1, r); }
  template <typename F>
  void ForKind(double kind, F f) const {
    for (int32_t r = 1; r <= m.NrOfRows(); ++r)
      if (m.GetVal(1, r) == kind) f(r);
  }
  double Value(double, int32_t r) const { return m.GetVal(2, r); }
  LineRow Row(double, int32_t r) const {
    return {m.GetVal(1, r), m.GetVal(2, r), m.GetVal(3, r), m.GetVal(4, r), m.GetVal(5, r)};
  }
};

// Rows read out beforehand, parallels and meridians apart (i counts within
// the kind); rows of any other kind are never asked for.
struct CachedRows {
  const std::vector<LineRow>& parallels;
  const std::vector<LineRow>& meridians;
  int32_t count, columns;
  int32_t Count() const { return count; }
  int32_t Columns() const { return columns; }
  const std::vector<LineRow>& Of(double kind) const {
    return kind == kParallel ? parallels : meridians;
  }
  template <typename F>
  void ForKind(double kind, F f) const {
    const int32_t n = static_cast<int32_t>(Of(kind).size());
    for (int32_t i = 1; i <= n; ++i) f(i);
  }
  double Value(double kind, int32_t i) const { return Of(kind)[static_cast<size_t>(i - 1)].value; }
  LineRow Row(double kind, int32_t i) const { return Of(kind)[static_cast<size_t>(i - 1)]; }
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
bool HasTwoOfEachKind(const MatrixRows& m) {
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
  m.ForKind(kind,
            [&](int32_t i) { n.Offer(i, std::fabs(across - Parabola(m.Row(kind, i), along))); });
  if (!n.Found()) return false;
  const LineRow c = m.Row(kind, n.Near());
  const LineRow e = m.Row(kind, n.Second());
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
  m.ForKind(kind, [&](int32_t i) { n.Offer(i, std::fabs(value - m.Value(kind, i))); });
  if (!n.Found()) return false;
  const LineRow f = m.Row(kind, n.Near());
  const LineRow g = m.Row(kind, n.Second());
  const double share = (value - g.value) / (f.value - g.value);
  out = {kind, value, g.a0 + (f.a0 - g.a0) * share, g.a1 + (f.a1 - g.a1) * share,
         g.a2 + (f.a2 - g.a2) * share};
  return std::isfinite(out.a0) && std::isfinite(out.a1) && std::isfinite(out.a2);
}

// The parabolas of a position's parallel and meridian.
template <typename Rows>
bool Parabolas(const Rows& m, double Lat, double Long, LineRow& parallel, LineRow& meridian) {
  if (m.Count() < 4 || m.Columns() < 5) return false;
  return InterpolateParabola(m, kMeridian, Long, meridian) &&
         InterpolateParabola(m, kParallel, Lat, parallel);
}

template <typename Rows>
bool PixelOf(const Rows& m, double Lat, double Long, double& X, double& Y) {
  LineRow parallel, meridian;
  if (!Parabolas(m, Lat, Long, parallel, meridian)) return false;
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

TGraticuleRows::TGraticuleRows(const TMatrix& Grat)
    : count_(Grat.NrOfRows()), columns_(Grat.NrOfColumns()) {
  if (columns_ < 5) return;  // no row can be read; every conversion fails
  const MatrixRows m{Grat};
  m.ForKind(kParallel, [&](int32_t r) { parallels_.push_back(m.Row(kParallel, r)); });
  m.ForKind(kMeridian, [&](int32_t r) { meridians_.push_back(m.Row(kMeridian, r)); });
  twoOfEach_ = HasTwoOfEachKind(m);
}

bool TGraticuleRows::Latitude(double x, double y, double& Lat) const {
  return Interpolate(CachedRows{parallels_, meridians_, count_, columns_}, twoOfEach_, kParallel, x,
                     y, Lat);
}

bool TGraticuleRows::Longitude(double x, double y, double& Long) const {
  return Interpolate(CachedRows{parallels_, meridians_, count_, columns_}, twoOfEach_, kMeridian, y,
                     x, Long);
}

bool TGraticuleRows::Pixel(double Lat, double Long, double& X, double& Y) const {
  return PixelOf(CachedRows{parallels_, meridians_, count_, columns_}, Lat, Long, X, Y);
}

// The iteration of many points in lockstep: each pass of every point
// depends on its previous pass, so one point alone waits on a chain of 30
// multiply-adds; side by side, the points' chains overlap (and vectorise).
// Each point's arithmetic is the single point's. A point that diverges is
// marked and computed on to the end, which changes nothing for it: the
// single form gives up at that pass, and so does this one in effect.
void TGraticuleRows::Pixels(std::size_t n, const double* Lat, const double* Long, double* X,
                            double* Y, uint8_t* Ok) const {
  constexpr std::size_t kLanes = 64;
  const CachedRows m{parallels_, meridians_, count_, columns_};
  for (std::size_t base = 0; base < n; base += kLanes) {
    const std::size_t k = std::min(kLanes, n - base);
    double p0[kLanes], p1[kLanes], p2[kLanes], m0[kLanes], m1[kLanes], m2[kLanes];
    double xs[kLanes], ys[kLanes];
    bool live[kLanes], diverged[kLanes];
    for (std::size_t i = 0; i < k; ++i) {
      LineRow parallel{}, meridian{};
      live[i] = Parabolas(m, Lat[base + i], Long[base + i], parallel, meridian);
      p0[i] = parallel.a0;
      p1[i] = parallel.a1;
      p2[i] = parallel.a2;
      m0[i] = meridian.a0;
      m1[i] = meridian.a1;
      m2[i] = meridian.a2;
      xs[i] = kStartX;
      ys[i] = 0;
      diverged[i] = false;
    }
    for (int pass = 0; pass < kPixelPasses; ++pass) {
      for (std::size_t i = 0; i < k; ++i) {
        const double x = xs[i];
        const double y = p0[i] + p1[i] * x + p2[i] * (x * x);
        const double nx = m0[i] + m1[i] * y + m2[i] * (y * y);
        diverged[i] = diverged[i] || (std::fabs(nx) > kDiverged && std::fabs(y) > kDiverged);
        xs[i] = nx;
        ys[i] = y;
      }
    }
    for (std::size_t i = 0; i < k; ++i) {
      const bool good = live[i] && !diverged[i] && std::isfinite(xs[i]) && std::isfinite(ys[i]);
      Ok[base + i] = good;
      X[base + i] = good ? xs[i] : 0.0;
      Y[base + i] = good ? ys[i] : 0.0;
    }
  }
}

}  // namespace marovia
