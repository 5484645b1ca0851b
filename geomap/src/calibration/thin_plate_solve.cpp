// The thin-plate system solved in the null space of P^T (thin_plate_solve.h):
//   1. P = H0 H1 H2 [R; 0] by Householder reflections;
//   2. B = Q^T K Q, c = Q^T t (each reflection H = I - tau v v^T applied to
//      both sides of K as one symmetric rank-2 update);
//   3. Cholesky of the trailing block B[3:, 3:] and two triangular solves
//      for g;
//   4. w = Q [0; g]; a from R a = c[0:3] - B[0:3, 3:] g.
#include "calibration/thin_plate_solve.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "calibration/cholesky_kernel.h"

namespace marovia::detail {

namespace {

struct TReflector {
  std::vector<double> v;  // zero before its own index
  double tau = 0;
};

// x . y over n elements, in four partial sums (the sums of one add chain
// would wait on each other).
double Dot(const double* x, const double* y, std::size_t n) {
  double s[4] = {0, 0, 0, 0};
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4)
    for (std::size_t k = 0; k < 4; ++k) s[k] += x[i + k] * y[i + k];
  for (; i < n; ++i) s[0] += x[i] * y[i];
  return (s[0] + s[1]) + (s[2] + s[3]);
}

// The reflector that takes column k of the n x 3 matrix A (rows k..) onto
// its first element, applied to A's columns k.. . False for a zero column.
bool Reflect(std::vector<double>& A, std::size_t n, std::size_t k, TReflector& h) {
  double norm = 0;
  for (std::size_t i = k; i < n; ++i) norm = std::hypot(norm, A[i * 3 + k]);
  if (!(norm > 0)) return false;
  const double alpha = A[k * 3 + k] > 0 ? -norm : norm;
  h.v.assign(n, 0.0);
  for (std::size_t i = k; i < n; ++i) h.v[i] = A[i * 3 + k];
  h.v[k] -= alpha;
  const double vv = Dot(h.v.data() + k, h.v.data() + k, n - k);
  h.tau = 2 / vv;
  for (std::size_t c = k; c < 3; ++c) {
    double s = 0;
    for (std::size_t i = k; i < n; ++i) s += h.v[i] * A[i * 3 + c];
    for (std::size_t i = k; i < n; ++i) A[i * 3 + c] -= h.tau * s * h.v[i];
  }
  return true;
}

// x <- H x.
void Apply(const TReflector& h, std::vector<double>& x) {
  const double s = h.tau * Dot(h.v.data(), x.data(), x.size());
  for (std::size_t i = 0; i < x.size(); ++i) x[i] -= s * h.v[i];
}

// K <- H K H for symmetric K (row stride ldk): with w = K v and z = tau (w
// - tau/2 (v.w) v), K - v z^T - z v^T.
void ApplyBothSides(const TReflector& h, double* K, std::size_t n, std::size_t ldk) {
  std::vector<double> z(n);
  for (std::size_t i = 0; i < n; ++i) z[i] = Dot(K + i * ldk, h.v.data(), n);
  const double vw = Dot(h.v.data(), z.data(), n);
  for (std::size_t i = 0; i < n; ++i) z[i] = h.tau * (z[i] - h.tau / 2 * vw * h.v[i]);
  for (std::size_t i = 0; i < n; ++i) {
    double* row = K + i * ldk;
    const double vi = h.v[i], zi = z[i];
    for (std::size_t j = 0; j < n; ++j) row[j] -= vi * z[j] + zi * h.v[j];
  }
}

// L L^T g = c for two right-hand sides, L in the lower triangle of M (row
// stride lda).
void CholeskySolve(const double* M, std::size_t m, std::size_t lda, double* cx, double* cy) {
  for (std::size_t i = 0; i < m; ++i) {
    const double* row = M + i * lda;
    cx[i] = (cx[i] - Dot(row, cx, i)) / row[i];
    cy[i] = (cy[i] - Dot(row, cy, i)) / row[i];
  }
  for (std::size_t i = m; i-- > 0;) {
    const double* row = M + i * lda;
    cx[i] /= row[i];
    cy[i] /= row[i];
    // L^T's column i is L's row i: take g_i out of the rows above.
    for (std::size_t j = 0; j < i; ++j) {
      cx[j] -= row[j] * cx[i];
      cy[j] -= row[j] * cy[i];
    }
  }
}

// Element i of diag(Q2 B^-1 Q2^T) for every i, with L (lower, row stride
// lda, order m = n - 3) the factor of B: Q2^T e_i is Q^T e_i less its first
// three elements; one forward substitution takes it to L^-1 Q2^T e_i.
void InverseKernelDiagonal(const TReflector (&h)[3], const double* L, std::size_t n,
                           std::size_t lda, std::vector<double>& diag) {
  const std::size_t m = n - 3;
  diag.assign(n, 0.0);
  std::vector<double> e(n);
  for (std::size_t i = 0; i < n; ++i) {
    std::fill(e.begin(), e.end(), 0.0);
    e[i] = 1;
    for (const TReflector& r : h) Apply(r, e);
    double* z = e.data() + 3;
    for (std::size_t k = 0; k < m; ++k) {
      const double* row = L + k * lda;
      z[k] = (z[k] - Dot(row, z, k)) / row[k];
    }
    diag[i] = Dot(z, z, m);
  }
}

}  // namespace

