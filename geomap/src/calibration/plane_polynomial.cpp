// Plane polynomials by Householder QR of the normalised design matrix.
#include "calibration/plane_polynomial.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace marovia {
namespace {

// A diagonal entry of R below this share of the largest marks a term the
// points do not determine.
constexpr double kRankShare = 1e-10;

std::size_t Terms(int order) {
  return order == 1 ? 3 : 6;
}

void Row(int order, double u, double v, double* t) {
  t[0] = 1;
  t[1] = u;
  t[2] = v;
  if (order == 2) {
    t[3] = u * u;
    t[4] = u * v;
    t[5] = v * v;
  }
}

// Least squares of the m x n column-major design a against two right-hand
// sides, by Householder reflections; false when R is rank deficient.
bool SolveQr(std::vector<double>& a, std::size_t m, std::size_t n, std::vector<double>& b0,
             std::vector<double>& b1, double* c0, double* c1) {
  std::vector<double> diag(n);
  for (std::size_t k = 0; k < n; ++k) {
    double* col = &a[k * m];
    double norm = 0;
    for (std::size_t i = k; i < m; ++i) norm += col[i] * col[i];
    norm = std::sqrt(norm);
    if (norm == 0) return false;
    const double alpha = col[k] > 0 ? -norm : norm;
    col[k] -= alpha;  // col[k..m) is now the reflector v
    double vv = 0;
    for (std::size_t i = k; i < m; ++i) vv += col[i] * col[i];
    auto reflect = [&](double* y) {
      double s = 0;
      for (std::size_t i = k; i < m; ++i) s += col[i] * y[i];
      s = 2 * s / vv;
      for (std::size_t i = k; i < m; ++i) y[i] -= s * col[i];
    };
    for (std::size_t j = k + 1; j < n; ++j) reflect(&a[j * m]);
    reflect(b0.data());
    reflect(b1.data());
    diag[k] = alpha;
  }
  double largest = 0;
  for (double d : diag) largest = std::max(largest, std::fabs(d));
  for (double d : diag)
    if (!(std::fabs(d) > kRankShare * largest)) return false;
  for (std::size_t k = n; k-- > 0;) {
    double s0 = b0[k], s1 = b1[k];
    for (std::size_t j = k + 1; j < n; ++j) {
      s0 -= a[j * m + k] * c0[j];
      s1 -= a[j * m + k] * c1[j];
    }
    c0[k] = s0 / diag[k];
    c1[k] = s1 / diag[k];
  }
  return true;
}

}  // namespace

std::string TPlanePolynomial::Fit(int Order, std::span<const double> u, std::span<const double> v,
                                  std::span<const double> x, std::span<const double> y) {
  *this = TPlanePolynomial();
  if (Order != 1 && Order != 2)
    return "the order must be 1 (affine) or 2, got " + std::to_string(Order);
  const std::size_t m = u.size();
  if (v.size() != m || x.size() != m || y.size() != m)
    return "the coordinate lists differ in length";
  const std::size_t n = Terms(Order);
  if (m < n)
    return std::string(Order == 1 ? "an affine fit" : "a second-order fit") + " needs at least " +
           std::to_string(n) + " points, got " + std::to_string(m);
  for (std::size_t i = 0; i < m; ++i)
    if (!std::isfinite(u[i]) || !std::isfinite(v[i]) || !std::isfinite(x[i]) ||
        !std::isfinite(y[i]))
      return "point " + std::to_string(i + 1) + " has a coordinate that is not a finite number";
  double cu = 0, cv = 0;
  for (std::size_t i = 0; i < m; ++i) cu += u[i], cv += v[i];
  cu /= m, cv /= m;
  double spread = 0;
  for (std::size_t i = 0; i < m; ++i)
    spread += (u[i] - cu) * (u[i] - cu) + (v[i] - cv) * (v[i] - cv);
  if (!(spread > 0) || !std::isfinite(spread)) return "all points coincide";
  const double scale = 1 / std::sqrt(spread / m);
  std::vector<double> a(m * n), bx(x.begin(), x.end()), by(y.begin(), y.end());
  double t[6];
  for (std::size_t i = 0; i < m; ++i) {
    Row(Order, (u[i] - cu) * scale, (v[i] - cv) * scale, t);
    for (std::size_t j = 0; j < n; ++j) a[j * m + i] = t[j];
  }
  std::array<double, 6> cx{}, cy{};
  if (!SolveQr(a, m, n, bx, by, cx.data(), cy.data()))
    return Order == 1 ? "the points lie on one line" : "the points lie on one conic or line";
  order_ = Order;
  cu_ = cu, cv_ = cv, scale_ = scale;
  cx_ = cx, cy_ = cy;
  return "";
}

bool TPlanePolynomial::Eval(double u, double v, double& x, double& y) const {
  if (order_ == 0) return false;
  double t[6];
  Row(order_, (u - cu_) * scale_, (v - cv_) * scale_, t);
  const std::size_t n = Terms(order_);
  double sx = 0, sy = 0;
  for (std::size_t j = 0; j < n; ++j) {
    sx += cx_[j] * t[j];
    sy += cy_[j] * t[j];
  }
  x = sx;
  y = sy;
  return std::isfinite(x) && std::isfinite(y);
}

}  // namespace marovia
