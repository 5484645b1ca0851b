// Conversions: every model both ways, failure reporting instead of raising
// for positions and pixels far off the map, the UTM grid crossings, control
// and image coordinates, corners and resolution, and PositionInMap.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "calib_test_map.h"
#include "marovia/geobasics/transverse_mercator.h"
#include "marovia/geobasics/utm.h"

namespace marovia {
namespace {

using test::CalibTestMap;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kPi = 3.141592653589793;

// A map of zone 32N, 1500 x 1600 pixels of 200 m, origin at easting 300000
// and northing 5700000 (about 51.4 N, 6.2 E at the top left). It reaches
// beyond the zone's strip on both sides.
void CalibrateUTM32(TGeoMap& map) {
  map.SetCalibModel(cmUTM);
  map.SetUTMZone(32);
  map.SetUTMHemisphere(hemiNorth);
  for (const int32_t x : {0, 700, 1500})
    for (const int32_t y : {0, 800, 1600})
      map.AddCalibPoint(5700000.0 - 200.0 * y, 300000.0 + 200.0 * x, 32, hemiNorth, x, y);
}

void CalibrateEquiRect(TGeoMap& map) {
  // 10 x 10 degrees over 1000 x 800 pixels: 50 N 5 E at the top left.
  map.SetCalibModel(cmEquiRect);
  map.AddCalibPoint(50.0, 5.0, 0, 0);
  map.AddCalibPoint(50.0, 15.0, 1000, 0);
  map.AddCalibPoint(40.0, 5.0, 0, 800);
}

// ------------------------------------------------------------ undefined model

TEST(Conversion, AnUncalibratedMapConvertsNothing) {
  CalibTestMap map;
  bool valid = true;
  EXPECT_EQ(map.CalcLatitude(10, 20, valid), 0);
  EXPECT_FALSE(valid);
  valid = true;
  EXPECT_EQ(map.CalcLongitude(TPoint{10, 20}, valid), 0);
  EXPECT_FALSE(valid);
  int32_t x = 7, y = 7;
  EXPECT_FALSE(map.CalcPixelCoords(50, 10, x, y));
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  EXPECT_FALSE(map.CalcPixelCoordsUTM(5e6, 5e5, x, y));
}

// ------------------------------------------------------------ far off the map

TEST(Conversion, PositionsFarOffTheMapReportFailureInsteadOfRaising) {
  struct Case {
    double lat, lon;
  };
  const Case far[] = {{kNaN, 10},  {45, kNaN},  {kInf, 10},  {45, -kInf},   {1e300, 10},
                      {45, 1e300}, {-1e15, 10}, {89.9, 179}, {-89.99, -170}};
  std::vector<std::unique_ptr<CalibTestMap>> maps;
  for (const TCalibModel model :
       {cmBiquadraticPn, cmConicConformal, cmMillerCylindrical, cmEquiRect}) {
    auto map = std::make_unique<CalibTestMap>();
    map->SetCalibModel(model);
    for (const int32_t x : {0, 500, 1000})
      for (const int32_t y : {0, 400, 800})
        map->AddCalibPoint(50.0 - y / 100.0, 5.0 + x / 100.0, x, y);
    maps.push_back(std::move(map));
  }
  maps.push_back(std::make_unique<CalibTestMap>());
  CalibrateUTM32(*maps.back());

  for (const auto& map : maps) {
    for (const Case& c : far) {
      int32_t x = 0, y = 0;
      bool ok = false;
      EXPECT_NO_THROW(ok = map->CalcPixelCoords(c.lat, c.lon, x, y))
          << map->CalibModel() << ": " << c.lat << ", " << c.lon;
      if (!std::isfinite(c.lat) || !std::isfinite(c.lon)) {
        EXPECT_FALSE(ok) << map->CalibModel() << ": " << c.lat << ", " << c.lon;
      }
    }
    for (const int32_t px : {INT32_MIN, -1000000, 0, INT32_MAX})
      for (const int32_t py : {INT32_MIN, 0, 5000000, INT32_MAX}) {
        bool valid = false;
        double v = 0;
        EXPECT_NO_THROW(v = map->CalcLatitude(px, py, valid));
        EXPECT_TRUE(std::isfinite(v));
        EXPECT_NO_THROW(v = map->CalcLongitude(px, py, valid));
        EXPECT_TRUE(std::isfinite(v));
      }
  }
}

TEST(Conversion, EquiRectPositionsBeyondThirtyTwoBitsFail) {
  CalibTestMap map;
  CalibrateEquiRect(map);
  int32_t x = 5, y = 5;
  // 100 pixels per degree: 2^31 pixels are 21474836.48 degrees away.
  EXPECT_TRUE(map.CalcPixelCoords(50, 5 + 21474836.0, x, y));
  EXPECT_EQ(x, 2147483600);
  EXPECT_FALSE(map.CalcPixelCoords(50, 5 + 21474837.0, x, y));
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  EXPECT_TRUE(map.CalcPixelCoords(50, 5 - 21474836.0, x, y));
  EXPECT_EQ(x, -2147483600);
}

// ------------------------------------------------------------ point models

TEST(Conversion, UTMMapPlacesPositionsBeyondItsZoneOnItsOwnGrid) {
  // Regression: positions were projected in the zone they lie in, so the
  // western part of this zone-32 map (zone 31, west of 6 E) landed about
  // 400 km off.
  CalibTestMap map(1500, 1600);
  map.SetSuppressPaint(true);
  CalibrateUTM32(map);
  for (const double lat : {49.0, 50.0, 51.0})
    for (const double lon : {4.0, 5.5, 6.5, 9.0, 12.5, 14.0}) {
      double tx = 0, ty = 0;
      LatLongToTM(lat / 180 * kPi, lon / 180 * kPi, UTMCentralMeridian(32), gelWGS84, tx, ty);
      const double easting = tx * UTM_k0 + UTM_FalseEasting;
      const double northing = ty * UTM_k0;
      int32_t x = 0, y = 0;
      ASSERT_TRUE(map.CalcPixelCoords(lat, lon, x, y));
      EXPECT_NEAR(x, (easting - 300000) / 200, 0.5 + 1e-6) << lat << ", " << lon;
      EXPECT_NEAR(y, (5700000 - northing) / 200, 0.5 + 1e-6) << lat << ", " << lon;
      // And back, through the map's zone.
      bool vLat = false, vLon = false;
      const double backLat = map.CalcLatitude(x, y, vLat);
      const double backLon = map.CalcLongitude(x, y, vLon);
      ASSERT_TRUE(vLat && vLon);
      EXPECT_NEAR(backLat, lat, 0.003);
      EXPECT_NEAR(backLon, lon, 0.003);
    }
}

TEST(Conversion, SouthernUTMMapStaysContinuousAcrossTheEquator) {
  CalibTestMap map;
  map.SetCalibModel(cmUTM);
  map.SetUTMZone(33);
  map.SetUTMHemisphere(hemiSouth);
  // 100 m pixels; the top row lies at northing 10030000, 30 km north of the
  // equator on the southern grid.
  for (const int32_t x : {0, 500, 1000})
    for (const int32_t y : {0, 800})
      map.AddCalibPoint(10030000.0 - 100.0 * y, 450000.0 + 100.0 * x, 33, hemiSouth, x, y);
  int32_t xn = 0, yn = 0, xs = 0, ys = 0;
  ASSERT_TRUE(map.CalcPixelCoords(0.05, 15.0, xn, yn));
  ASSERT_TRUE(map.CalcPixelCoords(-0.05, 15.0, xs, ys));
  EXPECT_EQ(xn, xs);
  EXPECT_NEAR(ys - yn, 0.1 * 110574 / 100, 2);  // 0.1 degree of latitude
  EXPECT_NEAR(yn, 300 - 0.05 * 110574 / 100, 2);
}

TEST(Conversion, ConicLongitudeIsUndefinedOnTheApexRow) {
  CalibTestMap map(1200, 800);
  map.SetCalibModel(cmConicConformal);
  // An exact cone with its apex at (600, -4000).
  const auto lat = [](double x, double y) { return -0.002 * std::hypot(x - 600, y + 4000) + 58; };
  const auto lon = [](double x, double y) { return 50 * std::atan((x - 600) / (y + 4000)) + 10; };
  for (const int32_t x : {50, 600, 1150})
    for (const int32_t y : {30, 400, 770}) map.AddCalibPoint(lat(x, y), lon(x, y), x, y);
  bool valid = true;
  EXPECT_EQ(map.CalcLongitude(700, -4000, valid), 0);
  EXPECT_FALSE(valid);
  EXPECT_EQ(map.CalcLongitude(600, -4000, valid), 0);  // the apex itself
  EXPECT_FALSE(valid);
  EXPECT_NEAR(map.CalcLatitude(600, -4000, valid), 58, 1e-9);
  EXPECT_TRUE(valid);
  EXPECT_NEAR(map.CalcLongitude(700, -3999, valid), lon(700, -3999), 1e-6);
  EXPECT_TRUE(valid);
}

// ------------------------------------------------------------ line model

TEST(Conversion, LineModelFailsWhereTheTwoNearestLinesMeet) {
  CalibTestMap map;
  map.SetCalibModel(cmParabolicIp);
  // Parallel 50 along y = 100, parallel 49 along y = x / 5: they cross at
  // x = 500.
  for (const int32_t x : {0, 500, 1000}) {
    map.AddCalibPoint(gtlParallel, 50.0, x, 100);
    map.AddCalibPoint(gtlParallel, 49.0, x, x / 5);
  }
  for (const int32_t y : {0, 400, 800}) {
    map.AddCalibPoint(gtlMeridian, 8.0, 100, y);
    map.AddCalibPoint(gtlMeridian, 9.0, 900, y);
  }
  bool valid = true;
  EXPECT_EQ(map.CalcLatitude(500, 300, valid), 0);
  EXPECT_FALSE(valid);
  map.CalcLatitude(400, 300, valid);
  EXPECT_TRUE(valid);
}

// ------------------------------------------------------------ UTM grid

TEST(Conversion, UTMGridCrossingsLieOnTheGridLines) {
  CalibTestMap map(1500, 1600);
  map.SetSuppressPaint(true);
  CalibrateUTM32(map);
  for (const double northing : {5690000.0, 5500000.0, 5400000.0})
    for (const int32_t x : {0, 333, 1500}) {
      bool valid = false;
      const int32_t y = map.CalcUTMyFromNorthingX(northing, x, valid);
      EXPECT_TRUE(valid);
      EXPECT_EQ(y, static_cast<int32_t>(std::lround((5700000 - northing) / 200)));
      EXPECT_EQ(map.CalcUTMyFromNorthingX(northing, x), y);
    }
  for (const double easting : {310000.0, 500000.0, 600000.0})
    for (const int32_t y : {0, 999}) {
      bool valid = false;
      const int32_t x = map.CalcUTMxFromEastingY(easting, y, valid);
      EXPECT_TRUE(valid);
      EXPECT_EQ(x, static_cast<int32_t>(std::lround((easting - 300000) / 200)));
      int32_t px = 0, py = 0;
      ASSERT_TRUE(map.CalcPixelCoordsUTM(5700000 - 200.0 * y, easting, px, py));
      EXPECT_EQ(px, x);
      EXPECT_EQ(py, y);
    }
}

TEST(Conversion, UTMGridCrossingsOfAnUnfittedMapAreInvalid) {
  CalibTestMap map;
  map.SetCalibModel(cmUTM);  // no points: all grid parameters 0
  bool valid = true;
  EXPECT_EQ(map.CalcUTMyFromNorthingX(5e6, 10, valid), 0);
  EXPECT_FALSE(valid);
  valid = true;
  EXPECT_EQ(map.CalcUTMxFromEastingY(5e5, 10, valid), 0);
  EXPECT_FALSE(valid);
  EXPECT_EQ(map.CalcUTMxFromEastingY(5e5, 10), 0);
}

// ------------------------------------------------------------ control <-> image

TEST(Conversion, ControlAndImageCoordinates) {
  CalibTestMap map;
  map.SetMagnification(2);
  map.SetTopLeft(TPoint{100, 50});
  struct Case {
    TPoint control, image;
  };
  const Case toImage[] = {
      {{11, 11}, {106, 56}},  // 5.5 rounds to the even 6
      {{9, 9}, {104, 54}},    // 4.5 rounds to 4
      {{0, 0}, {100, 50}},
      {{-3, -5}, {98, 48}},  // -1.5 -> -2, -2.5 -> -2
      {{INT32_MAX, INT32_MIN}, {INT32_MAX / 2 + 1 + 100, INT32_MIN / 2 + 50}},
  };
  for (const Case& c : toImage) EXPECT_EQ(map.ControlToMapImage(c.control), c.image);
  EXPECT_EQ(map.MapImageToControl(TPoint{106, 56}), (TPoint{12, 12}));
  EXPECT_EQ(map.MapImageToControl(TPoint{100, 50}), (TPoint{0, 0}));
}

TEST(Conversion, ControlAndImageCoordinatesSaturateInsteadOfOverflowing) {
  CalibTestMap map;
  map.SetMagnification(kMinMagnification);
  map.SetTopLeft(TPoint{INT32_MAX - 5, INT32_MIN + 5});
  EXPECT_EQ(map.ControlToMapImage(TPoint{1000, -1000}), (TPoint{INT32_MAX, INT32_MIN}));
  EXPECT_EQ(map.ControlToMapImage(TPoint{INT32_MAX, INT32_MIN}), (TPoint{INT32_MAX, INT32_MIN}));
  map.SetMagnification(kMaxMagnification);
  map.SetTopLeft(TPoint{INT32_MIN, INT32_MAX});
  EXPECT_EQ(map.MapImageToControl(TPoint{INT32_MAX, INT32_MIN}), (TPoint{INT32_MAX, INT32_MIN}));
}

// ------------------------------------------------------------ extents

TEST(Conversion, CornersAndResolutionFollowTheCalibration) {
  CalibTestMap map(1000, 500);
  map.SetCalibModel(cmEquiRect);
  // One degree of longitude across, on the equator in the middle row.
  map.AddCalibPoint(0.25, 0.0, 0, 0);
  map.AddCalibPoint(0.25, 1.0, 1000, 0);
  map.AddCalibPoint(-0.25, 0.0, 0, 500);
  const TCalibData& cd = map.CalibData();
  EXPECT_NEAR(cd.Corners[gcoTopLeft].Latit, 0.25, 1e-12);
  EXPECT_NEAR(cd.Corners[gcoTopLeft].Longit, 0.0, 1e-12);
  EXPECT_NEAR(cd.Corners[gcoBottomLeft].Latit, -0.25, 1e-12);
  EXPECT_NEAR(cd.Corners[gcoBottomRight].Longit, 1.0, 1e-12);
  EXPECT_NEAR(cd.Corners[gcoTopRight].Latit, 0.25, 1e-12);
  EXPECT_NEAR(cd.Corners[gcoTopRight].Longit, 1.0, 1e-12);
  EXPECT_NEAR(cd.Resolution, 6378000 * kPi / 180 / 1000, 1e-6);  // about 111.3 m
  EXPECT_TRUE(map.IsPositionWithinMap(0.0, 0.5));
  EXPECT_FALSE(map.IsPositionWithinMap(0.3, 0.5));

  // Without a model every corner and the resolution are 0.
  map.SetCalibModel(cmUndefined);
  EXPECT_EQ(cd.Corners, TCornerArray{});
  EXPECT_EQ(cd.Resolution, 0);
}

TEST(Conversion, PositionInMapIsStrictlyInside) {
  const TCornerArray square = {TCoords{50, 0}, TCoords{40, 0}, TCoords{40, 10}, TCoords{50, 10}};
  const TCornerArray reversed = {TCoords{50, 10}, TCoords{40, 10}, TCoords{40, 0}, TCoords{50, 0}};
  struct Case {
    double lat, lon;
    bool inside;
  };
  const Case cases[] = {
      {45, 5, true},  {49.99, 0.01, true}, {50, 5, false},                    // top edge
      {40, 5, false}, {45, 0, false},      {45, 10, false},  {50, 0, false},  // a corner
      {51, 5, false}, {45, -1, false},     {kNaN, 5, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PositionInMap(c.lat, c.lon, square), c.inside) << c.lat << ", " << c.lon;
    EXPECT_EQ(PositionInMap(c.lat, c.lon, reversed), c.inside) << c.lat << ", " << c.lon;
  }
  EXPECT_FALSE(PositionInMap(0, 0, TCornerArray{}));
  EXPECT_FALSE(PositionInMap(1, 1, TCornerArray{}));
}

// Corners across 180 degrees, as a map's conversions give them (175 and
// -175) or written on from 180 (185), take positions on both sides; maps
// that reach 180 without crossing keep comparing longitudes as given.
TEST(Conversion, PositionInMapAcross180Degrees) {
  const auto box = [](double West, double East) {
    return TCornerArray{TCoords{50, West}, TCoords{40, West}, TCoords{40, East}, TCoords{50, East}};
  };
  const struct {
    const char* What;
    TCornerArray Corners;
    double Lon;
    bool Inside;
  } cases[] = {
      {"crossing, east side", box(175, -175), -179, true},
      {"crossing, west side", box(175, 185), 179, true},
      {"crossing, east side written on", box(175, 185), -176, true},
      {"crossing, a turn away", box(175, -175), 539, true},
      {"crossing, the other half of the world", box(175, -175), 0, false},
      {"crossing, just west", box(175, -175), 174, false},
      {"world map", box(-180, 180), 0, true},
      {"world map of 0 to 360", box(0, 360), -10, true},
      {"ordinary map, a turn away", box(0, 10), 365, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PositionInMap(45, c.Lon, c.Corners), c.Inside) << c.What;
  }
  // One piece: east corners on from 180; world maps as given.
  EXPECT_EQ(ContinuousCorners(box(175, -175)), box(175, 185));
  EXPECT_EQ(ContinuousCorners(box(-180, 180)), box(-180, 180));
  EXPECT_EQ(ContinuousCorners(box(10, 0)), box(10, 0));  // mirrored: as given
}

}  // namespace
}  // namespace marovia
