// Blocked right-looking Cholesky (cholesky_kernel.h): for each panel of
// kPanel columns,
//   1. factor the diagonal block (small: plain loops);
//   2. solve the panel below it against that block, on a transposed copy so
//      that the vector lanes run along the rows;
//   3. subtract the panel's outer product from the trailing lower triangle,
//      in tiles of 4 rows by two vectors of columns whose sums stay in
//      registers while the transposed panel streams from the first-level
//      cache.
// Step 3 holds all but a vanishing share of the n^3 / 3 multiply-adds.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "calibration/cholesky_kernel.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/aligned_allocator.h>
#include <hwy/highway.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "calibration/cholesky_kernel.h"

HWY_BEFORE_NAMESPACE();
namespace marovia::detail::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

inline constexpr std::size_t kPanel = 64;  // a multiple of kCholeskyColumnTile

// A[i][j] -= sum_p PT[p][i] PT[p][j] for first <= j <= i < n (and scratch
// beyond the diagonal within the tiles), p < kb; PT has row stride lda.
void TrailingUpdate(double* A, std::size_t n, std::size_t lda, const double* PT, std::size_t kb,
                    std::size_t first) {
  const hn::ScalableTag<double> d;
  using V = hn::Vec<decltype(d)>;
  const std::size_t lanes = hn::Lanes(d);
  const std::size_t tile = std::min<std::size_t>(2 * lanes, kCholeskyColumnTile);
  const std::size_t vectors = tile / lanes;  // 1 or 2
  for (std::size_t j = first; j < n; j += tile) {
    // Rows from the first one that has a column of this tile on or below
    // the diagonal, in blocks of 4 (rows are padded to a multiple of 4).
    const std::size_t i0 = j - (j - first) % 4;
    for (std::size_t i = i0; i < n; i += 4) {
      V c00 = hn::Zero(d), c01 = hn::Zero(d), c10 = hn::Zero(d), c11 = hn::Zero(d);
      V c20 = hn::Zero(d), c21 = hn::Zero(d), c30 = hn::Zero(d), c31 = hn::Zero(d);
      for (std::size_t p = 0; p < kb; ++p) {
        const double* row = PT + p * lda;
        const V b0 = hn::Load(d, row + j);
        const V a0 = hn::Set(d, row[i]), a1 = hn::Set(d, row[i + 1]);
        const V a2 = hn::Set(d, row[i + 2]), a3 = hn::Set(d, row[i + 3]);
        c00 = hn::MulAdd(a0, b0, c00);
        c10 = hn::MulAdd(a1, b0, c10);
        c20 = hn::MulAdd(a2, b0, c20);
        c30 = hn::MulAdd(a3, b0, c30);
        if (vectors == 2) {
          const V b1 = hn::Load(d, row + j + lanes);
          c01 = hn::MulAdd(a0, b1, c01);
          c11 = hn::MulAdd(a1, b1, c11);
          c21 = hn::MulAdd(a2, b1, c21);
          c31 = hn::MulAdd(a3, b1, c31);
        }
      }
      double* r0 = A + i * lda + j;
      const V sums[4][2] = {{c00, c01}, {c10, c11}, {c20, c21}, {c30, c31}};
      for (std::size_t r = 0; r < 4; ++r) {
        for (std::size_t v = 0; v < vectors; ++v) {
          double* at = r0 + r * lda + v * lanes;
          hn::Store(hn::Sub(hn::Load(d, at), sums[r][v]), d, at);
        }
      }
    }
  }
}

// PT[p][i] for first <= i < rows: the panel rows solved against the
// diagonal block L11 (rows k0..k0+kb of A): PT[p] = (PT[p] - sum_{q<p}
// L11[p][q] PT[q]) / L11[p][p].
void PanelSolve(const double* A, std::size_t lda, std::size_t k0, std::size_t kb, double* PT,
                std::size_t first, std::size_t rows) {
  const hn::ScalableTag<double> d;
  const std::size_t lanes = hn::Lanes(d);
  const std::size_t start = first - first % lanes;  // PT rows are aligned
  for (std::size_t p = 0; p < kb; ++p) {
    double* tp = PT + p * lda;
    const double* l = A + (k0 + p) * lda + k0;
    for (std::size_t q = 0; q < p; ++q) {
      const auto f = hn::Set(d, l[q]);
      const double* tq = PT + q * lda;
      for (std::size_t i = start; i < rows; i += lanes)
        hn::Store(hn::NegMulAdd(f, hn::Load(d, tq + i), hn::Load(d, tp + i)), d, tp + i);
    }
    const auto inv = hn::Set(d, 1.0 / l[p]);
    for (std::size_t i = start; i < rows; i += lanes)
      hn::Store(hn::Mul(hn::Load(d, tp + i), inv), d, tp + i);
  }
}

bool CholeskyKernel(double* A, std::size_t n, std::size_t lda, double minPivot) {
  const std::size_t rows = (n + 3) / 4 * 4;
  // The transposed panel, with room for whole vectors past the last row.
  const hwy::AlignedFreeUniquePtr<double[]> panel = hwy::AllocateAligned<double>(kPanel * lda);
  double* PT = panel.get();
  std::fill(PT, PT + kPanel * lda, 0.0);
  for (std::size_t k0 = 0; k0 < n; k0 += kPanel) {
    const std::size_t kb = std::min(kPanel, n - k0);
    // 1. The diagonal block, row by row.
    for (std::size_t j = k0; j < k0 + kb; ++j) {
      double* rj = A + j * lda;
      double s = rj[j];
      for (std::size_t p = k0; p < j; ++p) s -= rj[p] * rj[p];
      if (!(s > minPivot)) return false;
      rj[j] = std::sqrt(s);
      for (std::size_t i = j + 1; i < k0 + kb; ++i) {
        double* ri = A + i * lda;
        double t = ri[j];
        for (std::size_t p = k0; p < j; ++p) t -= ri[p] * rj[p];
        ri[j] = t / rj[j];
      }
    }
    const std::size_t first = k0 + kb;
    if (first >= n) break;
    // 2. The panel below, transposed, solved, and written back as L.
    for (std::size_t i = first; i < rows; ++i)
      for (std::size_t p = 0; p < kb; ++p) PT[p * lda + i] = A[i * lda + k0 + p];
    PanelSolve(A, lda, k0, kb, PT, first, rows);
    for (std::size_t i = first; i < n; ++i)
      for (std::size_t p = 0; p < kb; ++p) A[i * lda + k0 + p] = PT[p * lda + i];
    // 3. The trailing lower triangle.
    TrailingUpdate(A, n, lda, PT, kb, first);
  }
  return true;
}

}  // namespace marovia::detail::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace marovia::detail {

HWY_EXPORT(CholeskyKernel);

bool CholeskyLower(double* A, std::size_t n, std::size_t lda, double minPivot) {
  return HWY_DYNAMIC_DISPATCH(CholeskyKernel)(A, n, lda, minPivot);
}

}  // namespace marovia::detail
#endif  // HWY_ONCE
