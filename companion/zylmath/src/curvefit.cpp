// TCurveFit: least-squares fits and statistics.
//
// The fits move x to t = (x - mean) / spread, solve for the coefficients in t
// by a Householder QR decomposition of the design matrix (never forming the
// normal equations, which would square its condition), and convert back to
// coefficients in x.
#include "marovia/zylmath/curvefit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>


namespace marovia {

namespace {

// x values whose spread is below this share of their magnitude are taken as
// one value: the fit would only model rounding noise.
constexpr double kSameX = 64 * std::numeric_limits<double>::epsilon();

double Mean(const std::vector<double>& v) {
  double s = 0;
  for (const double x : v) s += x;
  return s / static_cast<double>(v.size());
}

// Mean and the largest distance from it; false when the x values do not
// vary (spread is then 0).
bool CentreAndSpread(const std::vector<double>& xs, double& mean, double& spread) {
  mean = Mean(xs);
  spread = 0;
  double magnitude = 0;
  for (const double x : xs) {
    spread = std::max(spread, std::fabs(x - mean));
    magnitude = std::max(magnitude, std::fabs(x));
  }
  if (spread > kSameX * magnitude) return true;
  spread = 0;
  return false;
}

// Least squares for the columns 1, t, ..., t^(P-1) by Householder QR. With
// fewer than P different t values the columns from that count on depend on
// the earlier ones: their coefficients are 0, which is still a least-squares
// solution (the lower-order fit).
template <size_t P>
std::array<double, P> SolvePowers(const std::vector<double>& ts, const std::vector<double>& ys) {
  const size_t n = ts.size();
  std::vector<std::array<double, P>> a(n);
  std::vector<double> b(ys);
  std::array<double, P> colNorm{};
  for (size_t i = 0; i < n; ++i) {
    double p = 1;
    for (size_t j = 0; j < P; ++j, p *= ts[i]) {
      a[i][j] = p;
      colNorm[j] += p * p;
    }
  }
  std::array<double, P> diag{};
  size_t rank = 0;
  for (size_t j = 0; j < P && j < n; ++j) {
    double norm = 0;
    for (size_t i = j; i < n; ++i) norm += a[i][j] * a[i][j];
    norm = std::sqrt(norm);
    // What is left of column j after removing its part in the earlier
    // columns; too little means it adds no information.
    if (!(norm > 1e-10 * std::sqrt(colNorm[j]))) break;
    const double alpha = a[j][j] > 0 ? -norm : norm;
    // v = column - alpha * e_j, stored in place; H = I - 2 v v^T / (v^T v).
    a[j][j] -= alpha;
    double vv = 0;
    for (size_t i = j; i < n; ++i) vv += a[i][j] * a[i][j];
    for (size_t k = j + 1; k < P; ++k) {
      double s = 0;
      for (size_t i = j; i < n; ++i) s += a[i][j] * a[i][k];
      const double f = 2 * s / vv;
      for (size_t i = j; i < n; ++i) a[i][k] -= f * a[i][j];
    }
    double s = 0;
    for (size_t i = j; i < n; ++i) s += a[i][j] * b[i];
    const double f = 2 * s / vv;
    for (size_t i = j; i < n; ++i) b[i] -= f * a[i][j];
    diag[j] = alpha;
    rank = j + 1;
  }
  std::array<double, P> c{};
  for (size_t j = rank; j-- > 0;) {
    double s = b[j];
    for (size_t k = j + 1; k < rank; ++k) s -= a[j][k] * c[k];
    c[j] = s / diag[j];
  }
  return c;
}

double RmsResidual(const std::vector<double>& xs, const std::vector<double>& ys, double c0,
                   double c1, double c2) {
  if (xs.empty()) return 0;
  double s = 0;
  for (size_t i = 0; i < xs.size(); ++i) {
    const double r = ys[i] - (c0 + xs[i] * (c1 + xs[i] * c2));
    s += r * r;
  }
  return std::sqrt(s / static_cast<double>(xs.size()));
}

}  // namespace

void TCurveFit::EnterStatValue(double x, double y) {
  xs_.push_back(x);
  ys_.push_back(y);
}

void TCurveFit::CalcLinFit(double& k, double& d, double& q) const {
  k = d = q = 0;
  if (xs_.empty()) return;
  double xm, spread;
  const double ym = Mean(ys_);
  if (!CentreAndSpread(xs_, xm, spread)) {
    // Every line through (x, mean y) fits equally well; take the level one.
    d = ym;
    q = RmsResidual(xs_, ys_, d, 0, 0);
    return;
  }
  // In centred form the normal equations are already diagonal.
  double sxy = 0, sxx = 0;
  for (size_t i = 0; i < xs_.size(); ++i) {
    const double u = (xs_[i] - xm) / spread;
    sxy += u * (ys_[i] - ym);
    sxx += u * u;
  }
  k = sxy / sxx / spread;
  d = ym - k * xm;
  q = RmsResidual(xs_, ys_, d, k, 0);
}

void TCurveFit::CalcParabolFit(double& a0, double& a1, double& a2, double& q) const {
  a0 = a1 = a2 = q = 0;
  if (xs_.empty()) return;
  double xm, s;
  if (!CentreAndSpread(xs_, xm, s)) {
    a0 = Mean(ys_);
    q = RmsResidual(xs_, ys_, a0, 0, 0);
    return;
  }
  std::vector<double> ts(xs_.size());
  for (size_t i = 0; i < xs_.size(); ++i) ts[i] = (xs_[i] - xm) / s;
  const auto b = SolvePowers<3>(ts, ys_);
  // y = b0 + b1 t + b2 t^2 with t = (x - xm) / s.
  a2 = b[2] / (s * s);
  a1 = b[1] / s - 2 * a2 * xm;
  a0 = b[0] - b[1] * xm / s + a2 * xm * xm;
  q = RmsResidual(xs_, ys_, a0, a1, a2);
}

void TCurveFit::CalcStatistics(int32_t& NumData, double& r1, double& r2, double& r3, double& r4,
                               double& r5, double& r6, double& r7) const {
  NumData = this->NumData();
  r1 = r2 = r3 = r4 = r5 = r6 = r7 = 0;
  if (xs_.empty()) return;
  const size_t n = xs_.size();
  r1 = Mean(xs_);
  r2 = Mean(ys_);
  double sxx = 0, syy = 0, sxy = 0, sdd = 0;
  for (size_t i = 0; i < n; ++i) {
    const double u = xs_[i] - r1, v = ys_[i] - r2, diff = ys_[i] - xs_[i];
    sxx += u * u;
    syy += v * v;
    sxy += u * v;
    sdd += diff * diff;
    r7 = std::max(r7, std::fabs(diff));
  }
  if (n > 1) {
    r3 = std::sqrt(sxx / static_cast<double>(n - 1));
    r4 = std::sqrt(syy / static_cast<double>(n - 1));
  }
  if (sxx > 0 && syy > 0) r5 = std::clamp(sxy / std::sqrt(sxx * syy), -1.0, 1.0);
  r6 = std::sqrt(sdd / static_cast<double>(n));
}

}  // namespace marovia
