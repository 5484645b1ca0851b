// Calibration points: adding, removing and restoring them under each model,
// the capacities of the stores, refusals, and the repaint after each change.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "calib_test_map.h"

namespace marovia {
namespace {

using test::CalibTestMap;
using test::ErrorOf;
using test::MapError;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

const std::string kNoAdd =
    "current calibration model does not support this version of AddCalibPoint";
const std::string kNoRemove =
    "current calibration model does not support this version of RemoveCalibPoint";

std::vector<TCalQuad> Quads(const TGeoMap& map) {
  const TCalibData& cd = map.CalibData();
  return {cd.CalQuads.begin(), cd.CalQuads.begin() + cd.NumCalQuads};
}

std::vector<TCalQuad> Sorted(std::vector<TCalQuad> q) {
  std::sort(q.begin(), q.end(), [](const TCalQuad& a, const TCalQuad& b) {
    return std::tie(a.MapX, a.MapY, a.Latitude) < std::tie(b.MapX, b.MapY, b.Latitude);
  });
  return q;
}

// ------------------------------------------------------------ models

TEST(CalibrationPoints, EachFormOfAddCalibPointIsRefusedByTheOtherModels) {
  for (int m = 0; m < kNumCalibModels; ++m) {
    const auto model = static_cast<TCalibModel>(m);
    CalibTestMap map;
    map.SetCalibModel(model);
    map.SetUTMZone(32);
    const bool lines = model == cmParabolicIp;
    // The projected and thin-plate models take latitude and longitude too.
    const bool geo = (model >= cmBiquadraticPn && model <= cmEquiRect) || model == cmProjected ||
                     model == cmThinPlate;
    const bool utm = model == cmUTM;
    EXPECT_EQ(ErrorOf([&] { map.AddCalibPoint(gtlMeridian, 10.0, 1, 2); }),
              lines ? "" : MapError(kNoAdd))
        << m;
    EXPECT_EQ(ErrorOf([&] { map.AddCalibPoint(50.0, 10.0, 1, 2); }), geo ? "" : MapError(kNoAdd))
        << m;
    EXPECT_EQ(ErrorOf([&] { map.AddCalibPoint(5.5e6, 5e5, 32, hemiNorth, 1, 2); }),
              utm ? "" : MapError(kNoAdd))
        << m;
    EXPECT_EQ(ErrorOf([&] { map.RemoveCalibPoint(gtlMeridian, 10.0, 1, 2); }),
              lines ? "" : MapError(kNoRemove))
        << m;
  }
}

TEST(CalibrationPoints, RefusedOperationsChangeNothing) {
  CalibTestMap map;
  map.SetCalibModel(cmEquiRect);
  map.AddCalibPoint(50.0, 10.0, 1, 2);
  const TCalibData before = map.CalibData();
  const int paints = map.paints;
  EXPECT_THROW(map.AddCalibPoint(gtlParallel, 50.0, 3, 4), EZYLGeoMapError);
  EXPECT_THROW(map.RemoveCalibPoint(gtlParallel, 50.0, 3, 4), EZYLGeoMapError);
  EXPECT_THROW(map.AddCalibPoint(5.5e6, 5e5, 32, hemiNorth, 1, 2), EZYLGeoMapError);
  EXPECT_EQ(map.CalibData(), before);
  EXPECT_EQ(map.paints, paints);
}

// ------------------------------------------------------------ UTM points

TEST(CalibrationPoints, UTMPointsMustBelongToTheMapsZoneAndHemisphere) {
  CalibTestMap map;
  map.SetCalibModel(cmUTM);
  map.ClearCalibData();  // zone -1
  const std::string changed = MapError("UTM zone parameter changed");
  EXPECT_EQ(ErrorOf([&] { map.AddCalibPoint(5.5e6, 5e5, 32, hemiNorth, 1, 2); }), changed);
  map.SetUTMZone(32);
  EXPECT_EQ(ErrorOf([&] { map.AddCalibPoint(5.5e6, 5e5, 33, hemiNorth, 1, 2); }), changed);
  EXPECT_EQ(ErrorOf([&] { map.AddCalibPoint(5.5e6, 5e5, 32, hemiSouth, 1, 2); }), changed);
  EXPECT_EQ(map.CalibData().NumCalQuads, 0);
  EXPECT_TRUE(map.AddCalibPoint(5.5e6, 5e5, 32, hemiNorth, 1, 2));
  map.SetUTMHemisphere(hemiSouth);
  EXPECT_TRUE(map.AddCalibPoint(6.1e6, 4e5, 32, hemiSouth, 3, 4));
  ASSERT_EQ(map.CalibData().NumCalQuads, 2);
  // Northing in Latitude, easting in Longitude.
  EXPECT_EQ(map.CalibData().CalQuads[1], (TCalQuad{6.1e6, 4e5, 3, 4}));
}

// ------------------------------------------------------------ capacities

TEST(CalibrationPoints, The201stGeographicPointIsRefusedWithoutChange) {
  CalibTestMap map(0, 0);
  map.SetCalibModel(cmEquiRect);
  map.SetSuppressPaint(true);
  for (int i = 0; i < kMaxCalQuads; ++i)
    ASSERT_TRUE(map.AddCalibPoint(40.0 + i * 0.01, 8.0 + (i % 7) * 0.1, i, 3 * i));
  const TCalibData before = map.CalibData();
  const int paints = map.paints;
  EXPECT_FALSE(map.AddCalibPoint(60.0, 9.0, 5, 5));
  EXPECT_EQ(map.CalibData(), before);
  EXPECT_EQ(map.paints, paints + 1);  // repaints all the same
}

TEST(CalibrationPoints, GraticuleLinesHoldTenPointsAndTheStoreTwentyFiveLines) {
  CalibTestMap map;
  map.SetCalibModel(cmParabolicIp);
  // The same value twice gives one line with two points.
  map.AddCalibPoint(gtlMeridian, 7.5, 10, 20);
  map.AddCalibPoint(gtlMeridian, 7.5, 11, 90);
  // The same value of the other kind is another line.
  map.AddCalibPoint(gtlParallel, 7.5, 10, 20);
  ASSERT_EQ(map.CalibData().NumCalLines, 2);
  const TCalibLine& line = map.CalibData().CalLines[0];
  EXPECT_EQ(line.LineType, gtlMeridian);
  EXPECT_EQ(line.LineValue, 7.5);
  EXPECT_EQ(line.NumPoints, 2);
  EXPECT_EQ(line.CalPoints[1], (TPoint{11, 90}));

  for (int p = 2; p < kMaxLinePoints; ++p) EXPECT_TRUE(map.AddCalibPoint(gtlMeridian, 7.5, p, p));
  EXPECT_FALSE(map.AddCalibPoint(gtlMeridian, 7.5, 99, 99));  // an 11th point
  EXPECT_EQ(map.CalibData().CalLines[0].NumPoints, kMaxLinePoints);
  EXPECT_EQ(map.CalibData().CalLines[0].CalPoints[kMaxLinePoints - 1], (TPoint{9, 9}));

  for (int l = 2; l < kMaxCalLines; ++l) EXPECT_TRUE(map.AddCalibPoint(gtlParallel, l, l, l));
  ASSERT_EQ(map.CalibData().NumCalLines, kMaxCalLines);
  const int paints = map.paints;
  EXPECT_FALSE(map.AddCalibPoint(gtlParallel, 99.0, 1, 1));  // a 26th line
  EXPECT_EQ(map.CalibData().NumCalLines, kMaxCalLines);
  EXPECT_EQ(map.paints, paints + 1);
  // Existing lines still take points.
  EXPECT_TRUE(map.AddCalibPoint(gtlParallel, 2.0, 5, 5));
}

TEST(CalibrationPoints, PointsWithCoordinatesThatAreNotFiniteAreRefused) {
  struct Case {
    double a, b;
  };
  const Case cases[] = {{kNaN, 1}, {1, kNaN}, {kInf, 1}, {1, -kInf}};
  for (const Case& c : cases) {
    CalibTestMap map;
    map.SetCalibModel(cmEquiRect);
    EXPECT_FALSE(map.AddCalibPoint(c.a, c.b, 1, 2));
    EXPECT_EQ(map.CalibData().NumCalQuads, 0);

    map.SetCalibModel(cmUTM);
    map.SetUTMZone(32);
    EXPECT_FALSE(map.AddCalibPoint(c.a, c.b, 32, hemiNorth, 1, 2));
    EXPECT_EQ(map.CalibData().NumCalQuads, 0);

    map.SetCalibModel(cmParabolicIp);
    EXPECT_FALSE(map.AddCalibPoint(gtlMeridian, std::isfinite(c.a) ? c.b : c.a, 1, 2));
    EXPECT_EQ(map.CalibData().NumCalLines, 0);
  }
}

// ------------------------------------------------------------ removing line points

TEST(CalibrationPoints, RemovingALinePointNeedsItsExactLineAndPixel) {
  CalibTestMap map;
  map.SetCalibModel(cmParabolicIp);
  map.AddCalibPoint(gtlMeridian, 5.0, 10, 20);
  map.AddCalibPoint(gtlMeridian, 5.0, 11, 30);
  map.AddCalibPoint(gtlMeridian, 5.0, 12, 40);
  const TCalibData before = map.CalibData();
  EXPECT_FALSE(map.RemoveCalibPoint(gtlMeridian, 5.0, 10, 21));  // no such pixel
  EXPECT_FALSE(map.RemoveCalibPoint(gtlMeridian, 5.5, 10, 20));  // no such line
  EXPECT_FALSE(map.RemoveCalibPoint(gtlParallel, 5.0, 10, 20));  // other kind
  EXPECT_EQ(map.CalibData(), before);

  const int paints = map.paints;
  EXPECT_TRUE(map.RemoveCalibPoint(gtlMeridian, 5.0, 10, 20));
  EXPECT_EQ(map.paints, paints + 1);
  const TCalibLine& line = map.CalibData().CalLines[0];
  ASSERT_EQ(line.NumPoints, 2);
  EXPECT_EQ(line.CalPoints[0], (TPoint{12, 40}));  // the last point took its place
  EXPECT_EQ(line.CalPoints[1], (TPoint{11, 30}));
}

TEST(CalibrationPoints, RemovingTheOnlyPointOfALineMovesTheLastLineIntoItsPlace) {
  CalibTestMap map;
  map.SetCalibModel(cmParabolicIp);
  map.AddCalibPoint(gtlMeridian, 1.0, 10, 10);
  map.AddCalibPoint(gtlMeridian, 2.0, 20, 20);
  map.AddCalibPoint(gtlParallel, 3.0, 30, 30);
  map.AddCalibPoint(gtlParallel, 3.0, 31, 31);
  EXPECT_TRUE(map.RemoveCalibPoint(gtlMeridian, 1.0, 10, 10));
  const TCalibData& cd = map.CalibData();
  ASSERT_EQ(cd.NumCalLines, 2);
  EXPECT_EQ(cd.CalLines[0].LineType, gtlParallel);
  EXPECT_EQ(cd.CalLines[0].LineValue, 3.0);
  EXPECT_EQ(cd.CalLines[0].NumPoints, 2);
  EXPECT_EQ(cd.CalLines[1].LineValue, 2.0);
}

// ------------------------------------------------------------ nearest point, undo

TEST(CalibrationPoints, RemovesTheNearestPointFirstOneWinningATie) {
  CalibTestMap map;
  map.SetCalibModel(cmEquiRect);
  map.AddCalibPoint(10.0, 20.0, 100, 100);
  map.AddCalibPoint(11.0, 21.0, 200, 100);
  map.AddCalibPoint(12.0, 22.0, 300, 300);
  // (150, 100) is as far from the first as from the second.
  EXPECT_TRUE(map.RemoveCalibPoint(150, 100));
  EXPECT_EQ(Sorted(Quads(map)),
            Sorted({TCalQuad{11.0, 21.0, 200, 100}, TCalQuad{12.0, 22.0, 300, 300}}));
  // Extreme pixels do not overflow the distance.
  EXPECT_TRUE(map.RemoveCalibPoint(INT32_MIN, INT32_MAX));
  EXPECT_EQ(Quads(map), (std::vector<TCalQuad>{{11.0, 21.0, 200, 100}}));
}

TEST(CalibrationPoints, RemoveAndRestoreGiveBackTheSamePointSet) {
  for (const TCalibModel model :
       {cmBiquadraticPn, cmConicConformal, cmMillerCylindrical, cmEquiRect}) {
    CalibTestMap map;
    map.SetCalibModel(model);
    for (int i = 0; i < 6; ++i) map.AddCalibPoint(40.0 + i, 8.0 + i * i * 0.1, 100 * i, 30 * i);
    const auto start = Sorted(Quads(map));
    EXPECT_TRUE(map.RemoveCalibPoint(205, 70));
    EXPECT_EQ(map.CalibData().NumCalQuads, 5);
    map.RestoreLastDeletedCalPoint();
    EXPECT_EQ(Sorted(Quads(map)), start) << model;
    // Only one removal can be undone.
    map.RestoreLastDeletedCalPoint();
    EXPECT_EQ(map.CalibData().NumCalQuads, 6);
  }
}

TEST(CalibrationPoints, RestoringAUTMPointAddsItBackToTheMapsZone) {
  CalibTestMap map;
  map.SetCalibModel(cmUTM);
  map.SetUTMZone(33);
  map.SetUTMHemisphere(hemiSouth);
  map.AddCalibPoint(6.1e6, 4.5e5, 33, hemiSouth, 10, 10);
  map.AddCalibPoint(6.2e6, 4.6e5, 33, hemiSouth, 500, 20);
  EXPECT_TRUE(map.RemoveCalibPoint(490, 30));
  map.RestoreLastDeletedCalPoint();
  EXPECT_EQ(Sorted(Quads(map)),
            Sorted({TCalQuad{6.1e6, 4.5e5, 10, 10}, TCalQuad{6.2e6, 4.6e5, 500, 20}}));
}

TEST(CalibrationPoints, RemoveAndRestoreOfALinePoint) {
  CalibTestMap map;
  map.SetCalibModel(cmParabolicIp);
  map.AddCalibPoint(gtlMeridian, 1.0, 10, 10);
  map.AddCalibPoint(gtlParallel, 2.0, 50, 50);
  map.AddCalibPoint(gtlParallel, 2.0, 80, 52);
  EXPECT_TRUE(map.RemoveCalibPoint(12, 11));  // the meridian's only point
  ASSERT_EQ(map.CalibData().NumCalLines, 1);
  EXPECT_EQ(map.CalibData().CalLines[0].LineType, gtlParallel);
  map.RestoreLastDeletedCalPoint();
  ASSERT_EQ(map.CalibData().NumCalLines, 2);
  const TCalibLine& back = map.CalibData().CalLines[1];
  EXPECT_EQ(back.LineType, gtlMeridian);
  EXPECT_EQ(back.LineValue, 1.0);
  EXPECT_EQ(back.NumPoints, 1);
  EXPECT_EQ(back.CalPoints[0], (TPoint{10, 10}));
  map.RestoreLastDeletedCalPoint();  // nothing left to undo
  EXPECT_EQ(map.CalibData().NumCalLines, 2);
  EXPECT_EQ(map.CalibData().CalLines[1].NumPoints, 1);
}

TEST(CalibrationPoints, CountsBeyondTheCapacitiesAreNeverIndexed) {
  // The record is public; hosts may write any count into it. The sanitizer
  // build reports any access beyond the arrays; the answers must read the
  // counts as clamped to the stores.
  for (const int32_t count : {-7, kMaxCalQuads + 1, 1000}) {
    for (int m = 0; m < kNumCalibModels; ++m) {
      CalibTestMap map;
      map.SetSuppressPaint(true);
      TCalibData cd;
      cd.UTMZone = 32;
      for (int i = 0; i < kMaxCalQuads; ++i)
        cd.CalQuads[i] = {50.0 - i * 0.01, 8.0 + (i % 9) * 0.1, i * 5, (i % 9) * 80};
      for (int i = 0; i < kMaxCalLines; ++i) {
        cd.CalLines[i].LineType = i % 2 ? gtlParallel : gtlMeridian;
        cd.CalLines[i].LineValue = i;
        cd.CalLines[i].NumPoints = count;
      }
      cd.NumCalLines = count;
      cd.NumCalQuads = count;
      map.SetCalibData(cd);
      map.SetCalibModel(static_cast<TCalibModel>(m));  // refits
      map.RemoveCalibPoint(100, 100);
      map.SetCalibData(cd);
      if (m == cmParabolicIp) map.AddCalibPoint(gtlParallel, 1.0, 5, 5);
      if (m == cmUTM) map.AddCalibPoint(5e6, 5e5, 32, hemiNorth, 5, 5);
      const bool geographic =
          (m >= cmBiquadraticPn && m <= cmEquiRect) || m == cmProjected || m == cmThinPlate;
      if (geographic) map.AddCalibPoint(45.0, 9.0, 5, 5);
      double qx = 0, qy = 0;
      map.CalibQuality(qx, qy);
      // A negative count reads as an empty store, so the point added is
      // the only one; a count at or past the capacity is a full store,
      // which refuses the point and is read up to its capacity.
      const std::string what = "count " + std::to_string(count) + " model " + std::to_string(m);
      const bool pointModel = geographic || m == cmUTM;
      const size_t held = count < 0 ? 1 : kMaxCalQuads;
      EXPECT_EQ(map.CalibResiduals().size(), pointModel ? held : 0) << what;
      if (pointModel) {
        EXPECT_EQ(map.CalibData().NumCalQuads, count < 0 ? 1 : count) << what;
      }
      if (m == cmParabolicIp) {
        EXPECT_EQ(map.CalibData().NumCalLines, count < 0 ? 1 : count) << what;
      }
      EXPECT_TRUE(std::isfinite(qx) && qx >= 0 && std::isfinite(qy) && qy >= 0) << what;
    }
  }
}

// ------------------------------------------------------------ clearing, repaints

TEST(CalibrationPoints, ClearCalibDataEmptiesTheStoresAndResetsTheGrid) {
  CalibTestMap map;
  map.SetCalibModel(cmUTM);
  map.SetUTMZone(12);
  map.SetUTMHemisphere(hemiSouth);
  TCalibData cd = map.CalibData();
  cd.Ellipsoid = gelClrk66;
  cd.Caption = "kept";
  cd.MapFName = "kept.bmp";
  map.SetCalibData(cd);
  map.AddCalibPoint(6.1e6, 4.5e5, 12, hemiSouth, 10, 10);
  map.AddCalibPoint(6.2e6, 4.6e5, 12, hemiSouth, 500, 20);
  map.SetCalibModel(cmParabolicIp);
  map.AddCalibPoint(gtlMeridian, 1.0, 10, 10);
  const int paints = map.paints;
  map.ClearCalibData();
  EXPECT_EQ(map.paints, paints + 1);
  const TCalibData& after = map.CalibData();
  EXPECT_EQ(after.NumCalLines, 0);
  EXPECT_EQ(after.CalLines[0].NumPoints, 0);
  EXPECT_EQ(after.NumCalQuads, 0);
  EXPECT_EQ(after.CalQuads[0], TCalQuad{});
  EXPECT_EQ(after.UTMZone, -1);
  EXPECT_FALSE(after.UTMSouth);
  EXPECT_EQ(after.Ellipsoid, gelWGS84);
  EXPECT_EQ(after.Resolution, 0);
  EXPECT_EQ(after.Corners, TCornerArray{});
  EXPECT_EQ(after.Caption, "kept");
  EXPECT_EQ(after.MapFName, "kept.bmp");
  EXPECT_EQ(map.CalibModel(), cmParabolicIp);
}

TEST(CalibrationPoints, EveryChangeRepaintsOnce) {
  CalibTestMap map;
  map.SetCalibModel(cmEquiRect);
  EXPECT_EQ(map.paints, 1);
  map.AddCalibPoint(10.0, 20.0, 100, 100);
  EXPECT_EQ(map.paints, 2);
  map.RemoveCalibPoint(0, 0);
  EXPECT_EQ(map.paints, 3);
  map.RestoreLastDeletedCalPoint();
  EXPECT_EQ(map.paints, 4);
  map.RecalcCalibration();
  EXPECT_EQ(map.paints, 5);
}

}  // namespace
}  // namespace marovia
