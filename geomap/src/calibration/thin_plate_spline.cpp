// Thin-plate spline: fit by a dense LU solve of the bordered kernel system,
// evaluation through the vectorised kernel sums.
#include "calibration/thin_plate_spline.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numeric>
#include <stdexcept>

#include "calibration/thin_plate_kernel.h"

namespace marovia {
namespace {

// Points whose spread across their best line is below this share of the
// total (in the normalised coordinates, where the total is 1) count as
// collinear: the affine part is then undetermined.
constexpr double kCollinearShare = 1e-12;

// Points converted per kernel call in a batch (the normalised input is
// staged on the stack).
constexpr std::size_t kBatchChunk = 256;

double Phi(double d2) {
  return d2 > 0 ? d2 * std::log(d2) : 0.0;
}

// Dense row-major matrix of order m with two right-hand sides, solved in
// place by LU decomposition with partial pivoting. False when a pivot is
// negligible beside the largest entry of its column in the original matrix
// (singular or nearly so). Measuring each column on its own keeps the
// bordered system of a heavily smoothed spline, whose affine columns are
// tiny beside the smoothing on the diagonal, from counting as singular.
bool SolveDense(std::vector<double>& a, std::size_t m, std::vector<double>& b0,
                std::vector<double>& b1) {
  std::vector<double> tiny(m, 0.0);
  for (std::size_t i = 0; i < m; ++i)
    for (std::size_t j = 0; j < m; ++j) tiny[j] = std::max(tiny[j], std::fabs(a[i * m + j]));
  for (double& t : tiny) t *= 1e-14 * static_cast<double>(m);
  for (std::size_t k = 0; k < m; ++k) {
    std::size_t piv = k;
    for (std::size_t i = k + 1; i < m; ++i)
      if (std::fabs(a[i * m + k]) > std::fabs(a[piv * m + k])) piv = i;
    if (!(std::fabs(a[piv * m + k]) > tiny[k])) return false;
    if (piv != k) {
      std::swap_ranges(a.begin() + k * m, a.begin() + (k + 1) * m, a.begin() + piv * m);
      std::swap(b0[k], b0[piv]);
      std::swap(b1[k], b1[piv]);
    }
    const double* rk = &a[k * m];
    for (std::size_t i = k + 1; i < m; ++i) {
      double* ri = &a[i * m];
      const double f = ri[k] / rk[k];
      if (f == 0) continue;
      ri[k] = f;
      // Contiguous row update: the compiler vectorises it.
      for (std::size_t j = k + 1; j < m; ++j) ri[j] -= f * rk[j];
      b0[i] -= f * b0[k];
      b1[i] -= f * b1[k];
    }
  }
  for (std::size_t k = m; k-- > 0;) {
    const double* rk = &a[k * m];
    double s0 = b0[k], s1 = b1[k];
    for (std::size_t j = k + 1; j < m; ++j) {
      s0 -= rk[j] * b0[j];
      s1 -= rk[j] * b1[j];
    }
    b0[k] = s0 / rk[k];
    b1[k] = s1 / rk[k];
  }
  return true;
}

std::string PointPair(std::size_t i, std::size_t j) {
  return "points " + std::to_string(std::min(i, j) + 1) + " and " +
         std::to_string(std::max(i, j) + 1);
}

// The points of a fit: (u[i], v[i]) -> (x[i], y[i]).
struct TControlPoints {
  std::span<const double> u, v, x, y;
};

// The reason the input cannot be fitted at all, or "".
std::string CheckInput(const TControlPoints& P, double lambda) {
  const std::size_t count = P.u.size();
  if (P.v.size() != count || P.x.size() != count || P.y.size() != count)
    return "the coordinate lists differ in length";
  if (count < 3) return "a thin-plate spline needs at least 3 points, got " + std::to_string(count);
  if (count > static_cast<std::size_t>(TThinPlateSpline::kMaxPoints))
    return "a thin-plate spline takes at most " + std::to_string(TThinPlateSpline::kMaxPoints) +
           " points, got " + std::to_string(count);
  if (!std::isfinite(lambda) || lambda < 0)
    return "the smoothing must be a finite number >= 0, got " + std::to_string(lambda);
  for (std::size_t i = 0; i < count; ++i)
    if (!std::isfinite(P.u[i]) || !std::isfinite(P.v[i]) || !std::isfinite(P.x[i]) ||
        !std::isfinite(P.y[i]))
      return "point " + std::to_string(i + 1) + " has a coordinate that is not a finite number";
  return "";
}

// Step 1, distinct points (Keep: their indexes, ascending): a repeated
// point with the same target is used once; with another target no function
// passes through both.
std::string DistinctPoints(const TControlPoints& P, std::vector<std::size_t>& Keep) {
  const auto& u = P.u;
  const auto& v = P.v;
  std::vector<std::size_t> order(u.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return u[a] < u[b] || (u[a] == u[b] && (v[a] < v[b] || (v[a] == v[b] && a < b)));
  });
  Keep.reserve(u.size());
  for (const std::size_t i : order) {
    if (!Keep.empty()) {
      const std::size_t j = Keep.back();
      if (u[i] == u[j] && v[i] == v[j]) {
        if (P.x[i] != P.x[j] || P.y[i] != P.y[j])
          return "coincident " + PointPair(i, j) + " have different targets";
        continue;
      }
    }
    Keep.push_back(i);
  }
  std::sort(Keep.begin(), Keep.end());
  if (Keep.size() < 3)
    return "a thin-plate spline needs at least 3 distinct points, got " +
           std::to_string(Keep.size());
  return "";
}

// Step 2, normalisation: centroid and RMS distance of the inputs, centroid
// of the targets, and the normalised inputs of the kept points.
struct TNormalised {
  double Cu = 0, Cv = 0, Scale = 1, Cx = 0, Cy = 0;
  std::vector<double> U, V;
};

std::string Normalise(const TControlPoints& P, const std::vector<std::size_t>& Keep,
                      TNormalised& N) {
  const auto n = static_cast<double>(Keep.size());
  double su = 0, sv = 0, sx = 0, sy = 0;
  for (const std::size_t i : Keep) su += P.u[i], sv += P.v[i], sx += P.x[i], sy += P.y[i];
  N.Cu = su / n, N.Cv = sv / n, N.Cx = sx / n, N.Cy = sy / n;
  double suu = 0, svv = 0, suv = 0;
  for (const std::size_t i : Keep) {
    suu += (P.u[i] - N.Cu) * (P.u[i] - N.Cu);
    svv += (P.v[i] - N.Cv) * (P.v[i] - N.Cv);
    suv += (P.u[i] - N.Cu) * (P.v[i] - N.Cv);
  }
  const double spread = suu + svv;
  if (!(spread > 0) || !std::isfinite(spread)) return "all points lie on one line";
  // The covariance scaled to trace 1: its determinant is the smaller
  // eigenvalue times the larger (about the smaller share of the spread).
  const double det = (suu / spread) * (svv / spread) - (suv / spread) * (suv / spread);
  if (!(det > kCollinearShare)) return "all points lie on one line";
  N.Scale = 1 / std::sqrt(spread / n);
  N.U.resize(Keep.size());
  N.V.resize(Keep.size());
  for (std::size_t k = 0; k < Keep.size(); ++k) {
    N.U[k] = (P.u[Keep[k]] - N.Cu) * N.Scale;
    N.V[k] = (P.v[Keep[k]] - N.Cv) * N.Scale;
  }
  return "";
}

// Steps 3 and 4: the bordered system, order m = n + 3,
//
//    [ K + lambda I   P ] [ w ]   [ t ]       K[i][j] = phi(|p_i' - p_j'|^2)
//    [ P^T            0 ] [ a ] = [ 0 ]       P[i]    = [1  u_i'  v_i']
//
// once for t = x - cx (into Bx) and once for t = y - cy (into By); the
// solution must then satisfy the system it came from (backward error).
std::string SolveSpline(const TControlPoints& P, const std::vector<std::size_t>& Keep,
                        const TNormalised& N, double lambda, std::vector<double>& Bx,
                        std::vector<double>& By) {
  const std::size_t n = Keep.size(), m = n + 3;
  std::vector<double> a(m * m, 0.0);
  Bx.assign(m, 0.0);
  By.assign(m, 0.0);
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      const double du = N.U[i] - N.U[j], dv = N.V[i] - N.V[j];
      a[i * m + j] = a[j * m + i] = Phi(du * du + dv * dv);
    }
    a[i * m + i] = lambda;
    const double row[3] = {1, N.U[i], N.V[i]};
    for (std::size_t c = 0; c < 3; ++c) a[i * m + n + c] = a[(n + c) * m + i] = row[c];
    Bx[i] = P.x[Keep[i]] - N.Cx;
    By[i] = P.y[Keep[i]] - N.Cy;
  }
  const std::vector<double> system = a;
  const std::vector<double> rx = Bx, ry = By;
  if (!SolveDense(a, m, Bx, By)) return "the system of the spline is singular";
  double anorm = 0, snorm = 0, tnorm = 0, resid = 0;
  for (std::size_t i = 0; i < m; ++i) {
    double row = 0, ex = -rx[i], ey = -ry[i];
    for (std::size_t j = 0; j < m; ++j) {
      row += std::fabs(system[i * m + j]);
      ex += system[i * m + j] * Bx[j];
      ey += system[i * m + j] * By[j];
    }
    anorm = std::max(anorm, row);
    snorm = std::max({snorm, std::fabs(Bx[i]), std::fabs(By[i])});
    tnorm = std::max({tnorm, std::fabs(rx[i]), std::fabs(ry[i])});
    resid = std::max({resid, std::fabs(ex), std::fabs(ey)});
  }
  if (!std::isfinite(snorm) || !(resid <= 1e-9 * (anorm * snorm + tnorm)))
    return "the system of the spline is singular";
  return "";
}

}  // namespace

