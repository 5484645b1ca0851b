// Maps across 180 degrees: longitudes within -180..180 on both sides,
// positions found on both sides, single points and batches alike; maps
// that do not cross convert exactly as their fit says.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "marovia/geomap/map_calibration.h"

namespace marovia {
namespace {

constexpr int W = 200, H = 100;

// An affine map through three corners (northing/easting under cmUTM).
TMapCalibration Affine(TCalibModel Model, int Zone, double TopLeftA, double TopLeftB, double RightB,
                       double BottomA) {
  TCalibData d;
  d.UTMZone = Zone;
  TMapCalibration cal(Model, d, W, H);
  cal.AddPoint(TopLeftA, TopLeftB, 0, 0);
  cal.AddPoint(TopLeftA, RightB, W, 0);
  cal.AddPoint(BottomA, TopLeftB, 0, H);
  cal.Fit();
  return cal;
}

TEST(Antimeridian, CrossingMapsGiveBothSidesWithinTheRangeAndTakePositionsOnBoth) {
  const struct {
    const char* What;
    TMapCalibration Cal;
  } cases[] = {
      // Zone 60's meridian is 177 E: 900 km east of false easting is past 180.
      {"UTM zone 60 reaching east", Affine(cmUTM, 60, 100000, 700000, 900000, 0)},
      // Zone 1's meridian is 177 W: 50 km of easting is past 180 westwards.
      {"UTM zone 1 reaching west", Affine(cmUTM, 1, 100000, 50000, 250000, 0)},
      {"latitude/longitude given east of 180", Affine(cmEquiRect, 0, -15, 176, 184, -19)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    ASSERT_TRUE(c.Cal.Converts());
    EXPECT_FALSE(std::isnan(c.Cal.LongitudeCentre()));
    bool east = false, west = false;
    std::vector<double> xs, ys;
    for (int i = 0; i <= 20; ++i) {
      xs.push_back(W * i / 20.0);
      ys.push_back(H / 3.0);
    }
    std::vector<double> lat(xs.size()), lon(xs.size()), bx(xs.size()), by(xs.size());
    std::vector<uint8_t> ok(xs.size());
    c.Cal.PixelToGeo(xs, ys, lat, lon, ok);
    c.Cal.GeoToPixel(lat, lon, bx, by, ok);
    for (size_t i = 0; i < xs.size(); ++i) {
      const TPixelPosition p = c.Cal.PixelToGeo(xs[i], ys[i]);
      ASSERT_TRUE(p.Valid());
      EXPECT_LE(std::fabs(p.Longit), 180.0);
      EXPECT_EQ(p.Longit, lon[i]);  // the batch gives the same bits
      east = east || p.Longit > 170;
      west = west || p.Longit < -170;
      double x = 0, y = 0;
      ASSERT_TRUE(c.Cal.GeoToPixelExact(p.Latit, p.Longit, x, y));
      EXPECT_NEAR(x, xs[i], 1e-6);
      EXPECT_NEAR(y, ys[i], 1e-6);
      EXPECT_EQ(x, bx[i]);
      // The same meridian written a turn away finds the same pixel.
      double x2 = 0, y2 = 0;
      ASSERT_TRUE(c.Cal.GeoToPixelExact(p.Latit, p.Longit + 360, x2, y2));
      EXPECT_NEAR(x2, x, 1e-6);
    }
    EXPECT_TRUE(east && west);
  }
}

TEST(Antimeridian, MapsThatDoNotCrossConvertAsFitted) {
  const TMapCalibration cal = Affine(cmEquiRect, 0, 47, 8, 9, 46);
  EXPECT_TRUE(std::isnan(cal.LongitudeCentre()));
  // A position half a world away stays where the affine rows put it.
  double x = 0, y = 0;
  ASSERT_TRUE(cal.GeoToPixelExact(46.5, -171, x, y));
  const auto& r = cal.EquRectSPPL();
  EXPECT_EQ(x, r[0][0] + r[0][1] * 46.5 + r[0][2] * -171);
  EXPECT_EQ(y, r[1][0] + r[1][1] * 46.5 + r[1][2] * -171);
}

}  // namespace
}  // namespace marovia
