// A 2-D to 2-D thin-plate spline ("rubber sheeting"), fitted through control
// points (internal to the map control; the thin-plate calibration holds two,
// one for each direction).
//
// The fitted function, for an input point p = (u, v):
//
//   f(p) = a0 + a1 u' + a2 v' + sum_i w_i phi(|p' - p_i'|^2),  phi(d2) = d2 ln d2
//
// once for x and once for y, where p' is p in normalised coordinates: the
// input centred on the centroid of the control points and scaled by one
// factor so that their RMS distance from it is 1. The kernel is r^2 ln r^2
// (twice r^2 ln r, which gives the same interpolant). With smoothing
// lambda = 0 the spline passes exactly through the control points; with
// lambda > 0 it is the regularised spline whose kernel matrix has lambda
// added to its diagonal (in the normalised coordinates, so lambda does not
// depend on the units of u, v, x or y; a very large lambda approaches the
// least-squares affine fit). Since the spline is unchanged by a shift or
// uniform scaling of its input, the normalisation changes only the
// rounding.
//
// A fitted spline is immutable: copies are independent and one may be
// evaluated from several threads at once.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace marovia {

class TThinPlateSpline {
 public:
  // Most control points one spline takes: the system has (n + 3)^2 entries
  // and costs n^3 to solve.
  static constexpr int kMaxPoints = 2000;

  // Fits the spline through the points (u[i], v[i]) -> (x[i], y[i]), all
  // four spans of the same length, with smoothing lambda >= 0. Points that
  // repeat another with the same target are used once. Answers "" when
  // fitted, else the reason: spans of different lengths, fewer than 3 or
  // more than kMaxPoints points, a non-finite coordinate, lambda negative
  // or not finite, coincident points with different targets, all points on
  // one line, or a singular system. Nothing is kept from a failed fit (the
  // spline is then unfitted, whatever it held before).
  std::string Fit(std::span<const double> u, std::span<const double> v, std::span<const double> x,
                  std::span<const double> y, double lambda);

  // The leave-one-out errors of the interpolating spline (lambda 0)
  // through the points: for point i, (x[i], y[i]) less the value at
  // (u[i], v[i]) of the spline through the other points. One factorisation
  // gives them all: for the bordered system A c = [t; 0] the error is
  // c_i / (A^-1)_ii. ok[i] is 0 where the identity's divisor is at rounding
  // level (the other points alone may not determine a spline: refit to
  // know), and every ok[i] is 0 when the fit fails or a point repeats
  // another. The seven spans of the same length (else
  // std::invalid_argument).
  static void LeaveOneOutErrors(std::span<const double> u, std::span<const double> v,
                                std::span<const double> x, std::span<const double> y,
                                std::span<double> ex, std::span<double> ey, std::span<uint8_t> ok);

  bool Fitted() const { return fitted_; }
  // Distinct control points of the fit (0 when unfitted).
  int NumPoints() const { return points_; }
  double Lambda() const { return lambda_; }

  // f(u, v). False (x, y unspecified) when not fitted, or when the input or
  // the result is not finite.
  bool Eval(double u, double v, double& x, double& y) const;

  // Eval for every point; all five spans of the same length (else
  // std::invalid_argument). ok[i] is 1 where Eval answers true, else 0. The
  // results are bit-identical to Eval's.
  void EvalBatch(std::span<const double> u, std::span<const double> v, std::span<double> x,
                 std::span<double> y, std::span<uint8_t> ok) const;

 private:
  void Clear();
  // Fit, and with InverseDiagonal the diagonal of the system's inverse
  // (thin_plate_solve.h) in the order of the distinct points.
  std::string FitSystem(std::span<const double> u, std::span<const double> v,
                        std::span<const double> x, std::span<const double> y, double lambda,
                        std::vector<double>* InverseDiagonal);

  bool fitted_ = false;
  int points_ = 0;
  double lambda_ = 0;
  // Normalisation: p' = (p - (cu, cv)) * scale; outputs are found relative
  // to (cx, cy).
  double cu_ = 0, cv_ = 0, scale_ = 1, cx_ = 0, cy_ = 0;
  // Affine part in normalised input: x - cx = ax[0] + ax[1] u' + ax[2] v'.
  double ax_[3] = {0, 0, 0}, ay_[3] = {0, 0, 0};
  // Kernel centres (normalised) and weights, padded with zero weights to a
  // multiple of the vector padding.
  std::vector<double> pu_, pv_, wx_, wy_;
};

}  // namespace marovia