std::size_t ThinPlateStride(std::size_t n) {
  // The factor's rows (n - 3, rounded up to whole tiles) fit in n rows.
  return (n + kCholeskyColumnTile - 1) / kCholeskyColumnTile * kCholeskyColumnTile;
}

bool SolveThinPlateSystem(TThinPlateSystem& S, TThinPlateSolution& out,
                          std::vector<double>* InverseDiagonal) {
  const std::size_t n = S.N;
  if (n < 3) return false;
  // 1. P = Q [R; 0].
  std::vector<double> P(n * 3);
  for (std::size_t i = 0; i < n; ++i) {
    P[i * 3] = 1;
    P[i * 3 + 1] = S.Pu[i];
    P[i * 3 + 2] = S.Pv[i];
  }
  TReflector h[3];
  for (std::size_t k = 0; k < 3; ++k)
    if (!Reflect(P, n, k, h[k])) return false;
  double R[3][3];
  for (std::size_t r = 0; r < 3; ++r)
    for (std::size_t c = 0; c < 3; ++c) R[r][c] = P[r * 3 + c];
  // A column of R far below the first means points on a line: the affine
  // part is undetermined.
  const double rmax = std::max({std::fabs(R[0][0]), std::fabs(R[1][1]), std::fabs(R[2][2])});
  if (!(std::fabs(R[1][1]) > 1e-12 * rmax && std::fabs(R[2][2]) > 1e-12 * rmax)) return false;

  // 2. B = Q^T K Q, c = Q^T t.
  double* const B = S.K.get();
  const std::size_t ldk = S.Stride;
  std::vector<double> cx = S.Tx, cy = S.Ty;
  for (const TReflector& r : h) {
    ApplyBothSides(r, B, n, ldk);
    Apply(r, cx);
    Apply(r, cy);
  }
  // B[0:3, 3:] for the affine part, before the factor overwrites it.
  const std::size_t m = n - 3;
  std::vector<double> top(3 * m);
  for (std::size_t r = 0; r < 3; ++r) std::copy_n(B + r * ldk + 3, m, top.begin() + r * m);

  // 3. The trailing block moved to the top left of the same rows (each
  //    element to an earlier place, so in one forward pass), its padding
  //    rows zero, and factored there.
  const std::size_t rows = (m + 3) / 4 * 4;
  double largest = 0;
  double* const M = B;
  for (std::size_t i = 0; i < m; ++i)
    for (std::size_t j = 0; j <= i; ++j) {
      const double b = B[(i + 3) * ldk + (j + 3)];
      M[i * ldk + j] = b;
      largest = std::max(largest, std::fabs(b));
    }
  for (std::size_t i = m; i < rows; ++i) std::fill_n(M + i * ldk, ldk, 0.0);
  if (!std::isfinite(largest)) return false;
  // A pivot at rounding level of the matrix's entries leaves the solution
  // meaningless. (Three points leave nothing to factor: the spline is their
  // affine map.)
  if (m > 0 && !CholeskyLower(M, m, ldk, 1e-13 * static_cast<double>(m) * largest)) return false;
  std::vector<double> gx(cx.begin() + 3, cx.end()), gy(cy.begin() + 3, cy.end());
  CholeskySolve(M, m, ldk, gx.data(), gy.data());
  if (InverseDiagonal) InverseKernelDiagonal(h, M, n, ldk, *InverseDiagonal);

  // 4. w = Q [0; g] and the affine part.
  double rx[3], ry[3];
  for (std::size_t r = 0; r < 3; ++r) {
    rx[r] = cx[r] - Dot(top.data() + r * m, gx.data(), m);
    ry[r] = cy[r] - Dot(top.data() + r * m, gy.data(), m);
  }
  for (std::size_t r = 3; r-- > 0;) {
    for (std::size_t c = r + 1; c < 3; ++c) {
      rx[r] -= R[r][c] * out.Ax[c];
      ry[r] -= R[r][c] * out.Ay[c];
    }
    out.Ax[r] = rx[r] / R[r][r];
    out.Ay[r] = ry[r] / R[r][r];
  }
  out.Wx.assign(n, 0.0);
  out.Wy.assign(n, 0.0);
  std::copy(gx.begin(), gx.end(), out.Wx.begin() + 3);
  std::copy(gy.begin(), gy.end(), out.Wy.begin() + 3);
  for (std::size_t k = 3; k-- > 0;) {
    Apply(h[k], out.Wx);
    Apply(h[k], out.Wy);
  }
  return true;
}

}  // namespace marovia::detail
