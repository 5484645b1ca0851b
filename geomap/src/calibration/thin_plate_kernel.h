// The kernel sums of a thin-plate spline, vectorised over the control
// points (internal to the map control). One implementation serves single
// points and batches, so both give the same bits on a given machine; the
// instruction set is chosen once per process from what the processor offers.
#pragma once

#include <cstddef>

namespace marovia::detail {

// Control point arrays are padded with zero weights to a multiple of this
// many entries, so the vector loop needs no partial loads.
inline constexpr std::size_t kTpsPad = 8;

// Centres (Pu, Pv) and weights (Wx, Wy) of the kernel terms, Count entries
// each (a multiple of kTpsPad; padding entries have zero weights).
struct TTpsKernel {
  const double* Pu;
  const double* Pv;
  const double* Wx;
  const double* Wy;
  std::size_t Count;
};

// For each of the n points (u[i], v[i]):
//   Sx[i] = sum_j Wx[j] phi(d2_j),  Sy[i] = sum_j Wy[j] phi(d2_j),
// with d2_j = (u - Pu[j])^2 + (v - Pv[j])^2 and phi(d2) = d2 ln d2,
// phi(0) = 0. A non-finite point gives non-finite sums.
void TpsKernelSums(const TTpsKernel& k, const double* u, const double* v, std::size_t n, double* Sx,
                   double* Sy);

// The kernel matrix of n points: K[i][j] = phi(d2_ij) off the diagonal
// (exactly symmetric), K[i][i] = diagonal; row major with row stride ldk.
// Answers the largest sum of absolute values of a row.
double TpsKernelMatrix(const double* Pu, const double* Pv, std::size_t n, double diagonal,
                       double* K, std::size_t ldk);

}  // namespace marovia::detail
