// The fits of the point calibration models. Each one is complete on its
// own: it reads the calibration points and writes only its own parameters,
// so calibration files and resizing can call it directly.
//
//   equirectangular / UTM  affine both ways, by least squares (SVD)
//   biquadratic            second-order polynomials both ways (SVD)
//   Miller cylindrical     two straight lines in the projection's terms
//   conic conformal        search for the cone apex, with a line fit for
//                          latitude against radius and longitude against
//                          angle at every candidate
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "calibration/calib_counts.h"
#include "calibration/lsq_solver.h"
#include "calibration/point_models.h"
#include "marovia/geomap/map_calibration.h"
#include "marovia/zylmath/curvefit.h"

namespace marovia {

namespace {

using pointmodel::kPi;

// Least squares of one right-hand side against a design matrix that is
// kept (the solver overwrites its own copy). out is written only when the
// solve succeeds, i.e. was not aborted by the host.
template <size_t N>
void SolveRow(const TMatrix& design, const TVector& rhs, std::array<double, N>& out) {
  TMatrix work;
  work.Clone(design);
  TVector x, stdDev;
  bool truncated = false;
  if (!SolveLeastSquares(work, rhs, x, &stdDev, truncated)) return;
  for (size_t i = 0; i < N; ++i) out[i] = x.GetVal(static_cast<int32_t>(i) + 1);
}

using TPoints = std::vector<TControlPoint>;

// The right-hand side of one quantity of every calibration point.
template <typename Get>
TVector Column(const TPoints& points, Get get) {
  TVector v(static_cast<int32_t>(points.size()));
  for (size_t q = 0; q < points.size(); ++q) v.SetVal(static_cast<int32_t>(q) + 1, get(points[q]));
  return v;
}

// One design matrix row per calibration point, its terms from terms(u, v).
template <size_t N, typename Terms>
TMatrix Design(const TPoints& points, bool fromPixels, Terms terms) {
  TMatrix a(N, static_cast<int32_t>(points.size()));
  for (size_t q = 0; q < points.size(); ++q) {
    const TControlPoint& c = points[q];
    const std::array<double, N> row =
        fromPixels ? terms(c.X, c.Y) : terms(c.LatOrNorthing, c.LongOrEasting);
    for (size_t j = 0; j < N; ++j)
      a.SetVal(static_cast<int32_t>(j) + 1, static_cast<int32_t>(q) + 1, row[j]);
  }
  return a;
}

// Fits rows[0] to the first quantity and rows[1] to the second, against
// the pixels (pixel -> geographic) and against the positions (geographic
// -> pixel).
template <size_t N, typename Terms>
void FitBothWays(const TPoints& points, Terms terms, std::array<std::array<double, N>, 2>& plsp,
                 std::array<std::array<double, N>, 2>& sppl) {
  const TMatrix fromPixels = Design<N>(points, true, terms);
  SolveRow(fromPixels, Column(points, [](const TControlPoint& c) { return c.LatOrNorthing; }),
           plsp[0]);
  SolveRow(fromPixels, Column(points, [](const TControlPoint& c) { return c.LongOrEasting; }),
           plsp[1]);
  const TMatrix fromPositions = Design<N>(points, false, terms);
  SolveRow(fromPositions, Column(points, [](const TControlPoint& c) { return c.X; }), sppl[0]);
  SolveRow(fromPositions, Column(points, [](const TControlPoint& c) { return c.Y; }), sppl[1]);
}

// ---- conic apex search

constexpr double kStartError = 1e10;
constexpr int64_t kFirstStep = 1000000;  // pixels; halved down to 1 (20 levels)

// The calibration points in the terms the candidates need, and scratch
// space for the radius and angle of each (no allocation per candidate).
class ApexSearch {
 public:
  explicit ApexSearch(const TPoints& points)
      : p_(points),
        n_(static_cast<int>(points.size())),
        radius_(points.size()),
        angle_(points.size()) {}

