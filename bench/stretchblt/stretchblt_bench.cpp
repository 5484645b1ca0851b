// Scaled copies as the map view uses them: a 1920 x 1080 view composed from
// a 3-megapixel image (2048 x 1536) at several magnifications, in both
// stretch modes (halftone also with its portable loops, to compare); and the
// zoomed-out image cache (the whole image scaled).
#include <benchmark/benchmark.h>

#include <cmath>

#include "marovia/platform/graphics.h"
#include "marovia/platform/stretchblt.h"

namespace {

using namespace marovia;

constexpr int kSrcW = 2048, kSrcH = 1536, kViewW = 1920, kViewH = 1080;

TBitmap& Source() {
  static TBitmap* src = [] {
    auto* b = new TBitmap(kSrcW, kSrcH);
    uint32_t s = 1;
    for (int y = 0; y < kSrcH; ++y) {
      uint32_t* row = b->ScanLine(y);
      for (int x = 0; x < kSrcW; ++x) {
        s = s * 1664525u + 1013904223u;
        row[x] = (s >> 8) & 0xFFFFFF;
      }
    }
    return b;
  }();
  return *src;
}

// Args: stretch mode, magnification in hundredths, and for halftone 1 for
// the vectorised loops or 0 for the portable ones.
void BM_View(benchmark::State& state) {
  const int mode = static_cast<int>(state.range(0));
  const double mag = state.range(1) / 100.0;
  SetStretchBltVectorised(state.range(2) != 0);
  TBitmap& src = Source();
  TBitmap view(kViewW, kViewH);
  SetStretchBltMode(view.Canvas(), mode);
  const int sw = static_cast<int>(std::lround(kViewW / mag)),
            sh = static_cast<int>(std::lround(kViewH / mag));
  for (auto _ : state) {
    StretchBlt(view.Canvas(), 0, 0, kViewW, kViewH, src.Canvas(), 0, 0, sw, sh, SRCCOPY);
    benchmark::DoNotOptimize(view.Bits());
  }
  state.SetItemsProcessed(state.iterations() * kViewW * kViewH);
  state.SetLabel(mode == COLORONCOLOR  ? "color-on-color"
                 : state.range(2) != 0 ? "halftone"
                                       : "halftone, portable loops");
  SetStretchBltVectorised(true);
}

void ViewArgs(benchmark::internal::Benchmark* b) {
  for (int mag : {25, 50, 94, 100, 200, 400}) b->Args({COLORONCOLOR, mag, 1});
  for (int vector : {1, 0})
    for (int mag : {25, 50, 94, 100, 200, 400}) b->Args({HALFTONE, mag, vector});
}
BENCHMARK(BM_View)->Apply(ViewArgs)->Unit(benchmark::kMillisecond);

// The whole image scaled into a cache bitmap; Args: mode, magnification %.
void BM_Cache(benchmark::State& state) {
  const int mode = static_cast<int>(state.range(0));
  const double mag = state.range(1) / 100.0;
  TBitmap& src = Source();
  const int w = static_cast<int>(std::lround(kSrcW * mag)),
            h = static_cast<int>(std::lround(kSrcH * mag));
  TBitmap cache(w, h);
  cache.SetPixelFormat(pf15bit);
  SetStretchBltMode(cache.Canvas(), mode);
  for (auto _ : state) {
    StretchBlt(cache.Canvas(), 0, 0, w, h, src.Canvas(), 0, 0, kSrcW, kSrcH, SRCCOPY);
    benchmark::DoNotOptimize(cache.Bits());
  }
  state.SetLabel(mode == HALFTONE ? "halftone" : "color-on-color");
}
BENCHMARK(BM_Cache)
    ->Args({COLORONCOLOR, 25})
    ->Args({HALFTONE, 25})
    ->Args({HALFTONE, 50})
    ->Unit(benchmark::kMillisecond);

}  // namespace
