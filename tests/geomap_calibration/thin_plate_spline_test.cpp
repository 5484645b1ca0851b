// The thin-plate spline against an independent implementation (GDAL's
// gdaltransform -tps, Debian gdal-bin), its limit for large smoothing (the
// least-squares affine fit, solved here by normal equations), and the
// refusals of a fit.
#include "calibration/thin_plate_spline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/run_command.h"
#include "support/simd_targets.h"

namespace marovia {
namespace {

struct Points {
  std::vector<double> u, v, x, y;
};

// A 5 x 4 grid of pixels over a 1000 x 800 image, each moved a little, and
// their positions on a smoothly warped map (longitude, latitude in degrees,
// about 0.002 degree per pixel), as on an old scan.
Points WarpedGrid() {
  Points p;
  for (int j = 0; j < 4; ++j)
    for (int i = 0; i < 5; ++i) {
      const double px = 40 + i * 230 + 7 * std::sin(1.3 * i + 2.1 * j);
      const double py = 30 + j * 245 + 6 * std::cos(0.7 * i - 1.9 * j);
      p.u.push_back(px);
      p.v.push_back(py);
      p.x.push_back(8 + 0.002 * px + 0.015 * std::sin(px / 300) * std::cos(py / 250));
      p.y.push_back(51 - 0.0014 * py + 0.01 * std::sin(px / 200 + py / 400));
    }
  return p;
}

// Points strictly inside the grid's hull (the rectangle of its inner
// corners), on a jittered 20 x 10 pattern.
void InnerPixels(std::vector<double>& u, std::vector<double>& v) {
  for (int j = 0; j < 10; ++j)
    for (int i = 0; i < 20; ++i) {
      u.push_back(60 + (i + 0.5 + 0.3 * std::sin(i * 7.1 + j)) * 47);
      v.push_back(50 + (j + 0.5 + 0.3 * std::cos(i + j * 3.3)) * 68);
    }
}

// gdaltransform -tps with the points as control points (pixel, line to X,
// Y); Inverse adds -i. GDAL's pixel/line are plain numbers to the
// transformer here (no raster, no half-pixel shift): the same numbers go to
// both sides.
std::vector<std::pair<double, double>> Gdal(const Points& p, bool Inverse,
                                            const std::vector<double>& a,
                                            const std::vector<double>& b) {
  std::ostringstream cmd, in;
  cmd.precision(17);
  in.precision(17);
  cmd << "gdaltransform -tps" << (Inverse ? " -i" : "");
  for (size_t i = 0; i < p.u.size(); ++i)
    cmd << " -gcp " << p.u[i] << ' ' << p.v[i] << ' ' << p.x[i] << ' ' << p.y[i];
  for (size_t i = 0; i < a.size(); ++i) in << a[i] << ' ' << b[i] << '\n';
  const test::CommandResult r = test::RunCommand(cmd.str(), in.str());
  EXPECT_EQ(r.Status, 0) << r.Err;
  std::vector<std::pair<double, double>> out;
  std::istringstream s(r.Out);
  double x, y, z;
  while (s >> x >> y >> z) out.emplace_back(x, y);
  EXPECT_EQ(out.size(), a.size()) << r.Out << r.Err;
  return out;
}

TEST(ThinPlateSpline, AgreesWithGdalBothWays) {
  ASSERT_TRUE(test::HaveCommand("gdaltransform")) << "gdal-bin is missing (scripts/setup.sh)";
  const Points p = WarpedGrid();
  TThinPlateSpline forward, inverse;
  ASSERT_EQ(forward.Fit(p.u, p.v, p.x, p.y, 0), "");
  ASSERT_EQ(inverse.Fit(p.x, p.y, p.u, p.v, 0), "");  // fitted separately, as GDAL does

  std::vector<double> pu, pv;
  InnerPixels(pu, pv);
  const auto geo = Gdal(p, false, pu, pv);
  ASSERT_EQ(geo.size(), pu.size());
  // Both solve the same interpolation problem exactly, so they agree to
  // rounding (about 1e-11 pixel); the bound is 1e-6 pixel, in degrees
  // through the smallest scale of the map (above 0.0013 degree per pixel).
  const double geoTol = 1e-6 * 0.0013;
  double worstGeo = 0;
  std::vector<double> gx, gy;
  for (size_t i = 0; i < pu.size(); ++i) {
    double x, y;
    ASSERT_TRUE(forward.Eval(pu[i], pv[i], x, y));
    worstGeo = std::max({worstGeo, std::fabs(x - geo[i].first), std::fabs(y - geo[i].second)});
    gx.push_back(geo[i].first);
    gy.push_back(geo[i].second);
  }
  const auto px = Gdal(p, true, gx, gy);
  ASSERT_EQ(px.size(), gx.size());
  double worstPx = 0;
  for (size_t i = 0; i < gx.size(); ++i) {
    double u, v;
    ASSERT_TRUE(inverse.Eval(gx[i], gy[i], u, v));
    worstPx = std::max({worstPx, std::fabs(u - px[i].first), std::fabs(v - px[i].second)});
  }
  std::printf("thin-plate vs gdaltransform: forward %.3g degree, inverse %.3g pixel\n", worstGeo,
              worstPx);
  EXPECT_LT(worstGeo, geoTol);
  EXPECT_LT(worstPx, 1e-6);
}

// Exact through the points at lambda 0, and the batch gives Eval's bits
// (also from several threads at once, on a copy).
TEST(ThinPlateSpline, InterpolatesAndBatchMatchesEval) {
  const Points p = WarpedGrid();
  TThinPlateSpline fitted;
  ASSERT_EQ(fitted.Fit(p.u, p.v, p.x, p.y, 0), "");
  const TThinPlateSpline s = fitted;  // a copy is a full spline
  for (size_t i = 0; i < p.u.size(); ++i) {
    double x, y;
    ASSERT_TRUE(s.Eval(p.u[i], p.v[i], x, y));
    EXPECT_NEAR(x, p.x[i], 1e-11);
    EXPECT_NEAR(y, p.y[i], 1e-11);
  }
  std::vector<double> u, v;
  InnerPixels(u, v);
  u.insert(u.end(), {p.u[3], std::nan(""), std::numeric_limits<double>::infinity(), -1e300});
  v.insert(v.end(), {p.v[3], 5.0, 5.0, 3.0});
  const size_t n = u.size();
  std::vector<std::vector<double>> xs(4, std::vector<double>(n)), ys = xs;
  std::vector<std::vector<uint8_t>> oks(4, std::vector<uint8_t>(n));
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] { s.EvalBatch(u, v, xs[t], ys[t], oks[t]); });
  for (auto& t : threads) t.join();
  for (size_t i = 0; i < n; ++i) {
    double x = 0, y = 0;
    const bool ok = s.Eval(u[i], v[i], x, y);
    for (int t = 0; t < 4; ++t) {
      ASSERT_EQ(oks[t][i], ok ? 1 : 0) << i;
      if (!ok) continue;
      EXPECT_EQ(xs[t][i], x) << i;
      EXPECT_EQ(ys[t][i], y) << i;
    }
  }
  EXPECT_EQ(oks[0][n - 3], 0);  // NaN
  EXPECT_EQ(oks[0][n - 2], 0);  // infinity
  EXPECT_EQ(oks[0][n - 1], 0);  // overflows in the kernel
}