  // Fits latitude to radius and longitude to angle about (p1, p2); the
  // error is the sum of both mean squared residuals. False when the fit
  // gives anything that is not finite.
  bool Evaluate(double p1, double p2, std::array<double, 6>& pars, double& error) {
    double k = 0, d = 0, q = 0;
    fit_.Init();
    for (int i = 0; i < n_; ++i) {
      const double dx = p_[i].X - p1;
      const double dy = p_[i].Y - p2;
      radius_[i] = std::sqrt(dx * dx + dy * dy);
      fit_.EnterStatValue(radius_[i], p_[i].LatOrNorthing);
    }
    fit_.CalcLinFit(k, d, q);
    pars[2] = k;
    pars[3] = d;
    double sumLat = 0;
    for (int i = 0; i < n_; ++i) {
      const double r = p_[i].LatOrNorthing - k * radius_[i] - d;
      sumLat += r * r;
    }

    // Points on the apex row have no angle; they add no longitude error,
    // but the mean is still over all points.
    fit_.Init();
    for (int i = 0; i < n_; ++i) {
      const double dy = p_[i].Y - p2;
      if (dy == 0) continue;
      angle_[i] = std::atan((p_[i].X - p1) / dy);
      fit_.EnterStatValue(angle_[i], p_[i].LongOrEasting);
    }
    fit_.CalcLinFit(k, d, q);
    pars[4] = k;
    pars[5] = d;
    double sumLon = 0;
    for (int i = 0; i < n_; ++i) {
      if (p_[i].Y - p2 == 0) continue;
      const double r = p_[i].LongOrEasting - k * angle_[i] - d;
      sumLon += r * r;
    }

    pars[0] = p1;
    pars[1] = p2;
    error = sumLat / n_ + sumLon / n_;  // RMS_lat^2 + RMS_lon^2
    for (const double p : pars)
      if (!std::isfinite(p)) return false;
    return std::isfinite(error);
  }

 private:
  const TPoints& p_;
  const int n_;
  TCurveFit fit_;
  std::vector<double> radius_;
  std::vector<double> angle_;
};

}  // namespace

void TMapCalibration::FitEquiRect() {
  FEquRectSPPL = {};
  FEquRectPLSP = {};
  const TPoints points = ControlPoints();
  if (points.empty()) return;
  FitBothWays<3>(
      points,
      [](double u, double v) {
        return std::array<double, 3>{1, u, v};
      },
      FEquRectPLSP, FEquRectSPPL);
}

void TMapCalibration::FitBiquadratic() {
  FCalParsPLSP = {};
  FCalParsSPPL = {};
  const TPoints points = ControlPoints();
  if (points.empty()) return;
  FitBothWays<6>(
      points,
      [](double u, double v) { return std::array<double, 6>{1, u, v, u * u, u * v, v * v}; },
      FCalParsPLSP, FCalParsSPPL);
}

void TMapCalibration::FitMillerCyl() {
  const TPoints points = ControlPoints();
  if (points.size() < 3) return;  // the previous parameters stay
  TCurveFit fit;
  double k = 0, d = 0, q = 0;
  for (const TControlPoint& c : points) fit.EnterStatValue(c.LongOrEasting * kPi / 180, c.X);
  fit.CalcLinFit(k, d, q);
  FMillercylPar[1] = {k, d};

  fit.Init();
  for (const TControlPoint& c : points) {
    const double latRad = c.LatOrNorthing * kPi / 180;
    fit.EnterStatValue(std::log(std::tan(0.4 * latRad + kPi / 4)), c.Y);
  }
  fit.CalcLinFit(k, d, q);
  FMillercylPar[0] = {k, d};
}

// Coarse to fine: 25 candidates on a 5 x 5 grid about the best apex so far,
// with the grid step halved from 1000000 pixels down to 1. Candidates reach
// about 4000000 pixels from the points, so every distance is a double.
// With fewer than three points, or when no candidate gives finite
// parameters, the previous parameters stay.
void TMapCalibration::FitConic() {
  const TPoints points = ControlPoints();
  if (points.size() < 3) return;

  // The middle of the points' box, truncated to a whole pixel (the box of
  // whole pixels gives the same as integer halving).
  double minX = FWidth, minY = FHeight, maxX = 0, maxY = 0;
  for (const TControlPoint& c : points) {
    minX = std::min(minX, c.X);
    maxX = std::max(maxX, c.X);
    minY = std::min(minY, c.Y);
    maxY = std::max(maxY, c.Y);
  }
  int64_t cx = static_cast<int64_t>((minX + maxX) / 2);
  int64_t cy = static_cast<int64_t>((minY + maxY) / 2);

  ApexSearch search(points);
  double bestError = kStartError;
  std::array<double, 6> best{};
  bool found = false;
  std::array<double, 6> pars{};
  for (int64_t step = kFirstStep; step > 0; step /= 2) {
    for (int i = -2; i <= 2; ++i) {
      for (int j = -2; j <= 2; ++j) {
        const double p1 = static_cast<double>(cx + step * i);
        const double p2 = static_cast<double>(cy + step * j);
        double error = 0;
        if (search.Evaluate(p1, p2, pars, error) && error < bestError) {
          bestError = error;
          best = pars;
          found = true;
        }
      }
    }
    if (found) {
      // Candidates lie on whole pixels.
      cx = static_cast<int64_t>(best[0]);
      cy = static_cast<int64_t>(best[1]);
    }
  }
  if (found) FConicPars = best;
}

}  // namespace marovia
