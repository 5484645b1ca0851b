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

}  // namespace

void TThinPlateSpline::Clear() {
  *this = TThinPlateSpline();
}

std::string TThinPlateSpline::Fit(std::span<const double> u, std::span<const double> v,
                                  std::span<const double> x, std::span<const double> y,
                                  double lambda) {
  Clear();
  const std::size_t count = u.size();
  if (v.size() != count || x.size() != count || y.size() != count)
    return "the coordinate lists differ in length";
  if (count < 3) return "a thin-plate spline needs at least 3 points, got " + std::to_string(count);
  if (count > static_cast<std::size_t>(kMaxPoints))
    return "a thin-plate spline takes at most " + std::to_string(kMaxPoints) + " points, got " +
           std::to_string(count);
  if (!std::isfinite(lambda) || lambda < 0)
    return "the smoothing must be a finite number >= 0, got " + std::to_string(lambda);
  for (std::size_t i = 0; i < count; ++i)
    if (!std::isfinite(u[i]) || !std::isfinite(v[i]) || !std::isfinite(x[i]) ||
        !std::isfinite(y[i]))
      return "point " + std::to_string(i + 1) + " has a coordinate that is not a finite number";

  // 1. Distinct points: a repeated point with the same target is used once;
  //    with another target no function passes through both.
  std::vector<std::size_t> order(count);
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return u[a] < u[b] || (u[a] == u[b] && (v[a] < v[b] || (v[a] == v[b] && a < b)));
  });
  std::vector<std::size_t> keep;
  keep.reserve(count);
  for (std::size_t k = 0; k < count; ++k) {
    const std::size_t i = order[k];
    if (!keep.empty()) {
      const std::size_t j = keep.back();
      if (u[i] == u[j] && v[i] == v[j]) {
        if (x[i] != x[j] || y[i] != y[j])
          return "coincident " + PointPair(i, j) + " have different targets";
        continue;
      }
    }
    keep.push_back(i);
  }
  std::sort(keep.begin(), keep.end());
  const std::size_t n = keep.size();
  if (n < 3)
    return "a thin-plate spline needs at least 3 distinct points, got " + std::to_string(n);

  // 2. Normalisation: centroid and RMS distance of the inputs, centroid of
  //    the targets.
  double su = 0, sv = 0, sx = 0, sy = 0;
  for (std::size_t i : keep) su += u[i], sv += v[i], sx += x[i], sy += y[i];
  const double cu = su / n, cv = sv / n, cx = sx / n, cy = sy / n;
  double suu = 0, svv = 0, suv = 0;
  for (std::size_t i : keep) {
    suu += (u[i] - cu) * (u[i] - cu);
    svv += (v[i] - cv) * (v[i] - cv);
    suv += (u[i] - cu) * (v[i] - cv);
  }
  const double spread = suu + svv;
  if (!(spread > 0) || !std::isfinite(spread)) return "all points lie on one line";
  // The covariance scaled to trace 1: its determinant is the smaller
  // eigenvalue times the larger (about the smaller share of the spread).
  const double det = (suu / spread) * (svv / spread) - (suv / spread) * (suv / spread);
  if (!(det > kCollinearShare)) return "all points lie on one line";
  const double scale = 1 / std::sqrt(spread / n);

  std::vector<double> pu(n), pv(n);
  for (std::size_t k = 0; k < n; ++k) {
    pu[k] = (u[keep[k]] - cu) * scale;
    pv[k] = (v[keep[k]] - cv) * scale;
  }

  // 3. The bordered system, order m = n + 3:
  //
  //    [ K + lambda I   P ] [ w ]   [ t ]       K[i][j] = phi(|p_i' - p_j'|^2)
  //    [ P^T            0 ] [ a ] = [ 0 ]       P[i]    = [1  u_i'  v_i']
  //
  //    once for t = x - cx and once for t = y - cy.
  const std::size_t m = n + 3;
  std::vector<double> a(m * m, 0.0), bx(m, 0.0), by(m, 0.0);
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      const double du = pu[i] - pu[j], dv = pv[i] - pv[j];
      a[i * m + j] = a[j * m + i] = Phi(du * du + dv * dv);
    }
    a[i * m + i] = lambda;
    const double row[3] = {1, pu[i], pv[i]};
    for (std::size_t c = 0; c < 3; ++c) a[i * m + n + c] = a[(n + c) * m + i] = row[c];
    bx[i] = x[keep[i]] - cx;
    by[i] = y[keep[i]] - cy;
  }
  const std::vector<double> system = a;
  const std::vector<double> rx = bx, ry = by;
  if (!SolveDense(a, m, bx, by)) return "the system of the spline is singular";

  // 4. Backward error: the solution must satisfy the system it came from.
  double anorm = 0, snorm = 0, tnorm = 0, resid = 0;
  for (std::size_t i = 0; i < m; ++i) {
    double row = 0, ex = -rx[i], ey = -ry[i];
    for (std::size_t j = 0; j < m; ++j) {
      row += std::fabs(system[i * m + j]);
      ex += system[i * m + j] * bx[j];
      ey += system[i * m + j] * by[j];
    }
    anorm = std::max(anorm, row);
    snorm = std::max({snorm, std::fabs(bx[i]), std::fabs(by[i])});
    tnorm = std::max({tnorm, std::fabs(rx[i]), std::fabs(ry[i])});
    resid = std::max({resid, std::fabs(ex), std::fabs(ey)});
  }
  if (!std::isfinite(snorm) || !(resid <= 1e-9 * (anorm * snorm + tnorm)))
    return "the system of the spline is singular";

  // 5. Keep the result, padded for the vector loop.
  const std::size_t padded = (n + detail::kTpsPad - 1) / detail::kTpsPad * detail::kTpsPad;
  pu.resize(padded, 0.0);
  pv.resize(padded, 0.0);
  std::vector<double> wx(padded, 0.0), wy(padded, 0.0);
  std::copy_n(bx.begin(), n, wx.begin());
  std::copy_n(by.begin(), n, wy.begin());
  pu_ = std::move(pu);
  pv_ = std::move(pv);
  wx_ = std::move(wx);
  wy_ = std::move(wy);
  for (std::size_t c = 0; c < 3; ++c) ax_[c] = bx[n + c], ay_[c] = by[n + c];
  cu_ = cu, cv_ = cv, scale_ = scale, cx_ = cx, cy_ = cy;
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
