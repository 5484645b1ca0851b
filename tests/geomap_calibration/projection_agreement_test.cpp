// Agreement with an independent projection tool: virtual map images whose
// pixels follow a known projection (tests/data/geomap/projections) are
// calibrated from their 12 clicked points, and the fitted model predicts
// the exact pixels of 200 other points.
//
// The models that match their projection (equirectangular, Miller, UTM)
// must hit every pixel within 1 pixel, the clicks being rounded; the UTM
// map reaches 7 degrees beyond its zone's strip. The conic and biquadratic
// models only approximate these projections: their errors are printed and
// held to bounds a little above what a plain least-squares fit gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "calib_test_map.h"
#include "support/projection_fixture.h"

namespace marovia {
namespace {

using test::CalibTestMap;

using FixturePoint = test::TProjectionPoint;
using Fixture = test::TProjectionFixture;

Fixture ReadFixture(const std::string& name) {
  Fixture f = test::ReadProjectionFixture(name);
  EXPECT_GT(f.width, 0) << name;
  EXPECT_EQ(f.calib.size(), 12u) << name;
  EXPECT_EQ(f.check.size(), 200u) << name;
  return f;
}

// Pixel errors of a calibrated map at the check points.
struct Errors {
  double worst = 0, rms = 0;
  int failed = 0;  // conversions that reported failure
};

Errors PredictChecks(const TGeoMap& map, const Fixture& f) {
  Errors e;
  double sum = 0;
  for (const FixturePoint& p : f.check) {
    int32_t x = 0, y = 0;
    if (!map.CalcPixelCoords(p.lat, p.lon, x, y)) {
      ++e.failed;
      continue;
    }
    const double d = std::hypot(x - p.x, y - p.y);
    e.worst = std::max(e.worst, d);
    sum += d * d;
  }
  e.rms = std::sqrt(sum / static_cast<double>(f.check.size()));
  return e;
}

void Calibrate(TGeoMap& map, const Fixture& f, TCalibModel model) {
  map.SetSuppressPaint(true);
  map.SetCalibModel(model);
  if (model == cmUTM) {
    map.SetUTMZone(32);
    map.SetUTMHemisphere(hemiNorth);
  }
  for (const FixturePoint& p : f.calib) {
    const auto x = static_cast<int32_t>(p.x), y = static_cast<int32_t>(p.y);
    if (model == cmUTM) {
      ASSERT_TRUE(map.AddCalibPoint(p.northing, p.easting, 32, hemiNorth, x, y));
    } else {
      ASSERT_TRUE(map.AddCalibPoint(p.lat, p.lon, x, y));
    }
  }
}

void Report(const Fixture& f, TCalibModel model, const Errors& e) {
  std::cout << "  " << f.name << " " << CalibModelNames[model] << ": worst " << e.worst
            << " px, RMS " << e.rms << " px\n";
}

TEST(ProjectionAgreement, ModelsOfTheirOwnProjectionHitEveryPixel) {
  struct Case {
    const char* file;
    TCalibModel model;
  };
  const Case cases[] = {{"eqc", cmEquiRect}, {"miller", cmMillerCylindrical}, {"utm32", cmUTM}};
  for (const Case& c : cases) {
    const Fixture f = ReadFixture(c.file);
    CalibTestMap map(f.width, f.height);
    Calibrate(map, f, c.model);
    for (const FixturePoint& p : f.check) {
      int32_t x = 0, y = 0;
      ASSERT_TRUE(map.CalcPixelCoords(p.lat, p.lon, x, y)) << c.file;
      EXPECT_LE(std::fabs(x - p.x), 1.0) << c.file << " " << p.lat << ", " << p.lon;
      EXPECT_LE(std::fabs(y - p.y), 1.0) << c.file << " " << p.lat << ", " << p.lon;
      // And back: the pixel's position converts to the same pixel.
      bool vLat = false, vLon = false;
      const double lat = map.CalcLatitude(x, y, vLat);
      const double lon = map.CalcLongitude(x, y, vLon);
      ASSERT_TRUE(vLat && vLon) << c.file;
      int32_t bx = 0, by = 0;
      ASSERT_TRUE(map.CalcPixelCoords(lat, lon, bx, by));
      EXPECT_LE(std::abs(bx - x), 1) << c.file;
      EXPECT_LE(std::abs(by - y), 1) << c.file;
    }
    Report(f, c.model, PredictChecks(map, f));
  }
}

TEST(ProjectionAgreement, UTMGridPixelsFollowTheZonesNorthingAndEasting) {
  // The image is a scaling of zone 32 northing and easting; the fit from
  // rounded clicks is off by a few tenths of a pixel at most.
  const Fixture f = ReadFixture("utm32");
  CalibTestMap map(f.width, f.height);
  Calibrate(map, f, cmUTM);
  for (const FixturePoint& p : f.check) {
    int32_t x = 0, y = 0;
    ASSERT_TRUE(map.CalcPixelCoordsUTM(p.northing, p.easting, x, y));
    EXPECT_LE(std::fabs(x - p.x), 1.0);
    EXPECT_LE(std::fabs(y - p.y), 1.0);
    bool valid = false;
    EXPECT_LE(std::abs(map.CalcUTMyFromNorthingX(p.northing, x, valid) - y), 1);
    EXPECT_TRUE(valid);
  }
}

TEST(ProjectionAgreement, ApproximatingModelsStayNearTheProjection) {
  // Bounds: a few pixels above the plain least-squares figures of the
  // fixtures' README, for the rounding of clicks and predictions.
  struct Case {
    const char* file;
    TCalibModel model;
    double worst, rms;
  };
  const Case cases[] = {
      {"lcc_north", cmConicConformal, 7, 3},  {"lcc_equator", cmConicConformal, 28, 14},
      {"eqc", cmBiquadraticPn, 1.5, 0.8},     {"miller", cmBiquadraticPn, 24, 14},
      {"lcc_north", cmBiquadraticPn, 28, 14}, {"lcc_equator", cmBiquadraticPn, 19, 13},
      {"utm32", cmBiquadraticPn, 2.5, 1},
  };
  for (const Case& c : cases) {
    const Fixture f = ReadFixture(c.file);
    CalibTestMap map(f.width, f.height);
    Calibrate(map, f, c.model);
    const Errors e = PredictChecks(map, f);
    Report(f, c.model, e);
    EXPECT_EQ(e.failed, 0) << c.file;
    EXPECT_LE(e.worst, c.worst) << c.file << " " << CalibModelNames[c.model];
    EXPECT_LE(e.rms, c.rms) << c.file << " " << CalibModelNames[c.model];
  }
}

}  // namespace
}  // namespace marovia
