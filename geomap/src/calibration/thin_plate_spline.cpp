// Thin-plate spline: the fit in steps (inputs checked, distinct points,
// normalisation, the kernel system solved in the null space of its affine
// part, the solution checked against the system), evaluation through the
// vectorised kernel sums.
#include "calibration/thin_plate_spline.h"

#include <hwy/aligned_allocator.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numeric>
#include <stdexcept>

#include "calibration/thin_plate_kernel.h"
#include "calibration/thin_plate_solve.h"

namespace marovia {
namespace {

// Points whose spread across their best line is below this share of the
// total (in the normalised coordinates, where the total is 1) count as
// collinear: the affine part is then undetermined.
constexpr double kCollinearShare = 1e-12;

// Points converted per kernel call in a batch (the normalised input is
// staged on the stack).
constexpr std::size_t kBatchChunk = 256;

std::string PointPair(std::size_t i, std::size_t j) {
  return "points " + std::to_string(std::min(i, j) + 1) + " and " +
         std::to_string(std::max(i, j) + 1);
}

using Span = std::span<const double>;

std::string CheckInputs(Span u, Span v, Span x, Span y, double lambda) {
  const std::size_t count = u.size();
  if (v.size() != count || x.size() != count || y.size() != count)
    return "the coordinate lists differ in length";
  if (count < 3) return "a thin-plate spline needs at least 3 points, got " + std::to_string(count);
  if (count > static_cast<std::size_t>(TThinPlateSpline::kMaxPoints))
    return "a thin-plate spline takes at most " + std::to_string(TThinPlateSpline::kMaxPoints) +
           " points, got " + std::to_string(count);
  if (!std::isfinite(lambda) || lambda < 0)
    return "the smoothing must be a finite number >= 0, got " + std::to_string(lambda);
  for (std::size_t i = 0; i < count; ++i)
    if (!std::isfinite(u[i]) || !std::isfinite(v[i]) || !std::isfinite(x[i]) ||
        !std::isfinite(y[i]))
      return "point " + std::to_string(i + 1) + " has a coordinate that is not a finite number";
  return "";
}

// The indices of the distinct points, in input order: a repeated point with
// the same target is used once; with another target no function passes
// through both, which is the answer's reason.
std::string DistinctPoints(Span u, Span v, Span x, Span y, std::vector<std::size_t>& keep) {
  const std::size_t count = u.size();
  std::vector<std::size_t> order(count);
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return u[a] < u[b] || (u[a] == u[b] && (v[a] < v[b] || (v[a] == v[b] && a < b)));
  });
  keep.clear();
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
  if (keep.size() < 3)
    return "a thin-plate spline needs at least 3 distinct points, got " +
           std::to_string(keep.size());
  return "";
}

// Centroid and RMS distance of the inputs, centroid of the targets.
struct TNormalisation {
  double cu, cv, scale, cx, cy;
};

std::string Normalise(Span u, Span v, Span x, Span y, const std::vector<std::size_t>& keep,
                      TNormalisation& z) {
  const double n = static_cast<double>(keep.size());
  double su = 0, sv = 0, sx = 0, sy = 0;
  for (std::size_t i : keep) su += u[i], sv += v[i], sx += x[i], sy += y[i];
  z.cu = su / n, z.cv = sv / n, z.cx = sx / n, z.cy = sy / n;
  double suu = 0, svv = 0, suv = 0;
  for (std::size_t i : keep) {
    suu += (u[i] - z.cu) * (u[i] - z.cu);
    svv += (v[i] - z.cv) * (v[i] - z.cv);
    suv += (u[i] - z.cu) * (v[i] - z.cv);
  }
  const double spread = suu + svv;
  if (!(spread > 0) || !std::isfinite(spread)) return "all points lie on one line";
  // The covariance scaled to trace 1: its determinant is the smaller
  // eigenvalue times the larger (about the smaller share of the spread).
  const double det = (suu / spread) * (svv / spread) - (suv / spread) * (suv / spread);
  if (!(det > kCollinearShare)) return "all points lie on one line";
  z.scale = 1 / std::sqrt(spread / n);
  return "";
}

// Backward error: the fitted function must reproduce the system it came
// from, [K P; P^T 0] [w; a] = [t; 0], to rounding of its terms. K w is
// taken from the evaluation's own kernel sums at the control points (the
// diagonal lambda w apart, as phi(0) = 0), so this also checks what Eval
// will compute. rowAbs is the largest absolute row sum of K.
bool SatisfiesSystem(const detail::TThinPlateSystem& s, const detail::TTpsKernel& k,
                     const double (&ax)[3], const double (&ay)[3], double lambda, double rowAbs) {
  const std::size_t n = s.N;
  std::vector<double> kx(n), ky(n);
  detail::TpsKernelSums(k, s.Pu.data(), s.Pv.data(), n, kx.data(), ky.data());
  double snorm = 0, tnorm = 0, resid = 0;
  double px[3] = {0, 0, 0}, py[3] = {0, 0, 0};  // P^T w
  for (std::size_t i = 0; i < n; ++i) {
    const double p[3] = {1, s.Pu[i], s.Pv[i]};
    double ex = kx[i] + lambda * k.Wx[i] - s.Tx[i];
    double ey = ky[i] + lambda * k.Wy[i] - s.Ty[i];
    for (std::size_t c = 0; c < 3; ++c) {
      ex += p[c] * ax[c];
      ey += p[c] * ay[c];
      px[c] += p[c] * k.Wx[i];
      py[c] += p[c] * k.Wy[i];
    }
    snorm = std::max({snorm, std::fabs(k.Wx[i]), std::fabs(k.Wy[i])});
    tnorm = std::max({tnorm, std::fabs(s.Tx[i]), std::fabs(s.Ty[i])});
    resid = std::max({resid, std::fabs(ex), std::fabs(ey)});
  }
  // The bordered matrix's largest absolute row sum: a row of [K P] (bounded
  // by K's largest and P's largest), or one of [P^T 0].
  double pnorm = 0, su = 0, sv = 0;
  for (std::size_t i = 0; i < n; ++i) {
    pnorm = std::max(pnorm, 1 + std::fabs(s.Pu[i]) + std::fabs(s.Pv[i]));
    su += std::fabs(s.Pu[i]);
    sv += std::fabs(s.Pv[i]);
  }
  for (std::size_t c = 0; c < 3; ++c) {
    snorm = std::max({snorm, std::fabs(ax[c]), std::fabs(ay[c])});
    resid = std::max({resid, std::fabs(px[c]), std::fabs(py[c])});
  }
  const double anorm = std::max({rowAbs + pnorm, static_cast<double>(n), su, sv});
  return std::isfinite(snorm) && resid <= 1e-9 * (anorm * snorm + tnorm);
}

}  // namespace

