// Overlay layers: lines through the calibration under every model, against
// the exact pixels of projections computed outside this library (the
// fixtures of tests/data/geomap/projections) and against the per-point
// conversion all along each segment; clipping of far and huge positions;
// dashes, opacity, file styles, polygon holes; the layers on the control.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "marovia/geomap/geomap.h"
#include "marovia/geomap/map_calibration.h"
#include "marovia/geomap/overlay_layer.h"
#include "render/overlay_geometry.h"
#include "render/view_area.h"
#include "support/map_kinds.h"
#include "support/projection_fixture.h"

namespace marovia {
namespace {

using render::TOverlayView;
using render::TViewPath;
using render::TViewPoint;

std::string ModelName(TCalibModel M) {
  return std::string(CalibModelNames[M]);
}

using Row = test::TProjectionPoint;
using Fixture = test::TProjectionFixture;

Fixture ReadFixture(const std::string& Name) {
  return test::ReadProjectionFixture(Name);
}

struct ModelCase {
  const char* File;
  TCalibModel Model;
  const char* Crs;
};

// Every model whose fit follows its projection to a pixel or two (the
// conic and biquadratic fits are tens of pixels off some projections: they
// take part in the densification check only).
const ModelCase kExactModels[] = {
    {"eqc", cmEquiRect, ""},
    {"miller", cmMillerCylindrical, ""},
    {"crs_lcc", cmProjected, "+proj=lcc +lat_1=33 +lat_2=45 +lat_0=39 +lon_0=-96 +datum=WGS84"},
    {"crs_polar_stereo", cmProjected, "EPSG:3031"},
    {"crs_mercator", cmThinPlate, ""},
    {"crs_lcc", cmThinPlate, ""},
};

const ModelCase kBentModels[] = {
    {"lcc_north", cmConicConformal, ""},
    {"miller", cmBiquadraticPn, ""},
};

TMapCalibration Fitted(const ModelCase& C, const Fixture& F) {
  TCalibData cd;
  cd.CrsText = C.Crs;
  TMapCalibration cal(C.Model, cd, F.width, F.height);
  for (const Row& r : F.calib)
    cal.AddPoint(r.lat, r.lon, static_cast<int32_t>(r.x), static_cast<int32_t>(r.y));
  EXPECT_TRUE(cal.Fit()) << C.File << ": " << cal.FitMessage();
  return cal;
}

double Along(double A, double B, double T) {
  return A + T * (B - A);
}

double LongAlong(double A, double B, double T) {
  double d = B - A;
  if (d > 180) d -= 360;
  if (d < -180) d += 360;
  double l = A + T * d;
  if (l > 180) l -= 360;
  if (l < -180) l += 360;
  return l;
}

double DistanceToLine(TViewPoint P, const std::vector<TViewPoint>& Line) {
  double best = std::numeric_limits<double>::infinity();
  for (std::size_t i = 1; i < Line.size(); ++i)
    if (!std::isnan(Line[i - 1].X) && !std::isnan(Line[i].X))
      best = std::min(best, render::SegmentDistance(P, Line[i - 1], Line[i]));
  return best;
}

// The worst distance, over 64 positions of each segment between successive
// check points (long jumps across the map), from the per-point conversion
// to the line drawn for that segment alone: densified, and also clipped and
// simplified. Positions outside the view are not drawn and not measured.
void MeasureSegments(const ModelCase& C, const Fixture& F, const TMapCalibration& Cal,
                     const TOverlayView& V, double& Densified, double& Drawn, std::size_t& Added) {
  constexpr double kMargin = 4;
  for (std::size_t i = 1; i < F.check.size(); ++i) {
    const Row a = F.check[i - 1], b = F.check[i];
    const double lat[2] = {a.lat, b.lat}, lon[2] = {a.lon, b.lon};
    const std::vector<TViewPoint> dense = render::DensifyLine(Cal, V, lat, lon, kMargin);
    Added += dense.size() - 2;
    std::vector<TViewPath> pieces;
    render::ProjectLine(Cal, V, lat, lon, kMargin, pieces);
    for (int k = 1; k < 64; ++k) {
      const double t = k / 64.0;
      double x = 0, y = 0;
      if (!Cal.GeoToPixelExact(Along(a.lat, b.lat, t), LongAlong(a.lon, b.lon, t), x, y)) continue;
      const TViewPoint p = V.ToView(x, y);
      if (p.X < 0 || p.Y < 0 || p.X > V.Width || p.Y > V.Height) continue;
      Densified = std::max(Densified, DistanceToLine(p, dense));
      double drawn = std::numeric_limits<double>::infinity();
      for (const TViewPath& piece : pieces)
        drawn = std::min(drawn, DistanceToLine(p, piece.Points));
      Drawn = std::max(Drawn, drawn);
    }
  }
  (void)C;
}

TEST(OverlayGeometry, SegmentsStayWithinHalfAPixelOfThePerPointConversion) {
  std::vector<ModelCase> all(std::begin(kExactModels), std::end(kExactModels));
  all.insert(all.end(), std::begin(kBentModels), std::end(kBentModels));
  for (const ModelCase& c : all) {
    SCOPED_TRACE(std::string(c.File) + " " + ModelName(c.Model));
    const Fixture f = ReadFixture(c.File);
    const TMapCalibration cal = Fitted(c, f);
    // The whole map small, and a window of its middle magnified eight times.
    const TOverlayView views[] = {
        {0, 0, 0.5, f.width / 2, f.height / 2},
        {f.width * 0.4, f.height * 0.4, 8, 960, 540},
    };
    for (TOverlayView v : views) {
      // As the layers draw: segments the calibration keeps straight skip
      // the checks.
      v.Straight = render::StraightLength(cal, v);
      double densified = 0, drawn = 0;
      std::size_t added = 0;
      MeasureSegments(c, f, cal, v, densified, drawn, added);
      std::printf(
          "  %s %s x%g: straight below %g px, %zu points added, worst %.3f px densified, "
          "%.3f px drawn\n",
          c.File, ModelName(c.Model).c_str(), v.Magnify, v.Straight, added, densified, drawn);
      EXPECT_LE(densified, render::kDensifyTolerance + 1e-9);
      EXPECT_LT(drawn, 0.5);
    }
  }
}

// A layer of one track through the check points (long jumps that the
// projections bend), drawn one pixel wide at magnification 0.5: each check
// point's exact projected pixel has a track pixel within 1.6 pixels beyond
// the model's own error there (the fit's distance from the projection is
// the calibration's business, not the drawing's). The 1.6: the vertex
// rounded to a whole pixel (up to 0.71) and the last pixel of the track,
// which a line on this canvas leaves out, as lines on a GDI canvas do.
TEST(OverlayLayer, DrawsTracksThroughTheExactProjectedPixels) {
  for (const ModelCase& c : kExactModels) {
    SCOPED_TRACE(std::string(c.File) + " " + ModelName(c.Model));
    const Fixture f = ReadFixture(c.File);
    const TMapCalibration cal = Fitted(c, f);
    TOverlayLayer layer;
    for (const Row& r : f.check) layer.Data.Points.Append(r.lat, r.lon);
    TTrack t;
    t.Segments.push_back(TPointRange{0, f.check.size()});
    layer.Data.Tracks.push_back(t);
    layer.Style.TrackColor = clRed;
    layer.Style.Width = 1;
    TBitmap bmp(f.width / 2, f.height / 2);
    bmp.Canvas().Brush().SetColor(clWhite);
    bmp.Canvas().FillRect(Rect(0, 0, bmp.Width(), bmp.Height()));
    TLayerView view;
    view.Calib = &cal;
    view.Magnify = 0.5;
    view.Width = bmp.Width();
    view.Height = bmp.Height();
    layer.Draw(bmp.Canvas(), view, nullptr);
    double worst = 0;  // beyond the model's own error
    for (const Row& r : f.check) {
      const double ex = r.x * 0.5, ey = r.y * 0.5;
      double mx = 0, my = 0;
      ASSERT_TRUE(cal.GeoToPixelExact(r.lat, r.lon, mx, my));
      const double fitError = std::hypot(mx - r.x, my - r.y) * 0.5;
      double best = 1e9;
      for (int y = static_cast<int>(ey) - 4; y <= static_cast<int>(ey) + 4; ++y)
        for (int x = static_cast<int>(ex) - 4; x <= static_cast<int>(ex) + 4; ++x)
          if (x >= 0 && y >= 0 && x < bmp.Width() && y < bmp.Height() &&
              bmp.ScanLine(y)[x] == 0xFF0000)
            best = std::min(best, std::hypot(x - ex, y - ey));
      worst = std::max(worst, best - fitError);
    }
    std::printf("  %s %s: worst check point %.2f px from the drawn track beyond the fit\n", c.File,
                ModelName(c.Model).c_str(), worst);
    EXPECT_LE(worst, 1.6);
  }
}

// Lines on the plate carree test map (100 pixels a degree, 48 N 8 E at the
// top left) whose positions lie far off the map or do not convert: the
// pieces stay within the view and its margin, lie on the line, and break
// where a position is missing.
TEST(OverlayGeometry, ClipsFarAndHugePositionsToTheView) {
  const TMapCalibration cal = test::KindCalibration(300, 200, "white");
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* Name;
    TOverlayView View;
    std::vector<double> Lat, Lon;
    std::size_t Pieces;
  } cases[] = {
      {"into the view from the other side of the globe",
       {0, 0, 1, 300, 200},
       {47, 47},
       {9.5, -179},
       1},
      {"across the view between far points", {0, 0, 1, 300, 200}, {47, 47}, {-20, 40}, 1},
      {"magnified a thousand times", {150, 100, 1000, 800, 600}, {47.5, 46.5}, {9, 10}, 1},
      {"a missing position breaks the line",
       {0, 0, 1, 300, 200},
       {47.5, 47.5, nan, 47, 47},
       {8.5, 9, 9.2, 9.5, 10},
       2},
      {"a position beyond any map breaks it too",
       {0, 0, 1, 300, 200},
       {47.5, 47.5, 1e300, 47, 47},
       {8.5, 9, 9.2, 9.5, 10},
       2},
      {"the short way round, across 180 and not the view",
       {0, 0, 1, 300, 200},
       {47, 47},
       {-170, 170},
       0},
      {"wholly outside", {0, 0, 1, 300, 200}, {10, 12}, {100, 120}, 0},
      {"a lone point in the view is a dot", {0, 0, 1, 300, 200}, {47}, {9}, 1},
  };
  constexpr double kMargin = 3;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<TViewPath> pieces;
    render::ProjectLine(cal, c.View, c.Lat, c.Lon, kMargin, pieces);
    ASSERT_EQ(c.Pieces, pieces.size());
    for (const TViewPath& p : pieces)
      for (const TViewPoint& v : p.Points) {
        EXPECT_GE(v.X, -kMargin - 1e-6);
        EXPECT_GE(v.Y, -kMargin - 1e-6);
        EXPECT_LE(v.X, c.View.Width + kMargin + 1e-6);
        EXPECT_LE(v.Y, c.View.Height + kMargin + 1e-6);
        // On the line of latitude the case draws (all but the broken ones
        // run along one latitude or between two).
        if (c.Lat.size() == 2 && c.Lat[0] == c.Lat[1]) {
          EXPECT_NEAR(v.Y, c.View.ToView(0, (48 - c.Lat[0]) * 100).Y, 0.5);
        }
      }
  }
}