// Enough points for several panels of the blocked factorisation and ragged
// tiles at its edges (n - 3 = 197 = 3 panels of 64 and 5), on every
// instruction set: the spline passes through its points, and the fits of
// the instruction sets agree to rounding.
TEST(ThinPlateSpline, BlockedFactorisationInterpolatesOnEveryInstructionSet) {
  std::mt19937_64 random(30);
  std::uniform_real_distribution<double> pos(0, 3000);
  Points p;
  for (int i = 0; i < 200; ++i) {
    const double u = pos(random), v = pos(random);
    p.u.push_back(u);
    p.v.push_back(v);
    p.x.push_back(7 + 0.0004 * u + 0.01 * std::sin(u / 500));
    p.y.push_back(47 - 0.0003 * v + 0.01 * std::cos(v / 400 + u / 900));
  }
  std::vector<double> first;
  testing::ForEachSimdTarget([&](const std::string&) {
    TThinPlateSpline s;
    ASSERT_EQ(s.Fit(p.u, p.v, p.x, p.y, 0), "");
    for (size_t i = 0; i < p.u.size(); ++i) {
      double x, y;
      ASSERT_TRUE(s.Eval(p.u[i], p.v[i], x, y));
      ASSERT_NEAR(x, p.x[i], 1e-9) << i;
      ASSERT_NEAR(y, p.y[i], 1e-9) << i;
    }
    double x, y;
    ASSERT_TRUE(s.Eval(1234.5, 2345.6, x, y));
    if (first.empty()) first = {x, y};
    EXPECT_NEAR(x, first[0], 1e-10);
    EXPECT_NEAR(y, first[1], 1e-10);
  });
}

