// Graticule lines, calibration markers and the UTM grid, at the pixels a
// known calibration puts them.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "render_fixture.h"

namespace marovia::test {
namespace {

constexpr TColor kGrat = clBlue;
constexpr TColor kMark = clRed;

// A view showing the whole 300 x 200 generated map at magnification 1.
class RenderGrid : public ::testing::Test {
 protected:
  RenderGrid() : v(320, 220) {
    v.map.SetColorGraticule(kGrat);
    v.map.SetColorCalibPoints(kMark);
  }
  // Rows of column X, and columns of row Y, in colour C.
  std::vector<int> RowsIn(int X, TColor C) const {
    std::vector<int> rows;
    for (int y = 0; y < v.map.Height(); ++y)
      if (v.At(X, y) == C) rows.push_back(y);
    return rows;
  }
  std::vector<int> ColumnsIn(int Y, TColor C) const {
    std::vector<int> cols;
    for (int x = 0; x < v.map.Width(); ++x)
      if (v.At(x, Y) == C) cols.push_back(x);
    return cols;
  }
  MapView v;
};

TEST_F(RenderGrid, ParallelsAndMeridiansOfAGeneratedMapFallOnTheirPixels) {
  GenerateBlankMap(v.map);
  v.map.SetShowGraticule(sgLines);
  // Parallels 40..49 (one per degree over a 10-degree map) at y = 200 - 20 *
  // (lat - 40); meridians 10..19 at x = 30 * (long - 10), each drawn from
  // latitude 40 (y = 200) up to latitude 50 (y = 0, excluded).
  EXPECT_EQ(RowsIn(77, kGrat), (std::vector<int>{20, 40, 60, 80, 100, 120, 140, 160, 180, 200}));
  EXPECT_EQ(ColumnsIn(77, kGrat), (std::vector<int>{0, 30, 60, 90, 120, 150, 180, 210, 240, 270}));
  EXPECT_EQ(v.At(150, 1), kGrat);  // meridians reach row 1 ...
  EXPECT_NE(v.At(150, 0), kGrat);  // ... but not the end point
  EXPECT_EQ(v.Count(kMark), 0);    // lines only, no markers
}

TEST_F(RenderGrid, AMapAcross180DegreesDrawsItsMeridiansOnBothSides) {
  // 175 E to 175 W: the corners give 175 and -175, the meridians still run
  // 175, 176, ..., 179, 180, 179 W, ..., 176 W across at x = 30 * (long - 175).
  v.map.CreateEmptyMapInMemory(40, 175, 50, 185, 1, 1, 300, 200, false, nullptr);
  ASSERT_LT(v.map.CalibData().Corners[gcoTopRight].Longit, 0);
  v.map.SetShowGraticule(sgLines);
  EXPECT_EQ(ColumnsIn(77, kGrat), (std::vector<int>{0, 30, 60, 90, 120, 150, 180, 210, 240, 270}));
  EXPECT_EQ(RowsIn(77, kGrat), (std::vector<int>{20, 40, 60, 80, 100, 120, 140, 160, 180, 200}));
  // The automatic spacing sees a map 10 degrees wide, not 350.
  MapView plain(320, 220);
  GenerateBlankMap(plain.map);
  EXPECT_EQ(v.map.GratLineDistFor(1), plain.map.GratLineDistFor(1));
}

TEST_F(RenderGrid, SpacingOfGratLineDistIsUsed) {
  GenerateBlankMap(v.map);
  v.map.SetGratLineDist(2.5);
  v.map.SetShowGraticule(sgLines);
  // 40, 42.5, 45, 47.5 at y = 200, 150, 100, 50.
  EXPECT_EQ(RowsIn(77, kGrat), (std::vector<int>{50, 100, 150, 200}));
}

TEST_F(RenderGrid, AutomaticSpacingIsAPowerOfTenAndTheFirstLineIsTruncatedTowardZero) {
  // 0.35 degrees of latitude from -0.58 to -0.23: lines every 0.1 degree
  // from Trunc(-5.8) / 10 = -0.5 (not from -0.6) while below -0.23.
  GenerateBlankMap(v.map, -0.58, -0.23);
  v.map.SetShowGraticule(sgLines);
  std::vector<int> want;
  for (double lat : {-0.3, -0.4, -0.5}) want.push_back(Round32(200 - (lat + 0.58) / 0.35 * 200));
  EXPECT_EQ(RowsIn(77, kGrat), want);
}

TEST_F(RenderGrid, CalibrationPointMarkersAreACrossInThreeDiamonds) {
  GenerateBlankMap(v.map);
  v.map.SetShowGraticule(sgPoints);
  // The nine points of a map without grid lie on its edges and centre:
  // x 0, 150, 300 and y 200, 100, 0. Look at the centre one.
  const int a = 150, b = 100;
  // Horizontal through the centre: diamonds at radius 10 (marker colour),
  // 9 (white) and 8, then the cross from a - 8 to a + 7; a + 8 is the
  // diamond's corner again.
  EXPECT_EQ(v.At(a - 11, b), clWhite);
  EXPECT_EQ(v.At(a - 10, b), kMark);
  EXPECT_EQ(v.At(a - 9, b), clWhite);
  for (int x = a - 8; x <= a + 8; ++x) EXPECT_EQ(v.At(x, b), kMark) << x;
  EXPECT_EQ(v.At(a + 9, b), clWhite);
  EXPECT_EQ(v.At(a + 10, b), kMark);
  // The vertical arm stops before b + 8 (LineTo excludes its end) but the
  // diamond's bottom corner is there.
  for (int y = b - 8; y <= b + 8; ++y) EXPECT_EQ(v.At(a, y), kMark) << y;
  EXPECT_EQ(v.At(a, b - 9), clWhite);
  EXPECT_EQ(v.At(a, b + 10), kMark);
  // A diagonal pixel of the radius-8 diamond, and inside the diamond off
  // the cross the map shows through.
  EXPECT_EQ(v.At(a + 4, b - 4), kMark);
  EXPECT_EQ(v.At(a + 2, b - 3), clWhite);
  EXPECT_EQ(v.Count(kGrat), 0);  // points only, no lines
}

TEST_F(RenderGrid, MarkersFollowTheView) {
  GenerateBlankMap(v.map);
  v.map.SetShowGraticule(sgPoints);
  v.map.SetMagnification(2);
  v.map.SetTopLeft({100, 50});  // the centre point (150, 100) is at control (100, 100)
  EXPECT_EQ(v.At(100, 100), kMark);
  EXPECT_EQ(v.At(91, 100), clWhite);
  EXPECT_EQ(v.At(90, 100), kMark);
}

TEST_F(RenderGrid, BiquadraticWithFivePointsDrawsMarkersButNoLines) {
  TBitmap blank(300, 200);
  v.map.SetMapBitmap(blank);
  v.map.SetSuppressPaint(true);
  v.map.SetCalibModel(cmBiquadraticPn);
  const double pts[5][4] = {
      {40, 10, 0, 200}, {50, 10, 0, 0}, {40, 20, 300, 200}, {50, 20, 300, 0}, {45, 15, 150, 100}};
  for (auto& p : pts) v.map.AddCalibPoint(p[0], p[1], int32_t(p[2]), int32_t(p[3]));
  v.map.SetShowGraticule(sgPointsAndLines);
  v.map.SetSuppressPaint(false);
  EXPECT_EQ(v.Count(kGrat), 0);
  EXPECT_EQ(v.At(150, 100), kMark);
  EXPECT_EQ(v.At(10, 200), kMark);  // the bottom-left point's cross
  // A sixth point brings the lines.
  v.map.AddCalibPoint(42.5, 17.5, 225, 150);
  EXPECT_GT(v.Count(kGrat), 1000);
}

TEST_F(RenderGrid, UTMGridSelectionShowsNothingOnOtherModels) {
  GenerateBlankMap(v.map);
  for (TShowGrat s : {sgUTMGrid, sgPointsAndUTMGrid}) {
    v.map.SetShowGraticule(s);
    EXPECT_EQ(v.Count(kGrat), 0) << int(s);
    EXPECT_EQ(v.Count(kMark), 0) << int(s);
  }
}

TEST_F(RenderGrid, LineModelDrawsEachCalibrationLineAsItsParabolaAcrossTheView) {
  TBitmap blank(300, 200);
  v.map.SetMapBitmap(blank);
  v.map.SetColorBackGnd(clWhite);
  v.map.SetSuppressPaint(true);
  v.map.SetCalibModel(cmParabolicIp);
  // A straight parallel at y = 50, a bent one through (0, 150), (150, 170),
  // (300, 150), and a straight meridian at x = 60.
  for (int x : {0, 150, 300}) v.map.AddCalibPoint(gtlParallel, 47.5, x, 50);
  v.map.AddCalibPoint(gtlParallel, 42.5, 0, 150);
  v.map.AddCalibPoint(gtlParallel, 42.5, 150, 170);
  v.map.AddCalibPoint(gtlParallel, 42.5, 300, 150);
  for (int y : {0, 100, 200}) v.map.AddCalibPoint(gtlMeridian, 12.0, 60, y);
  v.map.SetShowGraticule(sgLines);
  v.map.SetSuppressPaint(false);
  // The curves run across the whole view, beyond the image (320 x 220).
  for (int x : {0, 100, 299, 319}) EXPECT_EQ(v.At(x, 50), kGrat) << x;
  for (int y : {0, 130, 219}) EXPECT_EQ(v.At(60, y), kGrat) << y;
  // y = 150 + 20 * (1 - ((x - 150) / 150)^2): 170 at the middle, 165 at 75.
  EXPECT_EQ(v.At(150, 170), kGrat);
  EXPECT_EQ(v.At(75, 165), kGrat);
  EXPECT_EQ(v.At(150, 150), clWhite);
  EXPECT_EQ(v.Count(kMark), 0);
  v.map.SetShowGraticule(sgPoints);  // markers at the line points only
  EXPECT_EQ(v.Count(kGrat), 0);
  EXPECT_EQ(v.At(150, 170), kMark);
  EXPECT_EQ(v.At(60, 100), kMark);
}

// A UTM calibration: zone 32 north, eastings 500 000 to 510 000 m across
// x 0..300 and northings 5 000 000 to 5 010 000 m up y 200..0.
class RenderUTMGrid : public RenderGrid {
 protected:
  RenderUTMGrid() {
    TBitmap blank(300, 200);
    v.map.SetMapBitmap(blank);
    v.map.SetSuppressPaint(true);
    v.map.SetCalibModel(cmUTM);
    v.map.SetUTMZone(32);
    v.map.SetUTMHemisphere(hemiNorth);
    v.map.AddCalibPoint(5000000.0, 500000.0, 32, hemiNorth, 0, 200);
    v.map.AddCalibPoint(5010000.0, 500000.0, 32, hemiNorth, 0, 0);
    v.map.AddCalibPoint(5000000.0, 510000.0, 32, hemiNorth, 300, 200);
    v.map.SetSuppressPaint(false);
  }
};

TEST_F(RenderUTMGrid, AutomaticSpacingIsTheOneTwoFiveValueOfATenthOfTheExtent) {
  v.map.SetShowGraticule(sgUTMGrid);
  // 10 km of northing: 1 km between lines, 20 pixels apart vertically and
  // 30 horizontally, clipped to the image.
  std::vector<int> rows = RowsIn(77, kGrat), cols = ColumnsIn(77, kGrat);
  std::vector<int> wantRows, wantCols;
  for (int y = 20; y <= 180; y += 20) wantRows.push_back(y);
  for (int x = 30; x <= 270; x += 30) wantCols.push_back(x);
  // Lines on the image's own edges may or may not survive the clipping.
  std::erase_if(rows, [](int y) { return y == 0 || y == 200; });
  std::erase_if(cols, [](int x) { return x == 0 || x == 300; });
  EXPECT_EQ(rows, wantRows);
  EXPECT_EQ(cols, wantCols);
  EXPECT_EQ(v.Count(kMark), 0);
}

TEST_F(RenderUTMGrid, GridDistanceSetsTheSpacingAndPointsComeWithIt) {
  v.map.SetUTMGridDist(2500);
  v.map.SetShowGraticule(sgPointsAndUTMGrid);
  std::vector<int> rows = RowsIn(77, kGrat);
  std::erase_if(rows, [](int y) { return y == 0 || y == 200; });
  EXPECT_EQ(rows, (std::vector<int>{50, 100, 150}));
  EXPECT_EQ(v.At(10, 200), kMark);  // the marker of the point at (0, 200)
}

TEST_F(RenderUTMGrid, GridIsClippedToTheImageExtent) {
  v.map.SetShowGraticule(sgUTMGrid);
  for (int y = 0; y < v.map.Height(); ++y) EXPECT_NE(v.At(305, y), kGrat) << y;
  for (int x = 0; x < v.map.Width(); ++x) EXPECT_NE(v.At(x, 210), kGrat) << x;
}

// Panned, the image covers x -100..200 and y -50..150 of the view: the
// grid ends where the image does, not where an unpanned image would.
TEST_F(RenderUTMGrid, GridFollowsTheImageWhenPanned) {
  v.map.SetShowGraticule(sgUTMGrid);
  v.map.SetTopLeft(TPoint{100, 50});
  EXPECT_FALSE(RowsIn(77, kGrat).empty());
  for (int y = 0; y < v.map.Height(); ++y) EXPECT_NE(v.At(250, y), kGrat) << y;
  for (int x = 0; x < v.map.Width(); ++x) EXPECT_NE(v.At(x, 170), kGrat) << x;
}

TEST_F(RenderGrid, DegenerateCalibrationsDrawNoLinesAndDoNotHang) {
  GenerateBlankMap(v.map);
  v.map.SetSuppressPaint(true);
  // Every corner at the same place: an empty extent.
  TCalibData cal = v.map.CalibData();
  for (TCoords& c : cal.Corners) c = TCoords{45, 15};
  v.map.SetCalibData(cal);
  v.map.SetShowGraticule(sgLines);
  v.map.SetSuppressPaint(false);
  EXPECT_EQ(v.Count(kGrat), 0);
  // A spacing of a nanodegree over ten degrees would be ten billion lines.
  cal.Corners = {TCoords{50, 10}, TCoords{40, 10}, TCoords{40, 20}, TCoords{50, 20}};
  v.map.SetCalibData(cal);
  v.map.SetGratLineDist(1e-9);
  EXPECT_EQ(v.Count(kGrat), 0);
}

}  // namespace
}  // namespace marovia::test