TEST(OverlayGeometry, DashesKeepTheirPlaceAlongTheLine) {
  const double pattern[] = {10, 5};
  struct Case {
    double Start;  // the piece's distance along the line
    double Length;
    std::vector<std::pair<double, double>> Dashes;  // x ranges drawn
  } cases[] = {
      {0, 40, {{0, 10}, {15, 25}, {30, 40}}},
      {7, 20, {{0, 3}, {8, 18}}},  // starts inside a dash
      {12, 10, {{3, 10}}},         // starts inside a gap
      {30, 4, {{0, 4}}},           // a whole period on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Start);
    const std::vector<TViewPath> in{TViewPath{{{0, 0}, {c.Length, 0}}, c.Start}};
    const auto out = render::DashPaths(in, pattern);
    ASSERT_EQ(c.Dashes.size(), out.size());
    for (std::size_t i = 0; i < out.size(); ++i) {
      EXPECT_NEAR(c.Dashes[i].first, out[i].Points.front().X, 1e-9);
      EXPECT_NEAR(c.Dashes[i].second, out[i].Points.back().X, 1e-9);
    }
  }
}

// Thinning keeps every dropped point within the tolerance of the line kept.
TEST(OverlayGeometry, SimplificationMovesTheLineLessThanItsTolerance) {
  std::vector<TViewPoint> walk;
  unsigned s = 12345;
  double x = 0, y = 0;
  for (int i = 0; i < 4000; ++i) {
    s = s * 1103515245u + 12345u;
    x += ((s >> 8) % 1000) / 4000.0 - 0.1;
    y += ((s >> 18) % 1000) / 4000.0 - 0.125;
    walk.push_back({x, y});
  }
  std::vector<TViewPoint> thin = walk;
  render::SimplifyPath(thin, render::kSimplifyTolerance);
  EXPECT_LT(thin.size(), walk.size() / 2);
  double worst = 0;
  for (const TViewPoint& p : walk) worst = std::max(worst, DistanceToLine(p, thin));
  EXPECT_LT(worst, render::kSimplifyTolerance);
}