// Large smoothing flattens the spline to the least-squares affine fit,
// solved here independently by its 3 x 3 normal equations (Cramer's rule).
TEST(ThinPlateSpline, HeavySmoothingApproachesAffineLeastSquares) {
  const Points p = WarpedGrid();
  TThinPlateSpline s;
  ASSERT_EQ(s.Fit(p.u, p.v, p.x, p.y, 1e9), "");
  double m[3][3] = {}, r[3] = {};
  for (size_t i = 0; i < p.u.size(); ++i) {
    const double row[3] = {1, p.u[i], p.v[i]};
    for (int a = 0; a < 3; ++a) {
      for (int b = 0; b < 3; ++b) m[a][b] += row[a] * row[b];
      r[a] += row[a] * p.x[i];
    }
  }
  auto det = [](double a[3][3]) {
    return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
           a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
           a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
  };
  double c[3];
  for (int k = 0; k < 3; ++k) {
    double mk[3][3];
    for (int a = 0; a < 3; ++a)
      for (int b = 0; b < 3; ++b) mk[a][b] = b == k ? r[a] : m[a][b];
    c[k] = det(mk) / det(m);
  }
  double unsmoothedResidual = 0;
  for (size_t i = 0; i < p.u.size(); ++i) {
    double x, y;
    ASSERT_TRUE(s.Eval(p.u[i], p.v[i], x, y));
    EXPECT_NEAR(x, c[0] + c[1] * p.u[i] + c[2] * p.v[i], 1e-7);
    unsmoothedResidual = std::max(unsmoothedResidual, std::fabs(x - p.x[i]));
  }
  EXPECT_GT(unsmoothedResidual, 1e-3);  // no longer through the points
}

TEST(ThinPlateSpline, RefusesBadFitsAndKeepsNothing) {
  const double nan = std::nan("");
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* name;
    std::vector<double> u, v, x, y;
    double lambda;
    const char* reason;  // a piece of the message
  };
  const std::vector<Case> cases = {
      {"two points", {0, 1}, {0, 1}, {0, 1}, {0, 1}, 0, "at least 3 points"},
      {"lengths differ", {0, 1, 2}, {0, 1}, {0, 1, 2}, {0, 1, 2}, 0, "differ in length"},
      {"collinear", {0, 1, 2, 3}, {0, 2, 4, 6}, {0, 1, 2, 3}, {5, 6, 7, 8}, 0, "one line"},
      {"three distinct of four",
       {0, 1, 2, 0},
       {0, 0, 0, 0},
       {0, 1, 2, 0},
       {0, 0, 0, 0},
       0,
       "one line"},
      {"repeats leave two",
       {0, 1, 1, 0},
       {0, 1, 1, 0},
       {0, 1, 1, 0},
       {0, 1, 1, 0},
       0,
       "3 distinct points"},
      {"coincident, other targets",
       {0, 1, 0, 0},
       {0, 0, 1, 1},
       {0, 1, 0, 0},
       {0, 0, 1, 2},
       0,
       "coincident points 3 and 4"},
      {"NaN input", {0, 1, nan}, {0, 0, 1}, {0, 1, 0}, {0, 0, 1}, 0, "point 3"},
      {"infinite target", {0, 1, 0}, {0, 0, 1}, {0, 1, 0}, {0, inf, 1}, 0, "point 2"},
      {"negative lambda", {0, 1, 0}, {0, 0, 1}, {0, 1, 0}, {0, 0, 1}, -1, "smoothing"},
      {"NaN lambda", {0, 1, 0}, {0, 0, 1}, {0, 1, 0}, {0, 0, 1}, nan, "smoothing"},
      {"nearly collinear", {0, 1e6, 2e6}, {0, 1e-6, 0}, {0, 1, 2}, {0, 0, 0}, 0, "one line"},
  };
  const Points good = WarpedGrid();
  for (const Case& c : cases) {
    TThinPlateSpline s;
    ASSERT_EQ(s.Fit(good.u, good.v, good.x, good.y, 0), "");
    const std::string why = s.Fit(c.u, c.v, c.x, c.y, c.lambda);
    EXPECT_NE(why.find(c.reason), std::string::npos) << c.name << ": " << why;
    EXPECT_FALSE(s.Fitted()) << c.name;
    EXPECT_EQ(s.NumPoints(), 0) << c.name;
    double x, y;
    EXPECT_FALSE(s.Eval(good.u[0], good.v[0], x, y)) << c.name;
  }
  // A repeated point with its own target is used once.
  TThinPlateSpline s;
  EXPECT_EQ(s.Fit(std::vector<double>{0, 1, 0, 1}, std::vector<double>{0, 0, 1, 0},
                  std::vector<double>{0, 1, 0, 1}, std::vector<double>{0, 0, 1, 0}, 0),
            "");
  EXPECT_EQ(s.NumPoints(), 3);
}

