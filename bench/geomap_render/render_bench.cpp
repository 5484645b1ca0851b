// Composition of the map view, as every pan and zoom repaints it: a
// 1920 x 1080 view over a 2000 x 1500 map image.
//
//   BM_Direct      the visible window stretched from the image (magnification
//                  1 and 2.5, smoothing on as by default)
//   BM_Cached      a zoomed-out view (0.5) copied from the scaled-image cache
//   BM_Landmarks   the view at magnification 1 without landmarks and with
//                  20 000 default landmark symbols in view
//   BM_Captions    the same view with 2 000 captioned landmarks, drawn where
//                  their offsets put them and placed without overlap
//   BM_Symbols     the 20 000 symbols alone, on a surface of the view's size
//   BM_CairoSymbols  the same 20 000 symbols drawn with cairo on an image
//                  surface of the view's size, for comparison
//
// Each composition pans by one pixel, so nothing is reused that a real pan
// would not reuse.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "marovia/geomap/geomap.h"
#include "marovia/geomap/symbol_drawing.h"

#if defined(MAROVIA_BENCH_CAIRO)
#include <cairo.h>
#endif

namespace {

using namespace marovia;

constexpr int kViewW = 1920, kViewH = 1080, kImgW = 2000, kImgH = 1500;

std::unique_ptr<TBitmap> MapImage() {
  auto bmp = std::make_unique<TBitmap>(kImgW, kImgH);
  bmp->SetPixelFormat(pf24bit);
  uint32_t s = 1;
  for (int y = 0; y < kImgH; ++y) {
    uint32_t* row = bmp->ScanLine(y);
    for (int x = 0; x < kImgW; ++x) {
      // Smooth shades with some noise, like a scanned map.
      s = s * 1664525u + 1013904223u;
      row[x] = static_cast<uint32_t>(((x / 8) & 0xFF) << 16 | ((y / 6) & 0xFF) << 8 |
                                     ((s >> 24) & 0x3F));
    }
  }
  return bmp;
}

std::unique_ptr<TGeoMap> NewView() {
  auto map = std::make_unique<TGeoMap>(nullptr);
  map->SetWidth(kViewW);
  map->SetHeight(kViewH);
  map->SetMapBitmap(*MapImage());
  return map;
}

// One composition per iteration, panning between two positions.
void Compose(benchmark::State& state, TGeoMap& map, TPoint a, TPoint b) {
  bool flip = false;
  for (auto _ : state) {
    map.SetTopLeft(flip ? a : b);
    flip = !flip;
    benchmark::DoNotOptimize(map.ComposedView().Bits());
  }
  state.SetItemsProcessed(state.iterations() * kViewW * kViewH);
}

// Arg: magnification in hundredths.
void BM_Direct(benchmark::State& state) {
  auto map = NewView();
  map->SetMagnification(state.range(0) / 100.0);
  Compose(state, *map, {10, 10}, {11, 10});
}
BENCHMARK(BM_Direct)->Arg(100)->Arg(250)->Unit(benchmark::kMillisecond);

void BM_Cached(benchmark::State& state) {
  auto map = NewView();
  map->SetMagnification(0.5);
  Compose(state, *map, {0, 0}, {2, 0});
}
BENCHMARK(BM_Cached)->Unit(benchmark::kMillisecond);

// The map calibrated as plate carree, 0..20 E and 0..15 N over the image,
// so that image pixel (x, y) is at (15 - y / 100) N, (x / 100) E.
void Calibrate(TGeoMap& Map) {
  Map.SetCalibModel(cmEquiRect);
  Map.AddCalibPoint(15.0, 0.0, 0, 0);
  Map.AddCalibPoint(0.0, 0.0, 0, kImgH);
  Map.AddCalibPoint(0.0, 20.0, kImgW, kImgH);
}

// Control positions of N landmarks spread over the view, with a margin so
// every symbol is whole; the same for every run.
std::vector<TPoint> Positions(int N) {
  std::vector<TPoint> p;
  uint32_t s = 7;
  for (int i = 0; i < N; ++i) {
    s = s * 1664525u + 1013904223u;
    const int x = 10 + static_cast<int>((s >> 8) % (kViewW - 20));
    s = s * 1664525u + 1013904223u;
    const int y = 10 + static_cast<int>((s >> 8) % (kViewH - 20));
    p.push_back({x, y});
  }
  return p;
}

// A view at magnification 1 from (0, 0) with N landmarks of the default
// symbol (a diagonal cross of size 7 with its halo), Captions of them with
// an 8-point caption.
std::unique_ptr<TGeoMap> ViewWithLandmarks(int N, int Captions) {
  auto map = NewView();
  map->SetSuppressPaint(true);
  Calibrate(*map);
  int i = 0;
  for (TPoint p : Positions(N)) {
    const double lat = 15 - p.Y / 100.0, lon = p.X / 100.0;
    if (i++ < Captions)
      map->AddLandMark(lat, lon, 0, "Place " + std::to_string(i), 8, clBlack);
    else
      map->AddLandMark(lat, lon, 0);
  }
  map->SetSuppressPaint(false);
  return map;
}

// Arg: number of landmarks in view (0 for the same view without them).
void BM_Landmarks(benchmark::State& state) {
  auto map = ViewWithLandmarks(static_cast<int>(state.range(0)), 0);
  Compose(state, *map, {0, 0}, {0, 0});
}
BENCHMARK(BM_Landmarks)->Arg(0)->Arg(20000)->Unit(benchmark::kMillisecond);

// Args: number of captioned landmarks in view; 1 to place the captions
// without overlap, 0 to draw each where its offsets put it.
void BM_Captions(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  auto map = ViewWithLandmarks(n, n);
  map->SetPlaceLabels(state.range(1) != 0);
  Compose(state, *map, {0, 0}, {0, 0});
}
BENCHMARK(BM_Captions)->Args({2000, 0})->Args({2000, 1})->Unit(benchmark::kMillisecond);

// The 20 000 symbols alone, drawn on a 15-bit surface of the view's size as
// the renderer draws them.
void BM_Symbols(benchmark::State& state) {
  TBitmap surface(kViewW, kViewH);
  surface.SetPixelFormat(pf15bit);
  const std::vector<TPoint> pts = Positions(20000);
  for (auto _ : state) {
    for (TPoint p : pts)
      DrawLandMarkSymbolOnCanvas(surface.Canvas(), p.X, p.Y, lmCross, clBlue, clWhite, 7, 0, 10,
                                 false);
    benchmark::DoNotOptimize(surface.Bits());
  }
  state.SetItemsProcessed(state.iterations() * 20000);
}
BENCHMARK(BM_Symbols)->Unit(benchmark::kMillisecond);

#if defined(MAROVIA_BENCH_CAIRO)
// The same symbols with cairo on an image surface of the view's size: the
// halo as three-pixel white diagonals, then the one-pixel blue cross, each
// symbol stroked as it comes. Arg: 0 without antialiasing (the same pixel
// model as ours), 1 with cairo's default antialiasing.
void BM_CairoSymbols(benchmark::State& state) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kViewW, kViewH);
  cairo_t* cr = cairo_create(surface);
  cairo_set_antialias(cr, state.range(0) ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_SQUARE);
  const std::vector<TPoint> pts = Positions(20000);
  const double s = 7;
  for (auto _ : state) {
    for (TPoint p : pts) {
      const double x = p.X + 0.5, y = p.Y + 0.5;
      for (double width : {3.0, 1.0}) {
        cairo_move_to(cr, x - s, y - s);
        cairo_line_to(cr, x + s, y + s);
        cairo_move_to(cr, x - s, y + s);
        cairo_line_to(cr, x + s, y - s);
        cairo_set_line_width(cr, width);
        if (width > 1)
          cairo_set_source_rgb(cr, 1, 1, 1);
        else
          cairo_set_source_rgb(cr, 0, 0, 1);
        cairo_stroke(cr);
      }
    }
    cairo_surface_flush(surface);
    benchmark::DoNotOptimize(cairo_image_surface_get_data(surface));
  }
  state.SetItemsProcessed(state.iterations() * 20000);
  state.SetLabel(state.range(0) ? "antialiased" : "aliased");
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
}
BENCHMARK(BM_CairoSymbols)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
#endif

}  // namespace
