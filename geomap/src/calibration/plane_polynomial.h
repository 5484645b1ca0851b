// A polynomial map of the plane, fitted by least squares: between image
// pixels and the projected metres of a known CRS, one instance for each
// direction (internal to the map control).
//
// Terms, with (u', v') the input centred on the points' centroid and divided
// by their RMS distance from it (so metres in the millions and pixels in the
// hundreds condition the same):
//
//   order 1 (affine):        1  u'  v'
//   order 2 (second order):  1  u'  v'  u'^2  u'v'  v'^2
//
// once for x and once for y. A fitted polynomial is immutable and may be
// evaluated from several threads at once.
#pragma once

#include <array>
#include <span>
#include <string>

namespace marovia {

class TPlanePolynomial {
 public:
  // Fits (u[i], v[i]) -> (x[i], y[i]) with Order 1 (at least 3 points) or 2
  // (at least 6), all four spans of the same length. Answers "" when
  // fitted, else the reason: an order other than 1 or 2, spans of different
  // lengths, too few points, a non-finite coordinate, or points that do not
  // determine the terms (all on one line, or for order 2 on one conic).
  // A failed fit leaves the polynomial unfitted.
  std::string Fit(int Order, std::span<const double> u, std::span<const double> v,
                  std::span<const double> x, std::span<const double> y);

  bool Fitted() const { return order_ != 0; }
  // 1 or 2; 0 when unfitted.
  int Order() const { return order_; }

  // False when unfitted or when the input or the result is not finite.
  bool Eval(double u, double v, double& x, double& y) const;

 private:
  int order_ = 0;
  double cu_ = 0, cv_ = 0, scale_ = 1;
  std::array<double, 6> cx_{}, cy_{};
};

}  // namespace marovia
