// The costs that maps from other software add:
//
//   BM_ComposeBorder   a 1920 x 1080 view over a 2000 x 1500 map image at
//                      magnification 1, without a border clip (Arg 0) and
//                      clipped to a 400-vertex border (Arg 400), panning by
//                      one pixel per composition
//   BM_ReadMapFile     a .map file of 30 points on a UTM zone with a
//                      200-vertex border, read and fitted
//   BM_ReadPointsFile  a control-point list of 12 points in the British
//                      National Grid (a datum shift to WGS 84), read and
//                      fitted with the projected model, as when a folder of
//                      such maps is opened
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "marovia/geomap/control_points.h"
#include "marovia/geomap/geomap.h"
#include "marovia/geomap/map_file_format.h"

namespace {

using namespace marovia;

constexpr int kViewW = 1920, kViewH = 1080, kImgW = 2000, kImgH = 1500;

// A wavy outline inside the image: a scanned sheet's neatline.
std::vector<TBorderVertex> Border(int N) {
  std::vector<TBorderVertex> b;
  for (int i = 0; i < N; ++i) {
    const double t = 2 * M_PI * i / N;
    const double r = 0.4 + 0.03 * std::sin(9 * t);
    b.push_back({kImgW * (0.5 + r * std::cos(t)), kImgH * (0.5 + r * std::sin(t))});
  }
  return b;
}

void BM_ComposeBorder(benchmark::State& state) {
  TGeoMap map(nullptr);
  map.SetWidth(kViewW);
  map.SetHeight(kViewH);
  TBitmap image(kImgW, kImgH);
  image.SetPixelFormat(pf24bit);
  map.SetMapBitmap(image);
  if (state.range(0) > 0) {
    TMapCalibration cal = map.Calibration();
    cal.SetBorder(Border(static_cast<int>(state.range(0))));
    map.SetCalibration(cal);
    map.SetClipToBorder(true);
  }
  bool flip = false;
  for (auto _ : state) {
    map.SetTopLeft(flip ? TPoint{10, 10} : TPoint{11, 10});
    flip = !flip;
    benchmark::DoNotOptimize(map.ComposedView().Bits());
  }
  state.SetItemsProcessed(state.iterations() * kViewW * kViewH);
}
BENCHMARK(BM_ComposeBorder)->Arg(0)->Arg(400)->Unit(benchmark::kMillisecond);

std::string MapText() {
  std::string t =
      std::string(kMapFileSignature) +
      "\r\nBench\r\nbench.png\r\n1 ,Map Code,\r\n"
      "WGS 84,WGS 84,   0.0000,   0.0000,WGS 84\r\nReserved 1\r\nReserved 2\r\n"
      "Magnetic Variation,,,E\r\nMap Projection,(UTM) Universal Transverse Mercator,PolyCal,No,"
      "AutoCalOnly,No,BSBUseWPX,No\r\n";
  char b[200];
  for (int i = 0; i < 30; ++i) {
    const int x = (i % 6) * 400, y = (i / 6) * 375;
    std::snprintf(b, sizeof b, "Point%02d,xy,%d,%d,in, deg,,,N,,,E, grid,32,%.3f,%.3f,N\r\n", i + 1,
                  x, y, 400000.0 + 2.5 * x, 5300000.0 - 2.5 * y);
    t += b;
  }
  t += "Projection Setup,,,,,,,,,,\r\nMM0,Yes\r\nMMPNUM,200\r\n";
  const auto border = Border(200);
  for (size_t i = 0; i < border.size(); ++i) {
    std::snprintf(b, sizeof b, "MMPXY,%zu,%.0f,%.0f\r\n", i + 1, border[i].X, border[i].Y);
    t += b;
  }
  return t + "IWH,Map Image Width/Height,2000,1500\r\n";
}

void BM_ReadMapFile(benchmark::State& state) {
  const std::string text = MapText();
  for (auto _ : state) {
    const TImportedMap m = ParseMapFile(text, "bench.map", 0, 0);
    benchmark::DoNotOptimize(m.Calibration.Converts());
  }
}
BENCHMARK(BM_ReadMapFile)->Unit(benchmark::kMicrosecond);

std::string PointsText() {
  std::string t = "#CRS: EPSG:27700\nmapX,mapY,sourceX,sourceY,enable,dX,dY,residual\n";
  char b[120];
  for (int i = 0; i < 12; ++i) {
    const int x = (i % 4) * 600, y = (i / 4) * 700;
    std::snprintf(b, sizeof b, "%.1f,%.1f,%d,%d,1,0,0,0\n", 300000.0 + 5.0 * x, 400000.0 - 5.0 * y,
                  x, -y);
    t += b;
  }
  return t;
}

void BM_ReadPointsFile(benchmark::State& state) {
  const std::string text = PointsText();
  for (auto _ : state) {
    const TImportedMap m = ParseControlPoints(text, "bench.points", 2000, 1500);
    benchmark::DoNotOptimize(m.Calibration.Converts());
  }
}
BENCHMARK(BM_ReadPointsFile)->Unit(benchmark::kMillisecond);

}  // namespace
