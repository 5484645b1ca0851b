// TCurveFit against systems solved by hand.
#include <gtest/gtest.h>

#include <cmath>

#include "marovia/zylmath/curvefit.h"
#include "marovia/zylmath/math1.h"

using namespace marovia;

namespace {
TCurveFit Filled(std::initializer_list<std::pair<double, double>> pairs) {
  TCurveFit f;
  for (const auto& [x, y] : pairs) f.EnterStatValue(x, y);
  return f;
}
}  // namespace

TEST(TCurveFit, LinFitOfExactAndNoisyData) {
  double k, d, q;
  Filled({{-2, -5}, {1, 1}, {4, 7}}).CalcLinFit(k, d, q);
  EXPECT_NEAR(k, 2, 1e-14);
  EXPECT_NEAR(d, -1, 1e-14);
  EXPECT_NEAR(q, 0, 1e-14);
  // Solved by hand: k = 11/5, d = 7/10, residuals 0.3 0.1 -1.1 0.7.
  Filled({{0, 1}, {1, 3}, {2, 4}, {3, 8}}).CalcLinFit(k, d, q);
  EXPECT_NEAR(k, 2.2, 1e-14);
  EXPECT_NEAR(d, 0.7, 1e-14);
  EXPECT_NEAR(q, std::sqrt(0.45), 1e-14);
}

TEST(TCurveFit, LinFitStaysAccurateFarFromTheOrigin) {
  // Longitudes in radians around a large offset: the naive sums lose
  // everything here.
  TCurveFit f;
  for (int i = 0; i < 10; ++i) {
    const double x = 1e6 + i * 1e-3;
    f.EnterStatValue(x, 3 * (x - 1e6) + 5);
  }
  double k, d, q;
  f.CalcLinFit(k, d, q);
  EXPECT_NEAR(k, 3, 1e-6);
  EXPECT_NEAR(k * (1e6 + 4e-3) + d, 5.012, 1e-6);
}

TEST(TCurveFit, ParabolaThroughThreeExactPoints) {
  double a0, a1, a2, q;
  // y = 2 - 3x + 0.5x^2
  Filled({{1, -0.5}, {2, -2}, {4, -2}}).CalcParabolFit(a0, a1, a2, q);
  EXPECT_NEAR(a0, 2, 1e-12);
  EXPECT_NEAR(a1, -3, 1e-12);
  EXPECT_NEAR(a2, 0.5, 1e-12);
  EXPECT_NEAR(q, 0, 1e-12);
  // Pixel rows of a large map: the curve itself must come out right.
  auto y = [](double x) { return 512.25 + 0.125 * x - 2.5e-5 * x * x; };
  Filled({{3000, y(3000)}, {4500, y(4500)}, {6100, y(6100)}}).CalcParabolFit(a0, a1, a2, q);
  EXPECT_NEAR(a2, -2.5e-5, 1e-15);
  EXPECT_NEAR(a1, 0.125, 1e-10);
  for (double x : {3000.0, 5000.0, 6100.0}) EXPECT_NEAR(a0 + a1 * x + a2 * x * x, y(x), 1e-8);
}

TEST(TCurveFit, ParabolaOfNoisyData) {
  // Normal equations solved by hand: a0 = 29/20, a1 = 7/20, a2 = 3/4, SSR 9/20.
  double a0, a1, a2, q;
  Filled({{-1, 2}, {0, 1}, {1, 3}, {2, 5}}).CalcParabolFit(a0, a1, a2, q);
  EXPECT_NEAR(a0, 1.45, 1e-13);
  EXPECT_NEAR(a1, 0.35, 1e-13);
  EXPECT_NEAR(a2, 0.75, 1e-13);
  EXPECT_NEAR(q, std::sqrt(0.45 / 4), 1e-13);
}

TEST(TCurveFit, DegenerateDataGiveALowerOrderFitInsteadOfAnError) {
  // The calibration fits call these on points the user chose: a conic apex
  // candidate in the row of every point leaves no pairs, and points of a
  // graticule line may share a row. Those must fit, not throw.
  double a, b, c, q;
  Filled({}).CalcLinFit(a, b, q);
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 0);
  EXPECT_EQ(q, 0);
  Filled({{1, 2}}).CalcLinFit(a, b, q);
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 2);
  // Equal x whose mean is not exactly representable still count as equal.
  Filled({{0.1, 1}, {0.1, 2}, {0.1, 3}}).CalcLinFit(a, b, q);
  EXPECT_EQ(a, 0);
  EXPECT_NEAR(b, 2, 1e-15);
  EXPECT_NEAR(q, std::sqrt(2.0 / 3), 1e-15);
  // Two different x: the parabola is the least-squares line.
  Filled({{1, 1}, {2, 2}}).CalcParabolFit(a, b, c, q);
  EXPECT_NEAR(a, 0, 1e-14);
  EXPECT_NEAR(b, 1, 1e-14);
  EXPECT_EQ(c, 0);
  Filled({{1, 1}, {2, 2}, {1, 3}, {2, 5}}).CalcParabolFit(a, b, c, q);
  EXPECT_NEAR(a + b, 2, 1e-14);        // mean of y at x = 1
  EXPECT_NEAR(a + 2 * b, 3.5, 1e-14);  // mean of y at x = 2
  EXPECT_EQ(c, 0);
  EXPECT_NEAR(q, std::sqrt(6.5 / 4), 1e-14);
  Filled({{7, 1}, {7, 5}, {7, 6}}).CalcParabolFit(a, b, c, q);
  EXPECT_NEAR(a, 4, 1e-14);
  EXPECT_EQ(b, 0);
  EXPECT_EQ(c, 0);
  Filled({}).CalcParabolFit(a, b, c, q);
  EXPECT_EQ(a, 0);
  EXPECT_EQ(q, 0);
  TCurveFit f = Filled({{1, 1}, {2, 2}});
  f.Init();
  EXPECT_EQ(f.NumData(), 0);
}

TEST(TCurveFit, Statistics) {
  int32_t n;
  double r[7];
  Filled({{1, 2}, {2, 2}, {3, 5}}).CalcStatistics(n, r[0], r[1], r[2], r[3], r[4], r[5], r[6]);
  EXPECT_EQ(n, 3);
  EXPECT_DOUBLE_EQ(r[0], 2);                    // mean x
  EXPECT_DOUBLE_EQ(r[1], 3);                    // mean y
  EXPECT_DOUBLE_EQ(r[2], 1);                    // sd x
  EXPECT_DOUBLE_EQ(r[3], std::sqrt(3.0));       // sd y
  EXPECT_DOUBLE_EQ(r[4], 3 / std::sqrt(12.0));  // correlation
  EXPECT_DOUBLE_EQ(r[5], std::sqrt(5.0 / 3));   // rms of y - x
  EXPECT_DOUBLE_EQ(r[6], 2);                    // largest |y - x|
  // A perfect calibration has quality 0 even with a constant axis.
  Filled({{7, 7}, {7, 7}}).CalcStatistics(n, r[0], r[1], r[2], r[3], r[4], r[5], r[6]);
  EXPECT_EQ(r[4], 0);
  EXPECT_EQ(r[5], 0);
  Filled({}).CalcStatistics(n, r[0], r[1], r[2], r[3], r[4], r[5], r[6]);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(r[5], 0);
}
