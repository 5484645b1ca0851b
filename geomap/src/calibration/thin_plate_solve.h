// The linear system of a thin-plate spline (internal to the map control):
//
//    [ K + lambda I   P ] [ w ]   [ t ]       K[i][j] = phi(|p_i - p_j|^2)
//    [ P^T            0 ] [ a ] = [ 0 ]       P[i]    = [1  u_i  v_i]
//
// for two right-hand sides t at once. The solver works in the null space of
// P^T, where the kernel of the thin-plate spline is positive definite: with
// P = Q [R; 0] (three Householder reflections), w = Q2 g and
//
//    (Q2^T K Q2) g = Q2^T t,     R a = Q1^T (t - K w),
//
// so one Cholesky factorisation of order n - 3 (blocked and vectorised,
// cholesky_kernel.h) serves both right-hand sides, at a third of the cost
// of a pivoted LU of the bordered system.
#pragma once

#include <hwy/aligned_allocator.h>

#include <cstddef>
#include <vector>

namespace marovia::detail {

struct TThinPlateSystem {
  std::size_t N = 0;       // control points
  std::size_t Stride = 0;  // of K's rows: ThinPlateStride(N)
  // N rows, row major: phi off the diagonal, lambda on it.
  hwy::AlignedFreeUniquePtr<double[]> K;
  std::vector<double> Pu, Pv;  // the points (normalised), N each
  std::vector<double> Tx, Ty;  // the two right-hand sides, N each
};

// The row stride K needs: room for the solver to factor in place.
std::size_t ThinPlateStride(std::size_t n);

struct TThinPlateSolution {
  std::vector<double> Wx, Wy;  // kernel weights, N each
  double Ax[3] = {0, 0, 0}, Ay[3] = {0, 0, 0};
};

// Solves the system (K is used as scratch). False when it is singular or
// nearly so: the points' affine part is undetermined (P of rank below 3), or
// the reduced kernel matrix is not safely positive definite.
//
// With InverseDiagonal, also the first N diagonal elements of the bordered
// matrix's inverse, from the same factorisation: that block of the inverse
// is Q2 B^-1 Q2^T (B the reduced kernel matrix), so element i is
// |L^-1 Q2^T e_i|^2 for B = L L^T.
bool SolveThinPlateSystem(TThinPlateSystem& System, TThinPlateSolution& Solution,
                          std::vector<double>* InverseDiagonal = nullptr);

}  // namespace marovia::detail