// Every point's leave-one-out error from the one factorisation equals the
// error of the spline fitted again without that point, and a point whose
// left-out fit does not exist (the others on one line) has none.
TEST(ThinPlateSpline, LeaveOneOutErrorsEqualRefitsWithoutThePoint) {
  Points jittered;
  std::mt19937 random(7);
  std::uniform_real_distribution<double> spread(0, 5000);
  for (int i = 0; i < 100; ++i) {
    const double u = spread(random), v = spread(random);
    jittered.u.push_back(u);
    jittered.v.push_back(v);
    jittered.x.push_back(2 * u - 0.3 * v + 40 * std::sin(u / 900));
    jittered.y.push_back(0.1 * u + 1.7 * v + 25 * std::cos(v / 700));
  }
  // Four points on a line and one beside it: without that one the rest
  // determine no spline.
  const Points lineAndOne{{0, 1, 2, 3, 1.5}, {0, 1, 2, 3, 2.5}, {5, 6, 7, 8, 4}, {1, 2, 2, 3, 9}};
  const struct {
    const char* What;
    Points P;
  } cases[] = {{"warped grid", WarpedGrid()},
               {"100 scattered points", jittered},
               {"the others on one line", lineAndOne}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    const Points& p = c.P;
    const std::size_t n = p.u.size();
    std::vector<double> ex(n), ey(n);
    std::vector<uint8_t> ok(n);
    TThinPlateSpline::LeaveOneOutErrors(p.u, p.v, p.x, p.y, ex, ey, ok);
    double scale = 0;
    for (std::size_t i = 0; i < n; ++i)
      scale = std::max({scale, std::fabs(p.x[i]), std::fabs(p.y[i])});
    for (std::size_t i = 0; i < n; ++i) {
      Points rest = p;
      for (auto* a : {&rest.u, &rest.v, &rest.x, &rest.y}) a->erase(a->begin() + i);
      TThinPlateSpline others;
      double x = 0, y = 0;
      const bool exists = others.Fit(rest.u, rest.v, rest.x, rest.y, 0).empty() &&
                          others.Eval(p.u[i], p.v[i], x, y);
      ASSERT_EQ(ok[i] != 0, exists) << "point " << i;
      if (!exists) continue;
      EXPECT_NEAR(ex[i], p.x[i] - x, 1e-9 * scale) << "point " << i;
      EXPECT_NEAR(ey[i], p.y[i] - y, 1e-9 * scale) << "point " << i;
    }
  }
  // A repeated point (leaving one out changes nothing) and three points
  // (the others are too few) give no errors from the identity.
  Points repeated = WarpedGrid();
  for (auto* a : {&repeated.u, &repeated.v, &repeated.x, &repeated.y}) a->push_back(a->front());
  Points three{{0, 1, 0}, {0, 0, 1}, {1, 2, 3}, {4, 5, 6}};
  for (const Points* p : {&repeated, &three}) {
    const std::size_t n = p->u.size();
    std::vector<double> ex(n), ey(n);
    std::vector<uint8_t> ok(n, 1);
    TThinPlateSpline::LeaveOneOutErrors(p->u, p->v, p->x, p->y, ex, ey, ok);
    EXPECT_EQ(std::count(ok.begin(), ok.end(), 0), static_cast<std::ptrdiff_t>(n));
  }
}

}  // namespace
}  // namespace marovia
