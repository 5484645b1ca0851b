// One pan step as the user drives it: a mouse move with the left button held
// reaches the map control through its form, the view pans and is composed
// again and copied to the control. A 1920 x 1080 view over a 2000 x 1500
// map image, on the direct path (magnification 1) and from the scaled-image
// cache (magnification 0.5).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

#include "marovia/geomap/geomap.h"
#include "marovia/platform/forms.h"

namespace {

using namespace marovia;

constexpr int kViewW = 1920, kViewH = 1080, kImgW = 2000, kImgH = 1500;

void PanStep(benchmark::State& state, double Magnification) {
  TForm form(nullptr);
  form.SetBounds(0, 0, kViewW, kViewH);
  auto* map = new TGeoMap(&form);
  map->SetParent(&form);
  map->SetBounds(0, 0, kViewW, kViewH);
  TBitmap image(kImgW, kImgH);
  image.SetPixelFormat(pf24bit);
  for (int y = 0; y < kImgH; ++y) {
    uint32_t* row = image.ScanLine(y);
    for (int x = 0; x < kImgW; ++x)
      row[x] = static_cast<uint32_t>(((x / 8) & 0xFF) << 16 | ((y / 6) & 0xFF) << 8 | (x ^ y));
  }
  map->SetMapBitmap(image);
  map->SetMagnification(Magnification);
  map->SetConfinePanToMapImage(false);

  // Press and the first move anchor the drag; every further move pans.
  form.DispatchInput(TInputEvent{ikMouseDown, mbLeft, {}, TPoint{900, 500}, 0});
  form.DispatchInput(TInputEvent{ikMouseMove, mbLeft, {}, TPoint{900, 500}, 0});
  int dx = 0;
  for (auto _ : state) {
    dx = (dx + 7) % 200;
    form.DispatchInput(TInputEvent{ikMouseMove, mbLeft, {}, TPoint{900 - dx, 500 - dx / 2}, 0});
  }
  if (map->TopLeft() == TPoint{0, 0}) state.SkipWithError("the view did not pan");
  form.DispatchInput(TInputEvent{ikMouseUp, mbLeft, {}, TPoint{900, 500}, 0});
}

void BM_PanStepDirect(benchmark::State& state) {
  PanStep(state, 1.0);
}
void BM_PanStepCached(benchmark::State& state) {
  PanStep(state, 0.5);
}

BENCHMARK(BM_PanStepDirect)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PanStepCached)->Unit(benchmark::kMillisecond);

}  // namespace
