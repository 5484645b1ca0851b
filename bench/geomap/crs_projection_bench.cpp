// Conversions through a CRS: the wrapper's batch and single points against
// PROJ's own proj_trans_generic on the same points, for Mercator and LCC.
#include <benchmark/benchmark.h>
#include <proj.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "calibration/crs_projection.h"

namespace {

using marovia::TCrsProjection;

const char* const kCrs[] = {
    "EPSG:3395",
    "+proj=lcc +lat_1=33 +lat_2=45 +lat_0=39 +lon_0=-96 +datum=WGS84 +type=crs",
};
constexpr size_t kPoints = 4096;

struct Positions {
  std::vector<double> lat, lon;
};

// Positions over the map area of each case (Japan, the USA).
Positions Area(int which) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> lat(which == 0 ? 24 : 25, which == 0 ? 46 : 49);
  std::uniform_real_distribution<double> lon(which == 0 ? 123 : -124, which == 0 ? 146 : -67);
  Positions p;
  for (size_t i = 0; i < kPoints; ++i) {
    p.lat.push_back(lat(rng));
    p.lon.push_back(lon(rng));
  }
  return p;
}

void BM_CrsForwardBatch(benchmark::State& state) {
  const int which = static_cast<int>(state.range(0));
  const TCrsProjection proj(kCrs[which]);
  const Positions p = Area(which);
  std::vector<double> e(kPoints), n(kPoints);
  std::vector<uint8_t> ok(kPoints);
  for (auto _ : state) {
    proj.ForwardBatch(p.lat, p.lon, e, n, ok);
    benchmark::DoNotOptimize(e.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kPoints));
}
BENCHMARK(BM_CrsForwardBatch)->Arg(0)->Arg(1);

void BM_CrsInverseBatch(benchmark::State& state) {
  const int which = static_cast<int>(state.range(0));
  const TCrsProjection proj(kCrs[which]);
  const Positions p = Area(which);
  std::vector<double> e(kPoints), n(kPoints), lat(kPoints), lon(kPoints);
  std::vector<uint8_t> ok(kPoints);
  proj.ForwardBatch(p.lat, p.lon, e, n, ok);
  for (auto _ : state) {
    proj.InverseBatch(e, n, lat, lon, ok);
    benchmark::DoNotOptimize(lat.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kPoints));
}
BENCHMARK(BM_CrsInverseBatch)->Arg(0)->Arg(1);

void BM_CrsForwardSingle(benchmark::State& state) {
  const int which = static_cast<int>(state.range(0));
  const TCrsProjection proj(kCrs[which]);
  const Positions p = Area(which);
  size_t i = 0;
  for (auto _ : state) {
    double e, n;
    benchmark::DoNotOptimize(proj.Forward(p.lat[i], p.lon[i], e, n));
    benchmark::DoNotOptimize(e);
    i = (i + 1) % kPoints;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CrsForwardSingle)->Arg(0)->Arg(1);

// PROJ alone: the same transformation, built as the wrapper builds it, on
// the same points copied into place (the copy is part of any caller's cost
// that keeps its input).
void BM_ProjTransGeneric(benchmark::State& state) {
  const int which = static_cast<int>(state.range(0));
  PJ_CONTEXT* ctx = proj_context_create();
  PJ* op = proj_create_crs_to_crs(ctx, "EPSG:4326", kCrs[which], nullptr);
  PJ* pj = proj_normalize_for_visualization(ctx, op);
  const Positions p = Area(which);
  std::vector<double> x(kPoints), y(kPoints);
  for (auto _ : state) {
    std::copy(p.lon.begin(), p.lon.end(), x.begin());
    std::copy(p.lat.begin(), p.lat.end(), y.begin());
    proj_trans_generic(pj, PJ_FWD, x.data(), sizeof(double), kPoints, y.data(), sizeof(double),
                       kPoints, nullptr, 0, 0, nullptr, 0, 0);
    benchmark::DoNotOptimize(x.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kPoints));
  proj_destroy(pj);
  proj_destroy(op);
  proj_context_destroy(ctx);
}
BENCHMARK(BM_ProjTransGeneric)->Arg(0)->Arg(1);

// Resolving a CRS: the same one again (the next map of an atlas in one
// system), and twenty in turn, more than a thread keeps (each one resolved
// from PROJ's database as the first time).
void BM_CrsResolveAgain(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(TCrsProjection("EPSG:32632").MetresPerUnit());
}
BENCHMARK(BM_CrsResolveAgain)->Unit(benchmark::kMillisecond);

void BM_CrsResolveTwentyInTurn(benchmark::State& state) {
  int zone = 0;
  for (auto _ : state) {
    zone = zone % 20 + 1;
    benchmark::DoNotOptimize(
        TCrsProjection("EPSG:" + std::to_string(32600 + zone)).MetresPerUnit());
  }
}
BENCHMARK(BM_CrsResolveTwentyInTurn)->Unit(benchmark::kMillisecond);

}  // namespace