void TThinPlateSpline::Clear() {
  *this = TThinPlateSpline();
}

std::string TThinPlateSpline::Fit(std::span<const double> u, std::span<const double> v,
                                  std::span<const double> x, std::span<const double> y,
                                  double lambda) {
  Clear();
  const TControlPoints points{u, v, x, y};
  if (std::string why = CheckInput(points, lambda); !why.empty()) return why;
  std::vector<std::size_t> keep;
  if (std::string why = DistinctPoints(points, keep); !why.empty()) return why;
  TNormalised norm;
  if (std::string why = Normalise(points, keep, norm); !why.empty()) return why;
  const std::size_t n = keep.size();
  std::vector<double> bx, by;
  if (std::string why = SolveSpline(points, keep, norm, lambda, bx, by); !why.empty()) return why;

  // Keep the result, padded for the vector loop.
  const std::size_t padded = (n + detail::kTpsPad - 1) / detail::kTpsPad * detail::kTpsPad;
  norm.U.resize(padded, 0.0);
  norm.V.resize(padded, 0.0);
  std::vector<double> wx(padded, 0.0), wy(padded, 0.0);
  std::copy_n(bx.begin(), n, wx.begin());
  std::copy_n(by.begin(), n, wy.begin());
  pu_ = std::move(norm.U);
  pv_ = std::move(norm.V);
  wx_ = std::move(wx);
  wy_ = std::move(wy);
  for (std::size_t c = 0; c < 3; ++c) ax_[c] = bx[n + c], ay_[c] = by[n + c];
  cu_ = norm.Cu, cv_ = norm.Cv, scale_ = norm.Scale, cx_ = norm.Cx, cy_ = norm.Cy;
  lambda_ = lambda;
  points_ = static_cast<int>(n);
  fitted_ = true;
  return "";
}

