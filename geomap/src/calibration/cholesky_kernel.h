// Cholesky factorisation of a symmetric positive definite matrix, blocked
// and vectorised (internal to the map control; the thin-plate fit's
// solver). Dispatched at run time to the best instruction set.
#pragma once

#include <cstddef>

namespace marovia::detail {

// Tiles of the trailing update are this many columns wide at most, so a
// matrix's row stride must be a multiple of it.
inline constexpr std::size_t kCholeskyColumnTile = 16;

// A = L L^T in place: on entry the lower triangle (and diagonal) of A, row
// major with row stride lda (a multiple of kCholeskyColumnTile, at least n
// rounded up to a multiple of 4), with rows n .. round-up(n, 4) - 1 present
// and zero; on return L in the lower triangle. The strict upper triangle
// and the padding are overwritten with scratch values. False when a pivot
// is not above minPivot (the matrix is not positive definite, or nearly
// singular); A is then partly factored.
bool CholeskyLower(double* A, std::size_t n, std::size_t lda, double minPivot);

}  // namespace marovia::detail
