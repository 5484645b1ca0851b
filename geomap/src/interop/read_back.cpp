// Read-back errors of exports that carry points: the reader's polynomial
// and the measure over a dense grid (see read_back.h).
#include "interop/read_back.h"

#include <GeographicLib/Geodesic.hpp>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "calibration/lsq_solver.h"

namespace marovia {

std::string ReadBackNote(const TReadBackError& E) {
  if (E.Exact) return std::string();
  auto metres = [](double m) {
    char b[64];
    if (!std::isfinite(m)) return std::string("unbounded");
    if (m >= 10000)
      std::snprintf(b, sizeof b, "%.1f km", m / 1000);
    else if (m >= 1)
      std::snprintf(b, sizeof b, "%.1f m", m);
    else
      std::snprintf(b, sizeof b, "%.3f m", m);
    return std::string(b);
  };
  auto pixels = [](double p) {
    char b[64];
    if (!std::isfinite(p)) return std::string("unbounded");
    std::snprintf(b, sizeof b, p >= 10 ? "%.1f px" : "%.3f px", p);
    return std::string(b);
  };
  return "a reader fits " + E.How + ": off by at most " + pixels(E.MaxPixels) + " (" +
         metres(E.MaxMetres) + "), RMS " + pixels(E.RmsPixels) + " (" + metres(E.RmsMetres) + ")";
}

namespace interop {

TPolynomialFit::TPolynomialFit(int Order, const std::vector<TPair>& Pixels,
                               const std::vector<TPair>& Values)
    : order_(std::clamp(Order, 1, 3)) {
  const std::size_t n = Pixels.size();
  const int terms = Terms(order_);
  if (n != Values.size() || n < static_cast<std::size_t>(terms)) return;
  double minX = Pixels[0][0], maxX = minX, minY = Pixels[0][1], maxY = minY;
  for (const TPair& p : Pixels) {
    minX = std::min(minX, p[0]), maxX = std::max(maxX, p[0]);
    minY = std::min(minY, p[1]), maxY = std::max(maxY, p[1]);
  }
  cx_ = (minX + maxX) / 2;
  cy_ = (minY + maxY) / 2;
  scale_ = std::max({(maxX - minX) / 2, (maxY - minY) / 2, 1.0});
  TMatrix design(terms, static_cast<int32_t>(n));
  for (std::size_t i = 0; i < n; ++i) {
    const std::vector<double> b = Basis(Pixels[i][0], Pixels[i][1]);
    for (int t = 0; t < terms; ++t) design.SetVal(t + 1, static_cast<int32_t>(i) + 1, b[t]);
  }
  for (int k = 0; k < 2; ++k) {
    TVector rhs(static_cast<int32_t>(n)), x;
    for (std::size_t i = 0; i < n; ++i) rhs.SetVal(static_cast<int32_t>(i) + 1, Values[i][k]);
    TMatrix work;
    work.Clone(design);
    bool truncated = false;
    if (!SolveLeastSquares(work, rhs, x, nullptr, truncated) || truncated) return;
    coef_[k].resize(static_cast<std::size_t>(terms));
    for (int t = 0; t < terms; ++t) coef_[k][static_cast<std::size_t>(t)] = x.GetVal(t + 1);
  }
  ok_ = true;
}

std::vector<double> TPolynomialFit::Basis(double X, double Y) const {
  const double u = (X - cx_) / scale_, v = (Y - cy_) / scale_;
  std::vector<double> b{1, u, v};
  if (order_ >= 2) b.insert(b.end(), {u * u, u * v, v * v});
  if (order_ >= 3) b.insert(b.end(), {u * u * u, u * u * v, u * v * v, v * v * v});
  return b;
}

TPolynomialFit::TPair TPolynomialFit::operator()(double X, double Y) const {
  const std::vector<double> b = Basis(X, Y);
  TPair r{0, 0};
  for (int k = 0; k < 2; ++k)
    for (std::size_t t = 0; t < b.size(); ++t) r[k] += coef_[k][t] * b[t];
  return r;
}

TReadBackError MeasureReadBack(const TMapCalibration& Cal, const TReaderFunction& Reader,
                               int Grid) {
  const GeographicLib::Geodesic& wgs84 = GeographicLib::Geodesic::WGS84();
  constexpr double kInf = std::numeric_limits<double>::infinity();
  TReadBackError e;
  double sumPx = 0, sumM = 0;
  int n = 0;
  Grid = std::max(Grid, 2);
  for (int j = 0; j < Grid; ++j)
    for (int i = 0; i < Grid; ++i) {
      const double x = static_cast<double>(Cal.ImageWidth()) * i / (Grid - 1);
      const double y = static_cast<double>(Cal.ImageHeight()) * j / (Grid - 1);
      const TPixelPosition g = Cal.PixelToGeo(x, y);
      if (!g.Valid()) continue;
      double lat = 0, lon = 0, px = kInf, m = kInf;
      if (Reader(x, y, lat, lon) && std::isfinite(lat) && std::isfinite(lon) &&
          std::fabs(lat) <= 90) {
        wgs84.Inverse(g.Latit, g.Longit, lat, lon, m);
        // Pixels through the calibration's scale at the pixel, one way only:
        // its way back from positions to pixels is a fit of its own for some
        // models and would add its own misfit.
        const double step = x < Cal.ImageWidth() ? 1 : -1, stepY = y < Cal.ImageHeight() ? 1 : -1;
        const TPixelPosition gx = Cal.PixelToGeo(x + step, y), gy = Cal.PixelToGeo(x, y + stepY);
        double mx = 0, my = 0;
        if (gx.Valid() && gy.Valid()) {
          wgs84.Inverse(g.Latit, g.Longit, gx.Latit, gx.Longit, mx);
          wgs84.Inverse(g.Latit, g.Longit, gy.Latit, gy.Longit, my);
          if (mx > 0 && my > 0) px = m / std::sqrt(mx * my);
        }
      }
      e.MaxPixels = std::max(e.MaxPixels, px);
      e.MaxMetres = std::max(e.MaxMetres, m);
      sumPx += px * px;
      sumM += m * m;
      ++n;
    }
  if (n > 0) {
    e.RmsPixels = std::sqrt(sumPx / n);
    e.RmsMetres = std::sqrt(sumM / n);
  }
  e.Exact = e.MaxPixels < 1e-3;
  return e;
}

int ReaderOrder(std::size_t n) {
  return n >= 6 ? 2 : 1;
}

TReadBackError PolynomialReadBack(const TMapCalibration& Cal,
                                  const std::vector<TGroundPoint>& Points,
                                  const TCrsProjection* Projection, const std::string& FrameName) {
  std::vector<TPolynomialFit::TPair> pixels, values;
  for (const TGroundPoint& p : Points) {
    double e = p.Lon, n = p.Lat;
    if (Projection && !Projection->Forward(p.Lat, p.Lon, e, n)) continue;
    pixels.push_back({p.X, p.Y});
    values.push_back({e, n});
  }
  const TPolynomialFit fit(ReaderOrder(pixels.size()), pixels, values);
  TReadBackError error;
  if (fit.Ok() && pixels.size() == Points.size())
    error = MeasureReadBack(Cal, [&](double x, double y, double& lat, double& lon) {
      const auto v = fit(x, y);
      if (!Projection) {
        lon = v[0], lat = v[1];
        return true;
      }
      return Projection->Inverse(v[0], v[1], lat, lon);
    });
  else
    error = {false, HUGE_VAL, HUGE_VAL, HUGE_VAL, HUGE_VAL, ""};
  error.How = std::string(fit.Order() == 1 ? "an affine polynomial" : "a second-order polynomial") +
              " through " + std::to_string(pixels.size()) + " points in " + FrameName;
  return error;
}

bool BetterReadBack(const TReadBackError& A, const TReadBackError& B) {
  if (A.MaxPixels != B.MaxPixels) return A.MaxPixels < B.MaxPixels;
  return A.RmsPixels < B.RmsPixels;
}

namespace {

// Nodes 0..1 at even steps, or at the Chebyshev-Lobatto points (closer
// together towards both ends).
std::vector<double> Nodes(int N, bool Crowded) {
  std::vector<double> t;
  for (int i = 0; i < N; ++i)
    t.push_back(Crowded ? (1 - std::cos(M_PI * i / (N - 1))) / 2
                        : static_cast<double>(i) / (N - 1));
  return t;
}

std::vector<TGroundPoint> Layout(const TMapCalibration& Cal, const std::vector<double>& U,
                                 const std::vector<double>& V) {
  std::vector<TGroundPoint> points;
  for (double v : V)
    for (double u : U) {
      TGroundPoint p;
      p.X = std::round(Cal.ImageWidth() * u);
      p.Y = std::round(Cal.ImageHeight() * v);
      const TPixelPosition g = Cal.PixelToGeo(p.X, p.Y);
      if (!g.Valid()) continue;
      p.Lat = g.Latit;
      p.Lon = g.Longit;
      points.push_back(p);
    }
  return points;
}

}  // namespace

std::vector<TGroundPoint> GridLayout(const TMapCalibration& Cal, int N, bool Crowded) {
  const std::vector<double> t = Nodes(N, Crowded);
  return Layout(Cal, t, t);
}

std::vector<std::vector<TGroundPoint>> CandidateLayouts(const TMapCalibration& Cal, int MaxPoints,
                                                        int Grid) {
  std::vector<std::vector<TGroundPoint>> layouts;
  Grid = std::max(2, Grid);
  while (Grid * Grid > MaxPoints && Grid > 2) --Grid;
  layouts.push_back(Layout(Cal, Nodes(Grid, false), Nodes(Grid, false)));
  // The longer side of the image gets the extra column or row.
  const bool wide = Cal.ImageWidth() >= Cal.ImageHeight();
  for (int a = 3; a <= 8; ++a)
    for (int b = a; b <= a + 1; ++b) {
      if (a * b > MaxPoints) continue;
      const int nx = wide ? b : a, ny = wide ? a : b;
      for (bool crowded : {false, true})
        layouts.push_back(Layout(Cal, Nodes(nx, crowded), Nodes(ny, crowded)));
    }
  // An inset grid: readers of a few points do best when the points do not
  // all sit on the outline.
  const int n = std::max(2, static_cast<int>(std::sqrt(static_cast<double>(MaxPoints))));
  std::vector<double> inset;
  for (int i = 0; i < n; ++i) inset.push_back((i + 0.5) / n);
  layouts.push_back(Layout(Cal, inset, inset));
  const bool pointModel = Cal.Model() != cmParabolicIp && Cal.Model() != cmUndefined;
  if (pointModel && Cal.Data().NumCalQuads >= 3 &&
      Cal.ControlPoints().size() <= static_cast<std::size_t>(MaxPoints))
    layouts.push_back(CalibrationPoints(Cal));
  return layouts;
}

}  // namespace interop
}  // namespace marovia