void TThinPlateSpline::Clear() {
  *this = TThinPlateSpline();
}

std::string TThinPlateSpline::Fit(std::span<const double> u, std::span<const double> v,
                                  std::span<const double> x, std::span<const double> y,
                                  double lambda) {
  return FitSystem(u, v, x, y, lambda, nullptr);
}

std::string TThinPlateSpline::FitSystem(std::span<const double> u, std::span<const double> v,
                                        std::span<const double> x, std::span<const double> y,
                                        double lambda, std::vector<double>* InverseDiagonal) {
  Clear();
  std::string why = CheckInputs(u, v, x, y, lambda);
  std::vector<std::size_t> keep;
  if (why.empty()) why = DistinctPoints(u, v, x, y, keep);
  TNormalisation z{};
  if (why.empty()) why = Normalise(u, v, x, y, keep, z);
  if (!why.empty()) return why;

  // The system in the normalised coordinates, once for t = x - cx and once
  // for t = y - cy (thin_plate_solve.h).
  const std::size_t n = keep.size();
  detail::TThinPlateSystem system;
  system.N = n;
  system.Pu.resize(n);
  system.Pv.resize(n);
  system.Tx.resize(n);
  system.Ty.resize(n);
  for (std::size_t k = 0; k < n; ++k) {
    system.Pu[k] = (u[keep[k]] - z.cu) * z.scale;
    system.Pv[k] = (v[keep[k]] - z.cv) * z.scale;
    system.Tx[k] = x[keep[k]] - z.cx;
    system.Ty[k] = y[keep[k]] - z.cy;
  }
  system.Stride = detail::ThinPlateStride(n);
  system.K = hwy::AllocateAligned<double>(n * system.Stride);
  const double rowAbs = detail::TpsKernelMatrix(system.Pu.data(), system.Pv.data(), n, lambda,
                                                system.K.get(), system.Stride);
  detail::TThinPlateSolution solution;
  if (!detail::SolveThinPlateSystem(system, solution, InverseDiagonal))
    return "the system of the spline is singular";
  system.K.reset();

  // The result, padded for the vector loop, and checked through it.
  const std::size_t padded = (n + detail::kTpsPad - 1) / detail::kTpsPad * detail::kTpsPad;
  std::vector<double> pu = system.Pu, pv = system.Pv;
  for (auto* a : {&pu, &pv, &solution.Wx, &solution.Wy}) a->resize(padded, 0.0);
  const detail::TTpsKernel kernel{pu.data(), pv.data(), solution.Wx.data(), solution.Wy.data(),
                                  padded};
  if (!SatisfiesSystem(system, kernel, solution.Ax, solution.Ay, lambda, rowAbs))
    return "the system of the spline is singular";
  pu_ = std::move(pu);
  pv_ = std::move(pv);
  wx_ = std::move(solution.Wx);
  wy_ = std::move(solution.Wy);
  for (std::size_t c = 0; c < 3; ++c) ax_[c] = solution.Ax[c], ay_[c] = solution.Ay[c];
  cu_ = z.cu, cv_ = z.cv, scale_ = z.scale, cx_ = z.cx, cy_ = z.cy;
  lambda_ = lambda;
  points_ = static_cast<int>(n);
  fitted_ = true;
  return "";
}

void TThinPlateSpline::LeaveOneOutErrors(std::span<const double> u, std::span<const double> v,
                                         std::span<const double> x, std::span<const double> y,
                                         std::span<double> ex, std::span<double> ey,
                                         std::span<uint8_t> ok) {
  const std::size_t count = u.size();
  if (v.size() != count || x.size() != count || y.size() != count || ex.size() != count ||
      ey.size() != count || ok.size() != count)
    throw std::invalid_argument("TThinPlateSpline::LeaveOneOutErrors: spans of different lengths");
  std::fill(ok.begin(), ok.end(), uint8_t{0});
  TThinPlateSpline s;
  std::vector<double> diag;
  // With every point distinct the fit keeps them in input order.
  if (!s.FitSystem(u, v, x, y, 0, &diag).empty() || s.points_ != static_cast<int>(count)) return;
  const double largest = *std::max_element(diag.begin(), diag.end());
  for (std::size_t i = 0; i < count; ++i) {
    if (!(diag[i] > 1e-10 * largest)) continue;
    ex[i] = s.wx_[i] / diag[i];
    ey[i] = s.wy_[i] / diag[i];
    ok[i] = std::isfinite(ex[i]) && std::isfinite(ey[i]) ? 1 : 0;
  }
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
