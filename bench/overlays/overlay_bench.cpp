// Overlay layers drawn into a 1920 x 1080 view: a track of 1 000 000 points
// (goal: under 16 ms) under an affine and a projected calibration, and an
// item database with 100 000 towns in the view's box (goal: under 10 ms),
// captions placed.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "marovia/geodb/geodb.h"
#include "marovia/geomap/geodb_layer.h"
#include "marovia/geomap/map_calibration.h"
#include "marovia/geomap/overlay_layer.h"

namespace marovia {
namespace {

constexpr int kW = 1920, kH = 1080;
// The map: 46..48 N, 8..11 E on 30 000 x 20 000 pixels.
constexpr double kNorth = 48, kSouth = 46, kWest = 8, kEast = 11;
constexpr int kImageW = 30000, kImageH = 20000;

TMapCalibration Calibration(bool Projected) {
  TCalibData cd;
  if (Projected) cd.CrsText = "EPSG:3035";
  TMapCalibration cal(Projected ? cmProjected : cmEquiRect, cd, kImageW, kImageH);
  for (int i = 0; i <= 2; ++i)
    for (int j = 0; j <= 2; ++j)
      cal.AddPoint(kNorth - i * (kNorth - kSouth) / 2, kWest + j * (kEast - kWest) / 2,
                   j * kImageW / 2, i * kImageH / 2);
  cal.Fit();
  return cal;
}

// The whole map in the view.
TLayerView ViewOf(const TMapCalibration& Cal) {
  TLayerView v;
  v.Calib = &Cal;
  v.Magnify = std::min(static_cast<double>(kW) / kImageW, static_cast<double>(kH) / kImageH);
  v.Width = kW;
  v.Height = kH;
  return v;
}

// A recorded track of a million fixes, one a second at walking to cycling
// speed with a heading that wanders (about 4 000 km, across the whole map
// many times), or a random walk whose every step is about a view pixel
// (the worst case for thinning: nothing can be left out). Steady: the
// layer redrawn as it is (its pixels kept from the draw before); first: a
// point moved before every draw, so that every position goes through the
// calibration again; zooming: every draw at another magnification (the
// whole map, then its middle at 2, 4 and 8 times that).
void BM_MillionPointTrack(benchmark::State& State) {
  const bool projected = State.range(0) == 1, walk = State.range(1) == 1;
  const bool first = State.range(2) == 1, zooming = State.range(2) == 2;
  const TMapCalibration cal = Calibration(projected);
  TOverlayLayer layer;
  std::mt19937 rng(7);
  std::normal_distribution<double> turn(0, 0.05), jitter(0, 0.002);
  double lat = 47, lon = 9.5, heading = 0.5, speed = 4;  // radians, metres a second
  constexpr std::size_t kPoints = 1'000'000;
  layer.Data.Points.Reserve(kPoints);
  for (std::size_t i = 0; i < kPoints; ++i) {
    if (walk) {
      lat += jitter(rng);
      lon += jitter(rng);
    } else {
      heading += turn(rng);
      speed = std::clamp(speed + turn(rng), 1.0, 8.0);
      lat += speed * std::cos(heading) / 111320;
      lon += speed * std::sin(heading) / (111320 * std::cos(lat * 3.14159265 / 180));
    }
    // Kept on the map: a track that leaves it turns back.
    if (lat < kSouth || lat > kNorth || lon < kWest || lon > kEast) heading += 3.14159265;
    lat = std::clamp(lat, kSouth, kNorth);
    lon = std::clamp(lon, kWest, kEast);
    layer.Data.Points.Append(lat, lon);
  }
  TTrack t;
  t.Segments.push_back(TPointRange{0, kPoints});
  layer.Data.Tracks.push_back(t);
  TBitmap bmp(kW, kH);
  const TLayerView view = ViewOf(cal);
  layer.Draw(bmp.Canvas(), view, nullptr);
  double nudge = 1e-9;
  int zoom = 0;
  for (auto _ : State) {
    if (first) {
      layer.Data.Points.Lat[kPoints / 2] += nudge;
      nudge = -nudge;
    }
    TLayerView v = view;
    if (zooming) {
      v.Magnify = view.Magnify * (1 << (zoom++ % 4));
      v.Left = kImageW / 2.0 - kW / 2.0 / v.Magnify;
      v.Top = kImageH / 2.0 - kH / 2.0 / v.Magnify;
    }
    layer.Draw(bmp.Canvas(), v, nullptr);
  }
  State.SetItemsProcessed(static_cast<int64_t>(State.iterations() * kPoints));
  State.SetLabel(std::string(projected ? "projected (EPSG:3035)" : "equirectangular") +
                 (walk ? ", random walk of pixel steps" : ", recorded track") +
                 (first     ? ", first draw"
                  : zooming ? ", zooming"
                            : ", steady"));
}
BENCHMARK(BM_MillionPointTrack)
    ->Args({0, 0, 0})
    ->Args({1, 0, 0})
    ->Args({0, 1, 0})
    ->Args({1, 1, 0})
    ->Args({0, 0, 1})
    ->Args({1, 0, 1})
    ->Args({0, 0, 2})
    ->Args({1, 0, 2})
    ->Unit(benchmark::kMillisecond);

// 100 000 towns of five classes over the map, captions placed. Steady: the
// layer redrawn as it is; first: a town moved in the database before every
// draw (outside the timing), so that every town goes through the
// calibration again; panning: every draw a tenth of the view to the side
// or back, so that the view's items are looked up again; a new
// calibration: every draw under the other of two calibrations, a control
// point apart, so that every town is converted again.
void BM_GeoDBLayer100k(benchmark::State& State) {
  const bool projected = State.range(0) == 1;
  const bool first = State.range(1) == 1, panning = State.range(1) == 2;
  const bool recalibrated = State.range(1) == 3;
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("marovia_overlay_bench_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  {
    auto db = std::make_shared<TGeoDB>(nullptr);
    db->SetDBName((dir / "towns").string());
    db->SetLazyWrite(true);
    db->BeginTransaction();
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> la(kSouth, kNorth), lo(kWest, kEast);
    for (int i = 0; i < 100000; ++i)
      db->AddTown("T" + std::to_string(i), 45000, 0, TSCoords{la(rng), lo(rng)}, 0,
                  static_cast<uint8_t>(i % 5), 0);
    db->Commit();
    const TMapCalibration cal = Calibration(projected);
    TMapCalibration moved = cal;  // a control point a pixel away
    std::vector<TControlPoint> points = moved.ControlPoints();
    points[4].X += 1;
    moved.SetControlPoints(points);
    moved.Fit();
    TGeoDBLayer layer(db);
    TBitmap bmp(kW, kH);
    const TLayerView view = ViewOf(cal);
    layer.Draw(bmp.Canvas(), view, nullptr);
    int step = 0;
    for (auto _ : State) {
      TLayerView v = view;
      if (first) {
        State.PauseTiming();
        TgdbData d = db->Data(50000);
        d.LatLow = d.LatHigh = (step++ % 2) ? 47.0f : 47.001f;
        db->UpdateBasicData(50000, d);
        State.ResumeTiming();
      }
      if (panning) v.Left = (step++ % 2) * kW / 10.0 / v.Magnify;
      if (recalibrated) v.Calib = step++ % 2 ? &moved : &cal;
      layer.Draw(bmp.Canvas(), v, nullptr);
    }
    State.counters["items"] = static_cast<double>(layer.DrawnItems());
    State.SetLabel(std::string(projected ? "projected (EPSG:3035)" : "equirectangular") +
                   (first          ? ", first draw after a change"
                    : panning      ? ", panning"
                    : recalibrated ? ", first draw after a new calibration"
                                   : ", steady"));
    db->SetLazyWrite(false);
    db->SetDBName("");
  }
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_GeoDBLayer100k)
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Args({0, 2})
    ->Args({1, 2})
    ->Args({0, 3})
    ->Args({1, 3})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace marovia
