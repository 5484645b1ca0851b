// Least squares by the Golub-Reinsch singular value decomposition:
// Householder reduction to upper bidiagonal form, accumulation of the
// transformations, then implicitly shifted QR sweeps on the bidiagonal
// matrix until every superdiagonal element is negligible.
//
// The decomposition works on a dense row-major copy (rows >= columns; a
// system with fewer observations than parameters is padded with zero rows,
// which changes neither the least-squares nor the minimum-norm solution).
#include "calibration/lsq_solver.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "marovia/zylbase/zylbase.h"

namespace marovia {

namespace {

constexpr int kMaxSweeps = 29;          // QR sweeps per singular value
constexpr double kSingularCut = 1e-14;  // share of the largest singular value

// |a| with the sign of b (b = 0 counts as positive).
double Sign(double a, double b) {
  return b >= 0 ? std::fabs(a) : -std::fabs(a);
}

// sqrt(a^2 + b^2), taken directly.
double Hypot(double a, double b) {
  return std::sqrt(a * a + b * b);
}

// One step of progress; false when the host asks to stop.
bool Progress() {
  ProcStat += 1;
  if (MathFeedBackProc) MathFeedBackProc(ProcStat);
  return !AbortMathProc;
}

class Dense {
 public:
  Dense(int rows, int cols) : rows_(rows), cols_(cols), v_(static_cast<size_t>(rows) * cols) {}
  int Rows() const { return rows_; }
  int Cols() const { return cols_; }
  double& operator()(int r, int c) { return v_[static_cast<size_t>(r) * cols_ + c]; }
  double operator()(int r, int c) const { return v_[static_cast<size_t>(r) * cols_ + c]; }

 private:
  int rows_, cols_;
  std::vector<double> v_;
};

// The decomposition in progress: u (m x n) becomes U, w the diagonal and
// e the superdiagonal of the bidiagonal form (e[i] couples w[i-1] and w[i];
// e[0] is always 0), v the n x n matrix V. anorm bounds the bidiagonal
// matrix; elements that do not change anorm when added are negligible.
struct Svd {
  Dense u;
  Dense v;
  std::vector<double> w;
  std::vector<double> e;
  double anorm = 0;

