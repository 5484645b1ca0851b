// Quality figures of a calibration: CalibQuality per axis and the
// per-point residuals that single out a point clicked in the wrong place.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "calib_test_map.h"

namespace marovia {
namespace {

using test::CalibTestMap;

// 0.01 degree per pixel both ways, 50 N 5 E at the top left; point 4 is
// clicked 6 pixels to the right of where it belongs.
void CalibrateWithOneBadClick(TGeoMap& map, TCalibModel model) {
  map.SetCalibModel(model);
  const int32_t xs[] = {0, 500, 1000, 0, 500, 1000, 0, 500, 1000};
  const int32_t ys[] = {0, 0, 0, 400, 400, 400, 800, 800, 800};
  for (int i = 0; i < 9; ++i) {
    const int32_t clickedX = xs[i] + (i == 4 ? 6 : 0);
    map.AddCalibPoint(50 - ys[i] * 0.01, 5 + xs[i] * 0.01, clickedX, ys[i]);
  }
}

TEST(CalibrationQuality, ExactCalibrationsHaveNoError) {
  CalibTestMap map;
  map.SetCalibModel(cmEquiRect);
  map.AddCalibPoint(50.0, 5.0, 0, 0);
  map.AddCalibPoint(50.0, 15.0, 1000, 0);
  map.AddCalibPoint(42.0, 5.0, 0, 800);
  map.AddCalibPoint(42.0, 15.0, 1000, 800);
  double qx = -1, qy = -1;
  map.CalibQuality(qx, qy);
  EXPECT_EQ(qx, 0);
  EXPECT_EQ(qy, 0);
}

TEST(CalibrationQuality, UTMQualityComparesPixelsOfTheGrid) {
  // Regression: the UTM points (northing, easting) were converted as if they
  // were latitudes and longitudes, which gave a meaningless figure.
  CalibTestMap map;
  map.SetCalibModel(cmUTM);
  map.SetUTMZone(32);
  for (const int32_t x : {0, 1000})
    for (const int32_t y : {0, 800})
      map.AddCalibPoint(5600000.0 - 50.0 * y, 450000.0 + 50.0 * x, 32, hemiNorth, x, y);
  double qx = -1, qy = -1;
  map.CalibQuality(qx, qy);
  EXPECT_EQ(qx, 0);
  EXPECT_EQ(qy, 0);
}

TEST(CalibrationQuality, ABadClickShowsInQualityAndStandsOutInTheResiduals) {
  for (const TCalibModel model : {cmEquiRect, cmBiquadraticPn}) {
    CalibTestMap map;
    CalibrateWithOneBadClick(map, model);
    double qx = 0, qy = 0;
    map.CalibQuality(qx, qy);
    EXPECT_GT(qx, 0.5) << model;
    EXPECT_LT(qy, 0.5) << model;

    const auto residuals = map.CalibResiduals();
    ASSERT_EQ(residuals.size(), 9u);
    const auto worst = std::max_element(residuals.begin(), residuals.end(),
                                        [](const TCalibResidual& a, const TCalibResidual& b) {
                                          return std::fabs(a.dX) < std::fabs(b.dX);
                                        });
    EXPECT_EQ(worst->Index, 5) << model;
    EXPECT_GT(worst->dX, 2) << model;  // clicked to the right of the fit
    for (const TCalibResidual& r : residuals) {
      EXPECT_TRUE(r.Valid) << model;
      EXPECT_LT(std::fabs(r.dY), 1e-6) << model;
      // A pixel is 0.01 degree; the distance follows the pixel residual
      // along the parallel (about 1 km per 1.4 pixels at 45 N).
      const double metresPerPixel = 0.01 * 6378000 * 3.141592653589793 / 180 *
                                    std::cos((50 - 0.01 * 400) * 3.141592653589793 / 180);
      EXPECT_NEAR(r.DistanceMetres, std::fabs(r.dX) * metresPerPixel,
                  0.1 * metresPerPixel + 0.05 * r.DistanceMetres)
          << model << " point " << r.Index;
    }
  }
}

TEST(CalibrationQuality, UTMResidualsAreInPixelsAndMetres) {
  CalibTestMap map;
  map.SetCalibModel(cmUTM);
  map.SetUTMZone(32);
  // 50 m pixels; the last point is clicked 4 pixels low.
  map.AddCalibPoint(5600000.0, 450000.0, 32, hemiNorth, 0, 0);
  map.AddCalibPoint(5600000.0, 500000.0, 32, hemiNorth, 1000, 0);
  map.AddCalibPoint(5560000.0, 450000.0, 32, hemiNorth, 0, 800);
  map.AddCalibPoint(5560000.0, 500000.0, 32, hemiNorth, 1000, 800);
  map.AddCalibPoint(5580000.0, 475000.0, 32, hemiNorth, 500, 404);
  const auto residuals = map.CalibResiduals();
  ASSERT_EQ(residuals.size(), 5u);
  const TCalibResidual& bad = residuals[4];
  ASSERT_TRUE(bad.Valid);
  EXPECT_NEAR(bad.dX, 0, 1e-4);
  EXPECT_NEAR(bad.dY, 4 * 0.8, 1e-4);  // the least-squares fit absorbs a fifth
  EXPECT_NEAR(bad.DistanceMetres, 3.2 * 50, 2);
}

TEST(CalibrationQuality, LineModelAndNoModelHaveNoPointResiduals) {
  CalibTestMap map;
  map.SetCalibModel(cmParabolicIp);
  map.AddCalibPoint(gtlParallel, 50.0, 10, 10);
  EXPECT_TRUE(map.CalibResiduals().empty());
  double qx = -1, qy = -1;
  map.CalibQuality(qx, qy);
  EXPECT_EQ(qx, 0);
  EXPECT_EQ(qy, 0);
  map.SetCalibModel(cmUndefined);
  EXPECT_TRUE(map.CalibResiduals().empty());
}

}  // namespace
}  // namespace marovia
