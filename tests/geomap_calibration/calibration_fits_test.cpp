// The fits of every model, checked through the conversions: exact data are
// reproduced, degenerate data give the documented least-norm or kept
// parameters, and no fit leaves parameters that are not finite.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "calib_test_map.h"

namespace marovia {
namespace {

using test::CalibTestMap;

constexpr double kPi = 3.141592653589793;

struct Pixel {
  int32_t x, y;
};

// A synthetic cone: apex (ax, ay), latitude k_lat * r + lat0, longitude
// k_lon * atan((x - ax) / (y - ay)) + lon0 (degrees, radians, pixels).
struct Cone {
  double ax, ay, kLat, lat0, kLon, lon0;
  double Lat(double x, double y) const { return kLat * std::hypot(x - ax, y - ay) + lat0; }
  double Lon(double x, double y) const { return kLon * std::atan((x - ax) / (y - ay)) + lon0; }
};

void CalibrateCone(TGeoMap& map, const Cone& cone, const std::vector<Pixel>& pixels) {
  map.SetCalibModel(cmConicConformal);
  for (const Pixel& p : pixels) map.AddCalibPoint(cone.Lat(p.x, p.y), cone.Lon(p.x, p.y), p.x, p.y);
}

std::vector<Pixel> Grid(int32_t x0, int32_t y0, int32_t dx, int32_t dy, int nx, int ny) {
  std::vector<Pixel> out;
  for (int i = 0; i < nx; ++i)
    for (int j = 0; j < ny; ++j) out.push_back({x0 + dx * i, y0 + dy * j});
  return out;
}

void ExpectLatLon(const TGeoMap& map, int32_t x, int32_t y, double lat, double lon, double tol) {
  bool vLat = false, vLon = false;
  EXPECT_NEAR(map.CalcLatitude(x, y, vLat), lat, tol) << x << ", " << y;
  EXPECT_NEAR(map.CalcLongitude(x, y, vLon), lon, tol) << x << ", " << y;
  EXPECT_TRUE(vLat && vLon) << x << ", " << y;
}

void ExpectPixel(const TGeoMap& map, double lat, double lon, int32_t x, int32_t y) {
  int32_t px = -1, py = -1;
  EXPECT_TRUE(map.CalcPixelCoords(lat, lon, px, py)) << lat << ", " << lon;
  EXPECT_EQ(px, x) << lat << ", " << lon;
  EXPECT_EQ(py, y) << lat << ", " << lon;
}

// ------------------------------------------------------------ equirectangular

TEST(CalibrationFits, EquiRectThroughThreePointsReproducesThem) {
  CalibTestMap map;
  map.SetCalibModel(cmEquiRect);
  map.AddCalibPoint(50.0, 8.0, 100, 50);
  map.AddCalibPoint(48.0, 8.5, 300, 450);
  map.AddCalibPoint(49.0, 11.0, 900, 250);
  ExpectPixel(map, 50.0, 8.0, 100, 50);
  ExpectPixel(map, 48.0, 8.5, 300, 450);
  ExpectPixel(map, 49.0, 11.0, 900, 250);
  ExpectLatLon(map, 100, 50, 50.0, 8.0, 1e-10);
  ExpectLatLon(map, 900, 250, 49.0, 11.0, 1e-10);
}

TEST(CalibrationFits, EquiRectThroughTwoPointsGivesTheLeastNormParameters) {
  CalibTestMap map;
  map.SetCalibModel(cmEquiRect);
  map.AddCalibPoint(10.0, 20.0, 0, 0);
  map.AddCalibPoint(10.0, 21.0, 100, 0);
  // Pixel -> geographic: lat = 10, lon = 20 + 0.01 x; y has no weight.
  ExpectLatLon(map, 50, 77, 10.0, 20.5, 1e-12);
  // Geographic -> pixel: x = (-2000 - 20000 lat) / 101 + 100 lon, y = 0.
  ExpectPixel(map, 10.0, 20.5, 50, 0);
  ExpectPixel(map, 0.0, 20.0, 1980, 0);
  ExpectPixel(map, 11.0, 20.0, -198, 0);
}

// ------------------------------------------------------------ biquadratic

TEST(CalibrationFits, BiquadraticThroughSixPointsInterpolatesBothWays) {
  CalibTestMap map;
  map.SetCalibModel(cmBiquadraticPn);
  const auto lat = [](double x, double y) { return 50 - 0.002 * y + 1e-7 * x * y + 3e-8 * x * x; };
  const auto lon = [](double x, double y) { return 8 + 0.003 * x - 2e-7 * y * y; };
  const std::vector<Pixel> pixels = {{10, 20},  {900, 40},  {480, 400},
                                     {60, 750}, {950, 700}, {300, 200}};
  for (const Pixel& p : pixels) map.AddCalibPoint(lat(p.x, p.y), lon(p.x, p.y), p.x, p.y);
  for (const Pixel& p : pixels) ExpectPixel(map, lat(p.x, p.y), lon(p.x, p.y), p.x, p.y);
  // A quadratic field is reproduced everywhere, not only at the points.
  for (const Pixel& p : Grid(0, 0, 250, 200, 5, 5))
    ExpectLatLon(map, p.x, p.y, lat(p.x, p.y), lon(p.x, p.y), 1e-9);
}

// ------------------------------------------------------------ Miller

TEST(CalibrationFits, MillerCylindricalRecoversScaleAndOffset) {
  // x = 1000 lon_rad + 500, y = -1200 L(lat) + 1900.
  const auto lat = [](double y) {
    return (std::atan(std::exp((y - 1900) / -1200.0)) - kPi / 4) / 0.4 * 180 / kPi;
  };
  const auto lon = [](double x) { return (x - 500) / 1000.0 * 180 / kPi; };
  CalibTestMap map;
  map.SetCalibModel(cmMillerCylindrical);
  bool valid = true;
  map.CalcLatitude(10, 10, valid);
  EXPECT_FALSE(valid);  // no fit yet: all parameters 0
  map.CalcLongitude(10, 10, valid);
  EXPECT_FALSE(valid);
  for (const Pixel& p : {Pixel{0, 0}, Pixel{990, 100}, Pixel{420, 790}})
    map.AddCalibPoint(lat(p.y), lon(p.x), p.x, p.y);
  for (const Pixel& p : Grid(0, 0, 333, 266, 4, 4)) {
    ExpectLatLon(map, p.x, p.y, lat(p.y), lon(p.x), 1e-9);
    ExpectPixel(map, lat(p.y), lon(p.x), p.x, p.y);
  }
}

TEST(CalibrationFits, MillerCylindricalKeepsItsParametersWithFewerThanThreePoints) {
  CalibTestMap map;
  map.SetCalibModel(cmMillerCylindrical);
  map.AddCalibPoint(60.0, 0.0, 0, 0);
  map.AddCalibPoint(30.0, 30.0, 800, 600);
  map.AddCalibPoint(45.0, 10.0, 300, 280);
  bool valid = false;
  const double before = map.CalcLatitude(500, 500, valid);
  ASSERT_TRUE(valid);
  map.RemoveCalibPoint(300, 280);
  EXPECT_EQ(map.CalcLatitude(500, 500, valid), before);
  map.ClearCalibData();  // the Miller parameters are not cleared either
  EXPECT_EQ(map.CalcLatitude(500, 500, valid), before);
}

// ------------------------------------------------------------ conic

TEST(CalibrationFits, ConicSearchFindsTheApexOfAnExactCone) {
  const Cone cone{600, -4000, -0.002, 58, 50, 10};
  CalibTestMap map(1200, 800);
  CalibrateCone(map, cone, Grid(50, 30, 350, 250, 4, 4));
  // Exact latitude and longitude everywhere means the apex was found.
  for (const Pixel& p : Grid(0, 0, 300, 200, 5, 5))
    ExpectLatLon(map, p.x, p.y, cone.Lat(p.x, p.y), cone.Lon(p.x, p.y), 1e-9);
  for (const Pixel& p : Grid(7, 3, 290, 190, 5, 5))
    ExpectPixel(map, cone.Lat(p.x, p.y), cone.Lon(p.x, p.y), p.x, p.y);
}

TEST(CalibrationFits, ConicMapSouthOfTheEquatorHasItsApexBelow) {
  const Cone cone{500, 5200, 0.002, -60, -40, 150};  // latitude grows away from the apex
  CalibTestMap map(1000, 800);
  CalibrateCone(map, cone, Grid(20, 40, 320, 240, 4, 4));
  for (const Pixel& p : Grid(5, 5, 245, 195, 5, 5)) {
    ASSERT_LT(cone.Lat(p.x, p.y), 0);
    ExpectPixel(map, cone.Lat(p.x, p.y), cone.Lon(p.x, p.y), p.x, p.y);
  }
}

TEST(CalibrationFits, ConicMapAcrossTheEquatorKeepsSouthernPositionsOnTheMap) {
  // Regression: the side of the apex was taken from the sign of each
  // position's latitude, which threw every position south of the equator
  // tens of thousands of pixels away.
  const Cone cone{600, -20000, -0.02, 420, 500, 10};  // 20 N at the top, 10 S at the bottom
  CalibTestMap map(1200, 1500);
  map.SetSuppressPaint(true);
  CalibrateCone(map, cone, Grid(30, 20, 380, 480, 4, 4));
  int south = 0;
  for (const Pixel& p : Grid(11, 13, 290, 180, 5, 9)) {
    south += cone.Lat(p.x, p.y) < 0;
    ExpectPixel(map, cone.Lat(p.x, p.y), cone.Lon(p.x, p.y), p.x, p.y);
  }
  EXPECT_GT(south, 5);
}

TEST(CalibrationFits, ConicKeepsItsParametersWithFewerThanThreePoints) {
  const Cone cone{600, -4000, -0.002, 58, 50, 10};
  CalibTestMap map(1200, 800);
  CalibrateCone(map, cone, {{100, 100}, {1100, 150}, {500, 700}});
  bool valid = false;
  const double before = map.CalcLatitude(300, 300, valid);
  ASSERT_TRUE(valid);
  map.RemoveCalibPoint(500, 700);
  EXPECT_EQ(map.CalcLatitude(300, 300, valid), before);
  EXPECT_TRUE(valid);
}

TEST(CalibrationFits, ConicPointsOnOneLineLeaveFiniteParameters) {
  // All points on one parallel, or on one meridian, do not fix the apex.
  struct Case {
    const char* name;
    std::vector<TCalQuad> quads;
  };
  const Case cases[] = {
      {"one parallel",
       {{45, 5, 100, 300}, {45, 7, 400, 310}, {45, 9, 700, 300}, {45, 11, 1000, 280}}},
      {"one meridian",
       {{50, 8, 500, 100}, {48, 8, 505, 300}, {46, 8, 510, 500}, {44, 8, 515, 700}}},
      {"one pixel row", {{50, 5, 100, 300}, {49, 7, 400, 300}, {48, 9, 700, 300}}},
      {"one pixel", {{50, 5, 100, 300}, {49, 7, 100, 300}, {48, 9, 100, 300}}},
  };
  for (const Case& c : cases) {
    CalibTestMap map(1200, 800);
    map.SetCalibModel(cmConicConformal);
    for (const TCalQuad& q : c.quads) map.AddCalibPoint(q.Latitude, q.Longitude, q.MapX, q.MapY);
    for (const Pixel& p : Grid(0, 0, 100, 100, 13, 9)) {
      bool valid = false;
      const double lat = map.CalcLatitude(p.x, p.y, valid);
      EXPECT_TRUE(std::isfinite(lat)) << c.name;
      const double lon = map.CalcLongitude(p.x, p.y, valid);
      EXPECT_TRUE(std::isfinite(lon)) << c.name;
    }
    for (const TCalQuad& q : c.quads) {
      int32_t x = 0, y = 0;
      EXPECT_NO_THROW(map.CalcPixelCoords(q.Latitude, q.Longitude, x, y)) << c.name;
    }
    const TCalibData& cd = map.CalibData();
    for (const TCoords& corner : cd.Corners) {
      EXPECT_TRUE(std::isfinite(corner.Latit) && std::isfinite(corner.Longit)) << c.name;
    }
    EXPECT_TRUE(std::isfinite(cd.Resolution)) << c.name;
  }
}

// ------------------------------------------------------------ lines

TEST(CalibrationFits, GraticuleMatrixNeedsTwoFittedLinesOfEachKind) {
  struct Case {
    int parallels, meridians, pointsPerLine;
    bool usable;
  };
  const Case cases[] = {
      {2, 2, 3, true}, {1, 3, 3, false}, {3, 1, 4, false}, {2, 2, 2, false}, {5, 4, 10, true},
  };
  for (const Case& c : cases) {
    CalibTestMap map;
    map.SetCalibModel(cmParabolicIp);
    for (int l = 0; l < c.parallels; ++l)
      for (int p = 0; p < c.pointsPerLine; ++p)
        map.AddCalibPoint(gtlParallel, 50.0 - l, 100 * p, 100 + 150 * l);
    for (int l = 0; l < c.meridians; ++l)
      for (int p = 0; p < c.pointsPerLine; ++p)
        map.AddCalibPoint(gtlMeridian, 8.0 + l, 100 + 200 * l, 80 * p);
    EXPECT_EQ(map.RecalcGratMat(), c.usable) << c.parallels << " " << c.meridians;
    bool valid = !c.usable;
    map.CalcLatitude(300, 300, valid);
    EXPECT_EQ(valid, c.usable);
    int32_t x = 0, y = 0;
    EXPECT_EQ(map.CalcPixelCoords(49.5, 8.5, x, y), c.usable);
  }
}

TEST(CalibrationFits, StraightGraticuleLinesInterpolateBilinearly) {
  CalibTestMap map;
  map.SetCalibModel(cmParabolicIp);
  for (const int32_t x : {50, 400, 900}) {
    map.AddCalibPoint(gtlParallel, 50.0, x, 100);
    map.AddCalibPoint(gtlParallel, 40.0, x, 600);
  }
  for (const int32_t y : {20, 300, 700}) {
    map.AddCalibPoint(gtlMeridian, 10.0, 200, y);
    map.AddCalibPoint(gtlMeridian, 20.0, 700, y);
  }
  ExpectLatLon(map, 450, 350, 45.0, 15.0, 1e-9);
  ExpectLatLon(map, 950, 850, 35.0, 25.0, 1e-9);  // beyond the lines: extrapolated
  ExpectPixel(map, 45.0, 15.0, 450, 350);
  ExpectPixel(map, 42.5, 11.0, 250, 475);
}

}  // namespace
}  // namespace marovia