// The latitude/longitude box a layer queries covers every position its
// view shows: checked on a grid of the view's pixels converted one by one,
// for a plain map, a map across 180 degrees (the box then wraps) and a polar
// map with the pole in the view (the box reaches it, all longitudes).
TEST(OverlayGeometry, ViewBoxesCoverEveryPositionTheViewShows) {
  auto affine = [](double North, double West, double East, double South) {
    TMapCalibration cal(cmEquiRect, TCalibData{}, 400, 200);
    cal.AddPoint(North, West, 0, 0);
    cal.AddPoint(North, East, 400, 0);
    cal.AddPoint(South, West, 0, 200);
    cal.Fit();
    return cal;
  };
  const Fixture polar = ReadFixture("crs_polar_stereo");
  const TMapCalibration stereo = Fitted({"crs_polar_stereo", cmProjected, "EPSG:3031"}, polar);
  struct Case {
    const char* Name;
    TMapCalibration Cal;
    double Left, Top, Magnify;
    bool Wraps, Pole;
  } cases[] = {
      {"plain", affine(48, 8, 11, 46), 50, 20, 2, false, false},
      {"across 180", affine(-15, 176, 184, -19), 0, 0, 1, true, false},
      {"the pole in the view", stereo, 1000, 100, 0.25, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TLayerView v;
    v.Calib = &c.Cal;
    v.Left = c.Left;
    v.Top = c.Top;
    v.Magnify = c.Magnify;
    v.Width = 400;
    v.Height = 300;
    const render::TGeoBox box = render::ViewArea(v, 0, 0, v.Width, v.Height);
    EXPECT_EQ(c.Wraps, box.LongLow > box.LongHigh);
    EXPECT_EQ(c.Pole, box.LatLow == -90 && box.LongLow == -180 && box.LongHigh == 180);
    for (int y = 0; y <= v.Height; y += 10)
      for (int x = 0; x <= v.Width; x += 10) {
        const TPixelPosition p = c.Cal.PixelToGeo(v.Left + x / v.Magnify, v.Top + y / v.Magnify);
        if (!p.Valid()) continue;
        EXPECT_GE(p.Latit, box.LatLow);
        EXPECT_LE(p.Latit, box.LatHigh);
        const bool inLong = box.LongLow <= box.LongHigh
                                ? p.Longit >= box.LongLow && p.Longit <= box.LongHigh
                                : p.Longit >= box.LongLow || p.Longit <= box.LongHigh;
        EXPECT_TRUE(inLong) << p.Longit << " at " << x << ", " << y;
      }
  }
}

// ---- Drawing on the control ------------------------------------------------

class OverlayOnMapTest : public ::testing::Test {
 protected:
  void SetUp() override { test::ShowWhiteKindMap(map_, 300, 200); }
  uint32_t At(int X, int Y) const { return map_.ComposedView().ScanLine(Y)[X] & 0xF8F8F8; }
  // A layer of one horizontal track along Lat from 8.5 E to 10.5 E.
  static std::shared_ptr<TOverlayLayer> Track(double Lat, TColor Colour) {
    auto layer = std::make_shared<TOverlayLayer>();
    layer->Data.Points.Append(Lat, 8.5);
    layer->Data.Points.Append(Lat, 10.5);
    TTrack t;
    t.Segments.push_back(TPointRange{0, 2});
    layer->Data.Tracks.push_back(t);
    layer->Style.TrackColor = Colour;
    return layer;
  }
  TGeoMap map_{nullptr};
};

TEST_F(OverlayOnMapTest, LayersAreDrawnInTheOrderAddedAndGoWhenRemoved) {
  auto red = Track(47, clRed);
  auto vertical = std::make_shared<TOverlayLayer>();
  vertical->Data.Points.Append(47.5, 9.5);
  vertical->Data.Points.Append(46.5, 9.5);
  vertical->Data.Tracks.push_back(TTrack{});
  vertical->Data.Tracks.back().Segments.push_back(TPointRange{0, 2});
  vertical->Style.TrackColor = clBlue;
  EXPECT_EQ(0, map_.AddOverlayLayer(red));
  EXPECT_EQ(1, map_.AddOverlayLayer(vertical));
  EXPECT_EQ(0, map_.AddOverlayLayer(red));  // already there
  EXPECT_EQ(2, map_.OverlayLayerCount());
  EXPECT_EQ(0x0000F8u, At(150, 100));  // the crossing: the later layer on top
  EXPECT_EQ(0xF80000u, At(100, 100));
  map_.RemoveOverlayLayer(1);
  EXPECT_EQ(0xF80000u, At(150, 100));
  EXPECT_EQ(0xF8F8F8u, At(150, 80));
  red->Visible = false;
  map_.Paint();
  EXPECT_EQ(0xF8F8F8u, At(100, 100));
  map_.ClearOverlayLayers();
  EXPECT_EQ(0, map_.OverlayLayerCount());
}

TEST_F(OverlayOnMapTest, StylesComeFromTheFileUnlessTheLayerSaysOtherwise) {
  struct Case {
    const char* Name;
    std::optional<TColor> FileColour;
    std::optional<double> FileOpacity;
    bool UseFile;
    uint32_t Expected;  // the track's pixel, 0x00RRGGBB, 5 bits a channel
  } cases[] = {
      {"the layer's colour", std::nullopt, std::nullopt, true, 0xF80000},
      {"the file's colour", TColor(0x0000FF00), std::nullopt, true, 0x00F800},
      {"the file's colour at half opacity", TColor(0x0000FF00), 0.5, true, 0x80F880},
      {"the layer's colour over the file's", TColor(0x0000FF00), 0.5, false, 0xF80000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    auto layer = Track(47, clRed);
    layer->Data.Tracks[0].Style.LineColor = c.FileColour;
    layer->Data.Tracks[0].Style.LineOpacity = c.FileOpacity;
    layer->Style.UseFileStyles = c.UseFile;
    map_.ClearOverlayLayers();
    map_.AddOverlayLayer(layer);
    EXPECT_EQ(c.Expected, At(100, 100));
  }
}

TEST_F(OverlayOnMapTest, PolygonsFillAroundTheirHoles) {
  auto layer = std::make_shared<TOverlayLayer>();
  TTrackPoints& p = layer->Data.Points;
  // An outer square 46.2..47.8 N, 8.2..10.8 E and a hole 46.8..47.2, 9.3..9.7.
  for (auto [lat, lon] : {std::pair{47.8, 8.2}, {47.8, 10.8}, {46.2, 10.8}, {46.2, 8.2}})
    p.Append(lat, lon);
  for (auto [lat, lon] : {std::pair{47.2, 9.3}, {47.2, 9.7}, {46.8, 9.7}, {46.8, 9.3}})
    p.Append(lat, lon);
  TShape s;
  s.Kind = TShapeKind::Polygon;
  s.Parts = {TShapePart{{0, 4}, false}, TShapePart{{4, 8}, true}};
  layer->Data.Shapes.push_back(s);
  layer->Style.FillColor = clBlue;
  layer->Style.FillOpacity = 1;
  map_.AddOverlayLayer(layer);
  EXPECT_EQ(0x0000F8u, At(60, 60));    // inside the outer ring
  EXPECT_EQ(0xF8F8F8u, At(150, 100));  // in the hole
  EXPECT_EQ(0xF8F8F8u, At(5, 5));      // outside
}

TEST_F(OverlayOnMapTest, WaypointsShowTheirMarkersAndPlacedNames) {
  auto layer = std::make_shared<TOverlayLayer>();
  for (int i = 0; i < 2; ++i) {
    TWaypoint w;
    w.Lat = 47;
    w.Lon = 9.5;  // both on the same spot: the second name must go elsewhere
    w.Name = i == 0 ? "Summit" : "Hut";
    layer->Data.Waypoints.push_back(w);
  }
  layer->Style.WaypointColor = clBlue;
  map_.AddOverlayLayer(layer);
  EXPECT_EQ(0x0000F8u, At(150, 100));
  // Caption ink (black) right of the marker and somewhere else around it.
  int right = 0, elsewhere = 0;
  for (int y = 80; y < 120; ++y)
    for (int x = 110; x < 220; ++x)
      if (At(x, y) == 0) (x > 156 && y >= 92 && y <= 108 ? right : elsewhere)++;
  EXPECT_GT(right, 5);
  EXPECT_GT(elsewhere, 5);
}

}  // namespace
}  // namespace marovia
