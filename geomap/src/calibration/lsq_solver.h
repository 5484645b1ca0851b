// Linear least squares by singular value decomposition, for the fits of the
// point calibration models (internal to the map control).
//
// A x ~ b is solved for every shape of A: overdetermined systems get the
// least-squares solution, underdetermined or rank-deficient ones the
// solution of least norm among all least-squares solutions, because the
// back substitution drops every singular value below 1e-14 of the largest.
#pragma once

#include "marovia/zylmath/matrix.h"
#include "marovia/zylmath/vector.h"

namespace marovia {

// Solves A x ~ b in the least-squares sense.
//   A       design matrix, one column per parameter (n) and one row per
//           observation (m); any m, n >= 1. Overwritten: it holds U of
//           A = U W V^T afterwards (m x n; for m < n the first m rows of
//           the decomposition of A padded with zero rows).
//   b       right-hand side, m elements.
//   x       out: the n parameters.
//   StdDev  optional out: n standard deviations of the parameters,
//           sqrt(sum_j V[i,j]^2 / w_j^2) over the kept singular values.
//   Truncated  out: some singular value was dropped (the system was
//           underdetermined or degenerate).
// Progress: ProcStat grows by one before every column of the
// bidiagonalisation and before every singular value, MathFeedBackProc (if
// assigned) is called with it, and a set AbortMathProc stops the
// decomposition. Returns false only then; x is unchanged in that case.
// A singular value that has not converged after 29 QR sweeps keeps its
// current value; that is not a failure.
bool SolveLeastSquares(TMatrix& A, const TVector& b, TVector& x, TVector* StdDev, bool& Truncated);

}  // namespace marovia
