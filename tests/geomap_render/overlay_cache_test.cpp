// The pixels an overlay layer keeps between draws: a redraw after a pan or
// zoom, or after the data or the calibration changed, gives exactly the
// pixels of a fresh layer; and the thinning levels keep the drawn line
// within half a view pixel of the per-point conversion.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "marovia/geomap/map_calibration.h"
#include "marovia/geomap/overlay_layer.h"
#include "render/overlay_geometry.h"
#include "render/overlay_line_cache.h"
#include "render/overlay_paint.h"
#include "support/grid_calibration.h"

namespace marovia {
namespace {

using render::TViewPath;
using render::TViewPoint;

using test::Calibration;
using test::kImageH;
using test::kImageW;

// A wandering track of small steps with a few long jumps (which the
// projection bends), in two segments; a route across; a closed shape.
TTrackData Walk(std::size_t N, unsigned Seed) {
  TTrackData d;
  std::mt19937 rng(Seed);
  std::normal_distribution<double> step(0, 0.0015);
  std::uniform_real_distribution<double> lat(46.2, 47.8), lon(8.2, 10.8);
  double la = 47, lo = 9.5;
  for (std::size_t i = 0; i < N; ++i) {
    if (i % 997 == 0) {
      la = lat(rng);
      lo = lon(rng);
    }
    la = std::clamp(la + step(rng), 46.0, 48.0);
    lo = std::clamp(lo + step(rng), 8.0, 11.0);
    d.Points.Append(la, lo);
  }
  TTrack t;
  t.Segments = {TPointRange{0, N / 3}, TPointRange{N / 3, N}};
  d.Tracks.push_back(t);
  const std::size_t r = d.Points.Size();
  d.Points.Append(46.1, 8.1);
  d.Points.Append(47.9, 10.9);
  d.Points.Append(46.5, 10.9);
  d.Routes.push_back(TRoute{});
  d.Routes.back().Points = TPointRange{r, r + 3};
  const std::size_t s = d.Points.Size();
  for (double a = 0; a < 6.28; a += 0.05)
    d.Points.Append(47 + 0.6 * std::sin(a), 9.5 + std::cos(a));
  d.Shapes.push_back(TShape{});
  d.Shapes.back().Parts.push_back(TShapePart{TPointRange{s, d.Points.Size()}, false});
  return d;
}

struct ViewCase {
  double Left, Top, Magnify;
};

std::unique_ptr<TBitmap> DrawOf(TOverlayLayer& Layer, const TMapCalibration& Cal,
                                const ViewCase& V) {
  auto image = std::make_unique<TBitmap>(320, 240);
  TBitmap& bmp = *image;
  bmp.Canvas().Brush().SetColor(clWhite);
  bmp.Canvas().FillRect(Rect(0, 0, bmp.Width(), bmp.Height()));
  TLayerView view;
  view.Calib = &Cal;
  view.Left = V.Left;
  view.Top = V.Top;
  view.Magnify = V.Magnify;
  view.Width = bmp.Width();
  view.Height = bmp.Height();
  Layer.Draw(bmp.Canvas(), view, nullptr);
  return image;
}

// The number of pixels that differ.
int Differing(const std::unique_ptr<TBitmap>& A, const std::unique_ptr<TBitmap>& B) {
  int n = 0;
  for (int y = 0; y < A->Height(); ++y)
    for (int x = 0; x < A->Width(); ++x) n += A->ScanLine(y)[x] != B->ScanLine(y)[x];
  return n;
}

// Whole map small, thinned hard; pans and zooms down to the points
// themselves, at the edges and beyond them.
const ViewCase kViews[] = {
    {0, 0, 0.05},      {1500, 1000, 0.1}, {2800, 1800, 0.5}, {2900, 1900, 2},     {5900, 3950, 1},
    {-200, -100, 0.3}, {2000, 1500, 8},   {0, 0, 0.05},      {-90000, 0, 0.0002},
};

TEST(OverlayCache, RedrawsAfterPansAndZoomsMatchAFreshLayer) {
  const TMapCalibration cals[] = {Calibration(cmEquiRect, ""),
                                  Calibration(cmProjected, "EPSG:3035")};
  for (const TMapCalibration& cal : cals) {
    SCOPED_TRACE(cal.Data().CrsText);
    TOverlayLayer layer(Walk(6000, 3));
    layer.Style.Dash = {3, 2};  // dashes show a wrong length along the line
    for (const ViewCase& v : kViews) {
      SCOPED_TRACE(v.Magnify);
      const auto cached = DrawOf(layer, cal, v);
      TOverlayLayer fresh = layer;  // a copy starts without pixels
      EXPECT_EQ(0, Differing(cached, DrawOf(fresh, cal, v)));
    }
    EXPECT_EQ(1u, layer.Conversions());
  }
}

// Each change is made after a cached draw; the next draw must convert
// again (or not) and match a fresh layer.
struct ChangeCase {
  const char* What;
  std::function<void(TOverlayLayer&, TMapCalibration&)> Change;
  bool Converts;
};

TEST(OverlayCache, ChangesOfTheDataOrTheCalibrationConvertAgain) {
  const ChangeCase changes[] = {
      {"a point moved in place",
       [](TOverlayLayer& L, TMapCalibration&) { L.Data.Points.Lat[100] += 0.02; }, true},
      {"a longitude's sign",
       [](TOverlayLayer& L, TMapCalibration&) { L.Data.Points.Lon[7] = -L.Data.Points.Lon[7]; },
       true},
      {"points appended",
       [](TOverlayLayer& L, TMapCalibration&) {
         L.Data.Points.Append(46.3, 8.3);
         L.Data.Points.Append(47.7, 10.7);
         L.Data.Tracks[0].Segments.push_back(
             TPointRange{L.Data.Points.Size() - 2, L.Data.Points.Size()});
       },
       true},
      {"a segment split (the lines only)",
       [](TOverlayLayer& L, TMapCalibration&) {
         auto& s = L.Data.Tracks[0].Segments;
         const TPointRange last = s.back();
         s.back().End = last.Begin + 50;
         s.push_back(TPointRange{last.Begin + 50, last.End});
       },
       false},
      {"the calibration refitted with a point more",
       [](TOverlayLayer&, TMapCalibration& C) {
         C.AddPoint(47.2, 9.1, 2400, 1700);
         C.Fit();
       },
       true},
      {"the datum of the map's projection",
       [](TOverlayLayer&, TMapCalibration& C) {
         C.Data().CrsText =
             "+proj=laea +lat_0=52 +lon_0=10 +x_0=4321000 +y_0=3210000 +ellps=intl "
             "+towgs84=-87,-98,-121";
         C.Fit();
       },
       true},
      {"a refit that the settings no longer show",
       [](TOverlayLayer&, TMapCalibration& C) {
         const TCalibData was = C.Data();
         C.Data().CrsText = "EPSG:3034";
         C.Fit();
         C.Data() = was;  // the corners too
       },
       true},
      {"the same fit again", [](TOverlayLayer&, TMapCalibration& C) { C.Fit(); }, false},
  };
  const ViewCase v{1500, 1000, 0.1};
  for (const ChangeCase& c : changes) {
    SCOPED_TRACE(c.What);
    TMapCalibration cal = Calibration(cmProjected, "EPSG:3035");
    TOverlayLayer layer(Walk(3000, 5));
    DrawOf(layer, cal, v);
    c.Change(layer, cal);
    const auto after = DrawOf(layer, cal, v);
    EXPECT_EQ(c.Converts ? 2u : 1u, layer.Conversions());
    TOverlayLayer fresh = layer;
    EXPECT_EQ(0, Differing(after, DrawOf(fresh, cal, v)));
  }
}

// Every position of a dense track, and the middle of each of its
// segments, converted one by one: the drawn pieces pass within half a
// view pixel at every magnification (thinned from a level or not).
TEST(OverlayCache, ThinnedLinesStayWithinHalfAPixelOfThePositions) {
  const TMapCalibration cal = Calibration(cmProjected, "EPSG:3035");
  const TTrackData d = Walk(2000, 9);
  const TPointRange all{0, d.Tracks[0].Segments.back().End};
  render::TLineCache cache;
  cache.Update(cal, d.Points.Lat, d.Points.Lon, {all});
  for (const double magnify : {0.02, 0.07, 0.3, 1.0, 4.0}) {
    SCOPED_TRACE(magnify);
    render::TOverlayView view{0, 0, magnify, 640, 480};
    // The view about the track's middle.
    double cx = 0, cy = 0;
    ASSERT_TRUE(cal.GeoToPixelExact(d.Points.Lat[1000], d.Points.Lon[1000], cx, cy));
    view.Left = cx - 320 / magnify;
    view.Top = cy - 240 / magnify;
    view.Straight = render::StraightLength(cal, view);
    std::vector<TViewPath> pieces;
    cache.Project(cal, view, all, 4, false, pieces);
    auto distance = [&](TViewPoint P) {
      double best = std::numeric_limits<double>::infinity();
      for (const TViewPath& p : pieces)
        for (std::size_t i = 1; i < p.Points.size(); ++i)
          best = std::min(best, render::SegmentDistance(P, p.Points[i - 1], p.Points[i]));
      return best;
    };
    double worst = 0;
    std::size_t measured = 0;
    for (std::size_t i = 0; i < all.End; ++i) {
      for (const double t : {0.0, 0.5}) {
        if (t > 0 && i + 1 >= all.End) continue;
        const double lat =
            d.Points.Lat[i] + t * (i + 1 < all.End ? d.Points.Lat[i + 1] - d.Points.Lat[i] : 0);
        const double lon =
            d.Points.Lon[i] + t * (i + 1 < all.End ? d.Points.Lon[i + 1] - d.Points.Lon[i] : 0);
        double x = 0, y = 0;
        ASSERT_TRUE(cal.GeoToPixelExact(lat, lon, x, y));
        const TViewPoint p = view.ToView(x, y);
        if (p.X < 0 || p.Y < 0 || p.X > view.Width || p.Y > view.Height) continue;
        worst = std::max(worst, distance(p));
        ++measured;
      }
    }
    EXPECT_GT(measured, 100u);
    EXPECT_LT(worst, render::kDensifyTolerance + render::kSimplifyTolerance);
    // Unthinned (magnified), the pieces are those of the line converted
    // afresh, dash starts included, though the cache passes over the
    // stretches far from the view.
    if (magnify < 1) continue;
    std::vector<TViewPath> afresh;
    render::ProjectLine(cal, view, std::span(d.Points.Lat).first(all.End),
                        std::span(d.Points.Lon).first(all.End), 4, afresh);
    ASSERT_EQ(afresh.size(), pieces.size());
    for (std::size_t k = 0; k < pieces.size(); ++k) {
      EXPECT_NEAR(afresh[k].Start, pieces[k].Start, 1e-6);
      ASSERT_EQ(afresh[k].Points.size(), pieces[k].Points.size());
      for (std::size_t i = 0; i < pieces[k].Points.size(); ++i) {
        EXPECT_NEAR(afresh[k].Points[i].X, pieces[k].Points[i].X, 1e-9);
        EXPECT_NEAR(afresh[k].Points[i].Y, pieces[k].Points[i].Y, 1e-9);
      }
    }
  }
}

// Strokes of many short segments are drawn into the surface directly
// where they lie inside the clip: the pixels must be the canvas's own
// lines' (the oracle), for every width and direction, at the clip's edges
// and with a clip rectangle set.
TEST(OverlayStroke, DirectSegmentsGiveTheCanvasLinesPixels) {
  std::mt19937 rng(17);
  std::uniform_int_distribution<int> coord(-20, 220), step(-9, 9);
  for (const bool clipped : {false, true}) {
    for (int width = 1; width <= 6; ++width) {
      SCOPED_TRACE(width);
      TViewPath path;
      TViewPoint at{100, 100};
      for (int i = 0; i < 400; ++i) {
        path.Points.push_back(at);
        at = i % 50 == 0 ? TViewPoint{static_cast<double>(coord(rng)), 1.0 * coord(rng)}
                         : TViewPoint{at.X + step(rng) + 0.3, at.Y + step(rng) - 0.2};
      }
      TBitmap direct(200, 200), canvas(200, 200);
      for (TBitmap* b : {&direct, &canvas}) {
        b->Canvas().Brush().SetColor(clWhite);
        b->Canvas().FillRect(Rect(0, 0, 200, 200));
        if (clipped) b->Canvas().SetClipRect(Rect(30, 40, 170, 150));
      }
      render::TStroke stroke;
      stroke.Color = clNavy;
      stroke.Width = width;
      render::StrokePaths(direct.Canvas(), 200, 200, {path}, stroke);
      TCanvas& c = canvas.Canvas();
      c.Pen().SetColor(clNavy);
      c.Pen().SetWidth(width);
      std::vector<TPoint> pts;
      for (const TViewPoint& v : path.Points) {
        const TPoint p = render::CanvasPoint(v);
        if (pts.empty() || p != pts.back()) pts.push_back(p);
      }
      c.MoveTo(pts[0].X, pts[0].Y);
      for (std::size_t i = 1; i < pts.size(); ++i) c.LineTo(pts[i].X, pts[i].Y);
      int differing = 0;
      for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x) differing += direct.ScanLine(y)[x] != canvas.ScanLine(y)[x];
      EXPECT_EQ(0, differing);
    }
  }
}

}  // namespace
}  // namespace marovia
