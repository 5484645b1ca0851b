// Maps with a known CRS, end to end: the fixtures crs_*.txt of
// tests/data/geomap/projections (computed with GMT) are calibrated with the
// projected model (affine and second order) from their 12 rounded clicks;
// every check point inside the clicked area must then land within 1 pixel,
// both ways.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "calib_test_map.h"
#include "calibration/crs_projection.h"
#include "calibration/plane_polynomial.h"
#include "marovia/geomap/map_calibration.h"

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

// The projected model with the true CRS, fitted from the rounded clicks,
// against the fixture's GMT pixels; pixel to position is compared in the
// check point's projected metres, so that one number serves every latitude.
TEST(CrsFixtureFit, ProjectedModelPredictsEveryCheckPoint) {
  for (const char* name : {"crs_mercator", "crs_lcc", "crs_utm33s", "crs_polar_stereo"}) {
    SCOPED_TRACE(name);
    const CrsFixture f = Read(name);
    const TCrsProjection crs(f.crs);
    for (int order : {1, 2}) {
      TCalibData cd;
      cd.CrsText = f.crs;
      cd.PolyOrder = order;
      TMapCalibration cal(cmProjected, cd, 1000, 1000);
      for (const Row& r : f.calib) ASSERT_TRUE(cal.AddPoint(r.lat, r.lon, r.x, r.y));
      ASSERT_TRUE(cal.Fit()) << cal.FitMessage();

      std::vector<double> lat, lon, px(f.check.size()), py(f.check.size());
      std::vector<uint8_t> ok(f.check.size());
      for (const Row& r : f.check) {
        lat.push_back(r.lat);
        lon.push_back(r.lon);
      }
      cal.GeoToPixel(lat, lon, px, py, ok);
      double worstFwd = 0, worstInv = 0, worstFrame = 0;
      for (size_t i = 0; i < f.check.size(); ++i) {
        const Row& r = f.check[i];
        double pe, pn, be, bn;
        ASSERT_TRUE(crs.Forward(r.lat, r.lon, pe, pn));
        // The fixture's own frame (GMT) and PROJ agree on the metres.
        worstFrame = std::max(worstFrame,
                              std::hypot(pe - (f.x0 + r.x * f.m), pn - (f.y0 - r.y * f.m)) / f.m);
        ASSERT_TRUE(ok[i]);
        worstFwd = std::max(worstFwd, std::hypot(px[i] - r.x, py[i] - r.y));
        const TPixelPosition g = cal.PixelToGeo(r.x, r.y);
        ASSERT_TRUE(g.Valid());
        ASSERT_TRUE(crs.Forward(g.Latit, g.Longit, be, bn));
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

// The control fitted the same way: its whole pixels are the exact pixels
// rounded, so they land within 1 pixel plus the rounding.
TEST(CrsFixtureFit, ControlPlacesCheckPoints) {
  const CrsFixture f = Read("crs_lcc");
  test::CalibTestMap map(1600, 1000);
  map.SetCrsText(f.crs);
  map.SetPolyOrder(2);
  map.SetCalibModel(cmProjected);
  for (const Row& r : f.calib) ASSERT_TRUE(map.AddCalibPoint(r.lat, r.lon, r.x, r.y));
  ASSERT_TRUE(map.Calibration().Converts()) << map.Calibration().FitMessage();
  double worst = 0;
  for (const Row& r : f.check) {
    int32_t x = 0, y = 0;
    ASSERT_TRUE(map.CalcPixelCoords(r.lat, r.lon, x, y));
    worst = std::max(worst, std::hypot(x - r.x, y - r.y));
  }
  EXPECT_LT(worst, 1.0 + std::sqrt(0.5));
  // The corners come from the model: the top left one lies north-west of
  // the clicked area, on the USA's side of the globe.
  const TCoords tl = map.CalibData().Corners[gcoTopLeft];
  EXPECT_GT(tl.Latit, 45);
  EXPECT_LT(tl.Longit, -120);
  EXPECT_GT(map.CalibData().Resolution, 2500);
  EXPECT_LT(map.CalibData().Resolution, 3500);
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
