// Speed of the calibration: the conic refit (apex search) with the full
// 200 points, and the conversions pixel -> latitude and position -> pixel
// under every model, over positions spread across the map.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "marovia/geomap/geomap.h"

namespace marovia {
namespace {

constexpr int kWidth = 1500, kHeight = 1200;

// Latitude and longitude of a pixel on a cone with its apex above the map.
double ConeLat(double x, double y) {
  return -0.002 * std::hypot(x - 750, y + 6000) + 62;
}
double ConeLon(double x, double y) {
  return 45 * std::atan((x - 750) / (y + 6000)) + 10;
}

std::unique_ptr<TGeoMap> NewMap() {
  auto map = std::make_unique<TGeoMap>(nullptr);
  TBitmap image(kWidth, kHeight);
  map->SetMapBitmap(image);
  map->SetSuppressPaint(true);
  return map;
}

// n calibration points spread over the map, positions from the cone.
std::unique_ptr<TGeoMap> CalibratedMap(TCalibModel model, int n) {
  auto map = NewMap();
  map->SetCalibModel(model);
  if (model == cmParabolicIp) {
    for (int l = 0; l < 5; ++l)
      for (int p = 0; p < 6; ++p) {
        map->AddCalibPoint(gtlParallel, 52.0 - l, 300 * p, 100 + 250 * l + p * p);
        map->AddCalibPoint(gtlMeridian, 6.0 + 2 * l, 100 + 320 * l + p, 240 * p);
      }
    return map;
  }
  if (model == cmUTM) {
    map->SetUTMZone(32);
    for (int i = 0; i < n; ++i) {
      const int x = (i * 97) % kWidth, y = (i * 61) % kHeight;
      map->AddCalibPoint(5700000.0 - 100.0 * y, 400000.0 + 100.0 * x, 32, hemiNorth, x, y);
    }
    return map;
  }
  for (int i = 0; i < n; ++i) {
    const int x = (i * 97) % kWidth, y = (i * 61) % kHeight;
    map->AddCalibPoint(ConeLat(x, y), ConeLon(x, y), x, y);
  }
  return map;
}

struct Position {
  double lat, lon;
};

std::vector<Position> Positions(const TGeoMap& map) {
  std::vector<Position> out;
  for (int i = 0; i < 4096; ++i) {
    bool v1 = false, v2 = false;
    const int x = (i * 37) % kWidth, y = (i * 53) % kHeight;
    out.push_back({map.CalcLatitude(x, y, v1), map.CalcLongitude(x, y, v2)});
  }
  return out;
}

void BM_ConicRefit(benchmark::State& state) {
  const auto map = CalibratedMap(cmConicConformal, static_cast<int>(state.range(0)));
  for (auto _ : state) map->CalcConicCalibration();
}
BENCHMARK(BM_ConicRefit)->Arg(200)->Arg(16)->Unit(benchmark::kMillisecond);

void BM_CalcPixelCoords(benchmark::State& state) {
  const auto model = static_cast<TCalibModel>(state.range(0));
  const auto map = CalibratedMap(model, 16);
  const auto positions = Positions(*map);
  size_t i = 0;
  for (auto _ : state) {
    const Position& p = positions[i++ & 4095];
    int32_t x = 0, y = 0;
    benchmark::DoNotOptimize(map->CalcPixelCoords(p.lat, p.lon, x, y));
    benchmark::DoNotOptimize(x);
    benchmark::DoNotOptimize(y);
  }
  state.SetItemsProcessed(state.iterations());
  state.SetLabel(std::string(CalibModelNames[model]));
}

void BM_CalcLatitude(benchmark::State& state) {
  const auto model = static_cast<TCalibModel>(state.range(0));
  const auto map = CalibratedMap(model, 16);
  int32_t i = 0;
  for (auto _ : state) {
    bool valid = false;
    benchmark::DoNotOptimize(map->CalcLatitude((i * 37) % kWidth, (i * 53) % kHeight, valid));
    benchmark::DoNotOptimize(valid);
    i = (i + 1) & 4095;
  }
  state.SetItemsProcessed(state.iterations());
  state.SetLabel(std::string(CalibModelNames[model]));
}

void AllModels(benchmark::internal::Benchmark* b) {
  for (int m = cmParabolicIp; m <= cmUTM; ++m) b->Arg(m);
}
BENCHMARK(BM_CalcPixelCoords)->Apply(AllModels);
BENCHMARK(BM_CalcLatitude)->Apply(AllModels);

}  // namespace
}  // namespace marovia

BENCHMARK_MAIN();