  Svd(int m, int n) : u(m, n), v(n, n), w(n), e(n) {}
  bool Negligible(double x) const { return std::fabs(x) + anorm == anorm; }
};

// Householder reflection of column i below the diagonal; returns the new
// diagonal element. The reflection vector stays in u below and on the
// diagonal.
double ReflectColumn(Dense& u, int i) {
  const int m = u.Rows(), n = u.Cols();
  double scale = 0;
  for (int k = i; k < m; ++k) scale += std::fabs(u(k, i));
  if (scale == 0) return 0;
  double s = 0;
  for (int k = i; k < m; ++k) {
    u(k, i) /= scale;
    s += u(k, i) * u(k, i);
  }
  const double f = u(i, i);
  const double g = -Sign(std::sqrt(s), f);
  const double h = f * g - s;
  u(i, i) = f - g;
  for (int j = i + 1; j < n; ++j) {
    double sum = 0;
    for (int k = i; k < m; ++k) sum += u(k, i) * u(k, j);
    const double factor = sum / h;
    for (int k = i; k < m; ++k) u(k, j) += factor * u(k, i);
  }
  for (int k = i; k < m; ++k) u(k, i) *= scale;
  return scale * g;
}

// Householder reflection of row i right of the superdiagonal; returns the
// new superdiagonal element (i, i + 1). The reflection vector stays in u.
double ReflectRow(Dense& u, int i, std::vector<double>& tmp) {
  const int m = u.Rows(), n = u.Cols();
  if (i + 1 >= n) return 0;
  double scale = 0;
  for (int k = i + 1; k < n; ++k) scale += std::fabs(u(i, k));
  if (scale == 0) return 0;
  double s = 0;
  for (int k = i + 1; k < n; ++k) {
    u(i, k) /= scale;
    s += u(i, k) * u(i, k);
  }
  const double f = u(i, i + 1);
  const double g = -Sign(std::sqrt(s), f);
  const double h = f * g - s;
  u(i, i + 1) = f - g;
  for (int k = i + 1; k < n; ++k) tmp[k] = u(i, k) / h;
  for (int j = i + 1; j < m; ++j) {
    double sum = 0;
    for (int k = i + 1; k < n; ++k) sum += u(j, k) * u(i, k);
    for (int k = i + 1; k < n; ++k) u(j, k) += sum * tmp[k];
  }
  for (int k = i + 1; k < n; ++k) u(i, k) *= scale;
  return scale * g;
}

// Step 1: reduction to bidiagonal form. False when aborted.
bool Bidiagonalise(Svd& d) {
  const int n = d.u.Cols();
  std::vector<double> tmp(n);
  for (int i = 0; i < n; ++i) {
    if (!Progress()) return false;
    d.w[i] = ReflectColumn(d.u, i);
    if (i + 1 < n) d.e[i + 1] = ReflectRow(d.u, i, tmp);
    d.anorm = std::max(d.anorm, std::fabs(d.w[i]) + std::fabs(d.e[i]));
  }
  return true;
}

// Step 2: V as the product of the row reflections, built from the last.
void AccumulateRight(Svd& d) {
  const int n = d.u.Cols();
  Dense& u = d.u;
  Dense& v = d.v;
  for (int i = n - 1; i >= 0; --i) {
    const int l = i + 1;
    if (l < n) {
      const double g = d.e[l];
      if (g != 0) {
        // Divided twice so that a tiny u(i, l) * g cannot underflow.
        for (int j = l; j < n; ++j) v(j, i) = (u(i, j) / u(i, l)) / g;
        for (int j = l; j < n; ++j) {
          double s = 0;
          for (int k = l; k < n; ++k) s += u(i, k) * v(k, j);
          for (int k = l; k < n; ++k) v(k, j) += s * v(k, i);
        }
      }
      for (int j = l; j < n; ++j) v(i, j) = v(j, i) = 0;
    }
    v(i, i) = 1;
  }
}

// Step 3: U as the product of the column reflections, in place.
void AccumulateLeft(Svd& d) {
  const int m = d.u.Rows(), n = d.u.Cols();
  Dense& u = d.u;
  for (int i = n - 1; i >= 0; --i) {
    const int l = i + 1;
    for (int j = l; j < n; ++j) u(i, j) = 0;
    if (d.w[i] != 0) {
      const double g = 1 / d.w[i];
      for (int j = l; j < n; ++j) {
        double s = 0;
        for (int k = l; k < m; ++k) s += u(k, i) * u(k, j);
        const double f = (s / u(i, i)) * g;
        for (int k = i; k < m; ++k) u(k, j) += f * u(k, i);
      }
      for (int j = i; j < m; ++j) u(j, i) *= g;
    } else {
      for (int j = i; j < m; ++j) u(j, i) = 0;
    }
    u(i, i) += 1;
  }
}

// Plane rotation of columns a and b of a matrix: (a, b) := (a c + b s, b c - a s).
void RotateColumns(Dense& x, int a, int b, double c, double s) {
  for (int r = 0; r < x.Rows(); ++r) {
    const double p = x(r, a);
    const double q = x(r, b);
    x(r, a) = p * c + q * s;
    x(r, b) = q * c - p * s;
  }
}

// Start of the unreduced block that ends at k: the largest l <= k with
// e[l] negligible, or with w[l - 1] negligible (then *cancel is set: e[l]
// must be chased out before w[l - 1] can be split off).
int BlockStart(const Svd& d, int k, bool& cancel) {
  for (int l = k; l > 0; --l) {
    if (d.Negligible(d.e[l])) {
      cancel = false;
      return l;
    }
    if (d.Negligible(d.w[l - 1])) {
      cancel = true;
      return l;
    }
  }
  cancel = false;  // e[0] is 0
  return 0;
}

// Zeroes e[l..k] by rotations against the negligible w[l - 1].
void CancelSuperdiagonal(Svd& d, int l, int k) {
  const int nm = l - 1;
  double c = 0, s = 1;
  for (int i = l; i <= k; ++i) {
    const double f = s * d.e[i];
    d.e[i] = c * d.e[i];
    if (d.Negligible(f)) break;
    const double g = d.w[i];
    double h = Hypot(f, g);
    d.w[i] = h;
    h = 1 / h;
    c = g * h;
    s = -f * h;
    RotateColumns(d.u, nm, i, c, s);
  }
}

// One implicitly shifted QR sweep over the block l..k (l < k), the shift
// taken from the trailing 2 x 2 minor.
void QrSweep(Svd& d, int l, int k) {
  double x = d.w[l];
  const int nm = k - 1;
  double y = d.w[nm];
  double z = d.w[k];
  double g = d.e[nm];
  double h = d.e[k];
  double f = ((y - z) * (y + z) + (g - h) * (g + h)) / (2 * h * y);
  g = Hypot(f, 1);
  f = ((x - z) * (x + z) + h * ((y / (f + Sign(g, f))) - h)) / x;

  double c = 1, s = 1;
  for (int j = l; j <= nm; ++j) {
    const int i = j + 1;
    g = d.e[i];
    y = d.w[i];
    h = s * g;
    g = c * g;
    z = Hypot(f, h);
    d.e[j] = z;
    c = f / z;
    s = h / z;
    f = x * c + g * s;
    g = g * c - x * s;
    h = y * s;
    y *= c;
    RotateColumns(d.v, j, i, c, s);
    z = Hypot(f, h);
    d.w[j] = z;
    if (z != 0) {  // otherwise the rotation angle is arbitrary: keep c, s
      z = 1 / z;
      c = f * z;
      s = h * z;
    }
    f = c * g + s * y;
    x = c * y - s * g;
    RotateColumns(d.u, j, i, c, s);
  }
  d.e[l] = 0;
  d.e[k] = f;
  d.w[k] = x;
}

// Step 4: diagonalisation of the bidiagonal form, last singular value
// first. False when aborted.
bool Diagonalise(Svd& d) {
  const int n = d.u.Cols();
  for (int k = n - 1; k >= 0; --k) {
    if (!Progress()) return false;
    for (int sweep = 0;; ++sweep) {
      bool cancel = false;
      const int l = BlockStart(d, k, cancel);
      if (cancel) CancelSuperdiagonal(d, l, k);
      if (l == k) {
        // Converged: singular values are made non-negative.
        if (d.w[k] < 0) {
          d.w[k] = -d.w[k];
          for (int j = 0; j < n; ++j) d.v(j, k) = -d.v(j, k);
        }
        break;
      }
      if (sweep == kMaxSweeps) break;  // keeps its current value
      QrSweep(d, l, k);
    }
  }
  return true;
}

}  // namespace

bool SolveLeastSquares(TMatrix& A, const TVector& b, TVector& x, TVector* StdDev, bool& Truncated) {
  Truncated = false;
  const int n = A.NrOfColumns();
  const int m = A.NrOfRows();
  const int rows = std::max(m, n);
  Svd d(rows, n);
  for (int r = 0; r < m; ++r)
    for (int c = 0; c < n; ++c) d.u(r, c) = A.GetVal(c + 1, r + 1);

  if (!Bidiagonalise(d)) return false;
  AccumulateRight(d);
  AccumulateLeft(d);
  if (!Diagonalise(d)) return false;

  for (int r = 0; r < m; ++r)
    for (int c = 0; c < n; ++c) A.SetVal(c + 1, r + 1, d.u(r, c));

  double wmax = 0;
  for (const double w : d.w) wmax = std::max(wmax, w);
  const double cut = wmax * kSingularCut;
  for (double& w : d.w) {
    if (w < cut) {
      w = 0;
      Truncated = true;
    }
  }

  // x = V diag(1 / w) U^T b over the kept singular values.
  std::vector<double> t(n, 0.0);
  for (int j = 0; j < n; ++j) {
    if (d.w[j] == 0) continue;
    double s = 0;
    for (int r = 0; r < m; ++r) s += d.u(r, j) * b.GetVal(r + 1);
    t[j] = s / d.w[j];
  }
  x.SetVecSize(n);
  for (int i = 0; i < n; ++i) {
    double s = 0;
    for (int j = 0; j < n; ++j) s += d.v(i, j) * t[j];
    x.SetVal(i + 1, s);
  }

  if (StdDev != nullptr) {
    StdDev->SetVecSize(n);
    for (int i = 0; i < n; ++i) {
      double s = 0;
      for (int j = 0; j < n; ++j) {
        if (d.w[j] != 0) s += d.v(i, j) * d.v(i, j) / (d.w[j] * d.w[j]);
      }
      StdDev->SetVal(i + 1, std::sqrt(s));
    }
  }
  return true;
}

}  // namespace marovia
