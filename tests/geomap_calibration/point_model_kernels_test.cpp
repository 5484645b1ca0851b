// The vectorised Miller and conic formulas against the same formulas in
// long double through the C library (tanl, logl, expl, atanl, sqrtl), on
// random positions and pixels over every instruction set: the vector sine,
// cosine, logarithm, exponential and arctangent must not cost the models
// accuracy. A counted tail (not a whole number of vectors) and NaN inputs
// are included.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "calibration/point_model_kernels.h"
#include "support/simd_targets.h"

namespace marovia::pointmodel {
namespace {

constexpr std::size_t kCount = 20001;
constexpr long double kPiL = 3.141592653589793238462643383279502884L;

std::vector<double> Uniform(double lo, double hi, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u(lo, hi);
  std::vector<double> v(kCount);
  for (double& x : v) x = u(rng);
  v.back() = NAN;
  return v;
}

// Worst |ours - exact| / scale(i) over the finite references; NaN where
// the reference is must be NaN in ours.
template <class Exact, class Scale>
double WorstError(const std::vector<double>& ours, Exact exact, Scale scale) {
  double worst = 0;
  for (std::size_t i = 0; i < ours.size(); ++i) {
    const long double e = exact(i);
    if (std::isnan(e)) {
      EXPECT_TRUE(std::isnan(ours[i])) << i;
      continue;
    }
    worst = std::max(worst, static_cast<double>(std::fabs(ours[i] - e) / scale(i)));
  }
  return worst;
}

TEST(PointModelKernels, MillerAgreesWithTheFormulasInLongDouble) {
  // 1:1 million scale: some 5000 pixels per unit of the Miller function.
  const std::array<std::array<double, 2>, 2> m = {{{-5123.25, 20481.5}, {5000.0, 1234.0}}};
  const std::vector<double> lat = Uniform(-89.9, 89.9, 1);
  const std::vector<double> rows = Uniform(-20000, 60000, 2);
  testing::ForEachSimdTarget([&](const std::string&) {
    std::vector<double> y(kCount), back(kCount);
    MillerRows(m, kCount, lat.data(), y.data());
    MillerLatitudes(m, kCount, rows.data(), back.data());
    const double rowError = WorstError(
        y,
        [&](std::size_t i) {
          const long double a = lat[i] * 0.4L * kPiL / 180 + kPiL / 4;
          return m[0][0] * logl(tanl(a)) + m[0][1];
        },
        [](std::size_t) { return 1.0; });
    EXPECT_LT(rowError, 1e-9) << "pixels";
    const double latError = WorstError(
        back,
        [&](std::size_t i) {
          const long double v = (rows[i] - static_cast<long double>(m[0][1])) / m[0][0];
          return (atanl(expl(v)) - kPiL / 4) * 180 / (0.4L * kPiL);
        },
        [](std::size_t) { return 1.0; });
    EXPECT_LT(latError, 1e-11) << "degrees";
  });
}

TEST(PointModelKernels, ConicAgreesWithTheFormulasInLongDoubleOnBothSidesOfTheApex) {
  const std::vector<double> lat = Uniform(35, 62, 3), lon = Uniform(-12, 28, 4);
  const std::vector<double> x = Uniform(-3000, 9000, 5), yPix = Uniform(0, 8000, 6);
  // Apex above the map (latitude falls away from it) and below it.
  for (const std::array<double, 6> p : {std::array<double, 6>{4000, -52000, -0.00021, 74, 72, 8},
                                        std::array<double, 6>{4000, 61000, 0.00021, 27, 72, 8}}) {
    SCOPED_TRACE(p[2] < 0 ? "apex above" : "apex below");
    testing::ForEachSimdTarget([&](const std::string&) {
      std::vector<double> y(kCount), t(kCount), back(kCount);
      ConicRows(p, kCount, lat.data(), lon.data(), y.data(), t.data());
      ConicLongitudes(p, kCount, x.data(), yPix.data(), back.data());
      auto tangent = [&](std::size_t i) {
        return tanl((lon[i] - static_cast<long double>(p[5])) / p[4]);
      };
      const double tError =
          WorstError(t, tangent, [&](std::size_t i) { return std::max(1.0, std::fabs(t[i])); });
      EXPECT_LT(tError, 1e-14) << "relative";
      // Pixels within a few hundred thousand of the apex: relative to that.
      const double rowError = WorstError(
          y,
          [&](std::size_t i) {
            const long double tt = tangent(i);
            const long double q = (lat[i] - static_cast<long double>(p[3])) / p[2];
            return p[2] < 0 ? p[1] + q / sqrtl(tt * tt + 1) : p[1] - q / sqrtl(tt * tt + 1);
          },
          [&](std::size_t) { return std::fabs(p[1]) + 300000; });
      EXPECT_LT(rowError, 1e-14) << "relative";
      const double lonError = WorstError(
          back,
          [&](std::size_t i) {
            return p[4] * atanl((x[i] - static_cast<long double>(p[0])) / (yPix[i] - p[1])) + p[5];
          },
          [](std::size_t) { return 1.0; });
      EXPECT_LT(lonError, 1e-11) << "degrees";
    });
  }
}

}  // namespace
}  // namespace marovia::pointmodel
