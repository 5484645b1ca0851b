// Maps with a known CRS, end to end: the fixtures crs_*.txt of
// tests/data/geomap/projections (computed with GMT) are calibrated from
// their 12 rounded clicks by projecting the clicks through the CRS with PROJ
// and fitting an affine and a second-order polynomial between pixels and
// projected metres; every check point inside the clicked area must then
// land within 1 pixel, both ways.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "crs_projection.h"
#include "plane_polynomial.h"

namespace marovia {
namespace {

struct Row {
  double lat, lon, x, y;
};

struct CrsFixture {
  std::string crs;
  // The frame: X = x0 + x m, Y = y0 - y m (metres of the CRS).
  double x0 = 0, y0 = 0, m = 0;
  std::vector<Row> calib, check;
};

CrsFixture Read(const std::string& name) {
  CrsFixture f;
  std::ifstream in(std::string(MAROVIA_TEST_DATA_DIR) + "/geomap/projections/" + name + ".txt");
  EXPECT_TRUE(in.good()) << name;
  std::string line;
  while (std::getline(in, line)) {
    double m2 = 0;
    if (line.rfind("# crs: ", 0) == 0) f.crs = line.substr(7);
    if (std::sscanf(line.c_str(), "# pixels: x = (X - (%lf)) / %lf, y = (%lf - Y) / %lf", &f.x0,
                    &f.m, &f.y0, &m2) == 4) {
      EXPECT_EQ(f.m, m2);
    }
    std::istringstream s(line);
    std::string kind;
    Row r{};
    if (!(s >> kind >> r.lat >> r.lon >> r.x >> r.y)) continue;
    (kind == "calib" ? f.calib : f.check).push_back(r);
  }
  EXPECT_EQ(f.calib.size(), 12u) << name;
  EXPECT_EQ(f.check.size(), 100u) << name;
  return f;
}

TEST(CrsFixtureFit, ClicksThroughTheTrueCrsPredictEveryCheckPoint) {
  for (const char* name : {"crs_mercator", "crs_lcc", "crs_utm33s", "crs_polar_stereo"}) {
    SCOPED_TRACE(name);
    const CrsFixture f = Read(name);
    const TCrsProjection crs(f.crs);
    std::vector<double> e, n, x, y;
    for (const Row& r : f.calib) {
      double pe, pn;
      ASSERT_TRUE(crs.Forward(r.lat, r.lon, pe, pn));
      e.push_back(pe);
      n.push_back(pn);
      x.push_back(r.x);
      y.push_back(r.y);
    }
    for (int order : {1, 2}) {
      TPlanePolynomial toPixel, toMetres;
      ASSERT_EQ(toPixel.Fit(order, e, n, x, y), "");
      ASSERT_EQ(toMetres.Fit(order, x, y, e, n), "");
      double worstFwd = 0, worstInv = 0, worstFrame = 0;
      for (const Row& r : f.check) {
        double pe, pn, px, py, qe, qn;
        ASSERT_TRUE(crs.Forward(r.lat, r.lon, pe, pn));
        // The fixture's own frame (GMT) and PROJ agree on the metres.
        worstFrame = std::max(worstFrame,
                              std::hypot(pe - (f.x0 + r.x * f.m), pn - (f.y0 - r.y * f.m)) / f.m);
        ASSERT_TRUE(toPixel.Eval(pe, pn, px, py));
        worstFwd = std::max(worstFwd, std::hypot(px - r.x, py - r.y));
        // Pixel to position: the metres of the fit, back through PROJ, land
        // on the check point's position (compared in its metres).
        double lat, lon, be, bn;
        ASSERT_TRUE(toMetres.Eval(r.x, r.y, qe, qn));
        ASSERT_TRUE(crs.Inverse(qe, qn, lat, lon));
        ASSERT_TRUE(crs.Forward(lat, lon, be, bn));
        worstInv = std::max(worstInv, std::hypot(be - pe, bn - pn) / f.m);
      }
      std::printf("%s order %d: worst %.3f px forward, %.3f px inverse (frame %.1e px)\n", name,
                  order, worstFwd, worstInv, worstFrame);
      EXPECT_LT(worstFrame, 0.01);
      EXPECT_LT(worstFwd, 1.0);
      EXPECT_LT(worstInv, 1.0);
    }
  }
}

TEST(PlanePolynomial, RefusesPointsThatDoNotDetermineIt) {
  const double nan = std::nan("");
  // Six points on the unit circle: x^2 + y^2 - 1 vanishes on all, so the
  // second-order terms are not determined.
  std::vector<double> cu, cv;
  for (int i = 0; i < 6; ++i) {
    cu.push_back(std::cos(i * 1.1));
    cv.push_back(std::sin(i * 1.1));
  }
  struct Case {
    const char* name;
    int order;
    std::vector<double> u, v;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"order 3", 3, {0, 1, 0}, {0, 0, 1}, "order"},
      {"two points, affine", 1, {0, 1}, {0, 0}, "at least 3 points"},
      {"five points, second order", 2, {0, 1, 0, 1, 2}, {0, 0, 1, 1, 0}, "at least 6 points"},
      {"collinear", 1, {0, 1, 2, 3}, {1, 3, 5, 7}, "one line"},
      {"on a circle", 2, cu, cv, "one conic"},
      {"NaN", 1, {0, 1, nan}, {0, 0, 1}, "point 3"},
      {"coincide", 1, {2, 2, 2}, {5, 5, 5}, "coincide"},
  };
  for (const Case& c : cases) {
    TPlanePolynomial p;
    const std::string why = p.Fit(c.order, c.u, c.v, c.u, c.v);
    EXPECT_NE(why.find(c.reason), std::string::npos) << c.name << ": " << why;
    EXPECT_FALSE(p.Fitted()) << c.name;
  }
}

}  // namespace
}  // namespace marovia
