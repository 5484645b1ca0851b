// TCurveFit: least-squares lines and parabolas through pairs (x, y), and
// statistics of the pairs.
#pragma once

#include <cstdint>
#include <vector>

#include "marovia/platform/classes.h"

namespace marovia {

// Collects pairs (x, y) and fits them. Create(nil) is the default
// constructor. The fits work on centred and scaled x values and solve by
// orthogonal (Householder) decomposition, so they stay accurate when the x
// values are large compared with their spread (pixel rows, radians plus an
// offset); the coefficients of exact data come back to about 1e-12 relative.
class TCurveFit : public TObject {
 public:
  TCurveFit() = default;
  std::string ClassName() const override { return "TCurveFit"; }

  // Forgets all pairs.
  void Init() {
    xs_.clear();
    ys_.clear();
  }
  // Adds a pair.
  void EnterStatValue(double x, double y);
  int32_t NumData() const { return static_cast<int32_t>(xs_.size()); }

  // Least-squares line y = k*x + d. q is the root-mean-square residual
  // (0 for exact data). Data that do not fix the line still get a
  // least-squares answer, never an error, since the fits run on whatever
  // points a user clicked: when the x values do not vary (one pair, or x
  // values that agree to about 14 digits) k is 0 and d the mean of y; with
  // no pairs all three are 0.
  void CalcLinFit(double& k, double& d, double& q) const;

  // Least-squares parabola y = a0 + a1*x + a2*x^2. q is the root-mean-square
  // residual. With two different x values the answer is the fitted line
  // (a2 = 0), with one the mean of y (a1 = a2 = 0), with no pairs all 0.
  void CalcParabolFit(double& a0, double& a1, double& a2, double& q) const;

  // Statistics of the pairs (all 0 for no pairs):
  //   NumData  number of pairs
  //   r1, r2   mean of x, mean of y
  //   r3, r4   sample standard deviation of x, of y (n - 1 in the
  //            denominator; 0 for a single pair)
  //   r5       correlation coefficient of x and y (0 when either does not
  //            vary)
  //   r6       root-mean-square difference of y and x: sqrt(mean((y - x)^2));
  //            for pairs (measured, computed) it is the typical error in the
  //            unit of the data (the calibration quality in pixels)
  //   r7       largest |y - x|
  void CalcStatistics(int32_t& NumData, double& r1, double& r2, double& r3, double& r4, double& r5,
                      double& r6, double& r7) const;

 private:
  std::vector<double> xs_;
  std::vector<double> ys_;
};

}  // namespace marovia