bool TThinPlateSpline::Eval(double u, double v, double& x, double& y) const {
  uint8_t ok = 0;
  EvalBatch({&u, 1}, {&v, 1}, {&x, 1}, {&y, 1}, {&ok, 1});
  return ok != 0;
}

void TThinPlateSpline::EvalBatch(std::span<const double> u, std::span<const double> v,
                                 std::span<double> x, std::span<double> y,
                                 std::span<uint8_t> ok) const {
  const std::size_t count = u.size();
  if (v.size() != count || x.size() != count || y.size() != count || ok.size() != count)
    throw std::invalid_argument("TThinPlateSpline::EvalBatch: spans of different lengths");
  if (!fitted_) {
    std::fill(ok.begin(), ok.end(), uint8_t{0});
    return;
  }
  const detail::TTpsKernel k{pu_.data(), pv_.data(), wx_.data(), wy_.data(), pu_.size()};
  double nu[kBatchChunk], nv[kBatchChunk], kx[kBatchChunk], ky[kBatchChunk];
  for (std::size_t start = 0; start < count; start += kBatchChunk) {
    const std::size_t len = std::min(kBatchChunk, count - start);
    for (std::size_t i = 0; i < len; ++i) {
      nu[i] = (u[start + i] - cu_) * scale_;
      nv[i] = (v[start + i] - cv_) * scale_;
    }
    detail::TpsKernelSums(k, nu, nv, len, kx, ky);
    for (std::size_t i = 0; i < len; ++i) {
      const double rx = cx_ + (ax_[0] + ax_[1] * nu[i] + ax_[2] * nv[i] + kx[i]);
      const double ry = cy_ + (ay_[0] + ay_[1] * nu[i] + ay_[2] * nv[i] + ky[i]);
      x[start + i] = rx;
      y[start + i] = ry;
      ok[start + i] = std::isfinite(rx) && std::isfinite(ry) ? 1 : 0;
    }
  }
}

}  // namespace marovia
