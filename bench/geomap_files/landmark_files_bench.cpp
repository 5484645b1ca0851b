// Speed of landmark files: writing and reading a set of 100 000 landmarks
// with captions, identifiers and exact times (goal: each under a second on
// one core).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>
#include <string>

#include "bench_support.h"
#include "marovia/geomap/geomap.h"

namespace {

namespace fs = std::filesystem;
using namespace marovia;

void Fill(TGeoMap& map, int n) {
  std::mt19937 rng(1);
  std::uniform_real_distribution<double> lat(-80, 80), lon(-180, 180);
  for (int i = 0; i < n; ++i) {
    const std::string id = "lm" + std::to_string(i);
    map.AddLandMark(lat(rng), lon(rng), i % 4000, id, 45000 + i / 1000.0 + 0.0001234,
                    "Stra\xC3\x9F"
                    "e \"" +
                        std::to_string(i) + "\" & Co",
                    9, clBlack);
  }
}

void BM_SaveLandmarks(benchmark::State& state) {
  test::TempDir dir;
  QuietMap map;
  Fill(map, static_cast<int>(state.range(0)));
  const std::string file = dir.File("landmarks.xml");
  for (auto _ : state) map.SaveLandmarks(file, "bench");
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(file)));
}
BENCHMARK(BM_SaveLandmarks)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_LoadLandMarks(benchmark::State& state) {
  test::TempDir dir;
  const std::string file = dir.File("landmarks.xml");
  {
    QuietMap map;
    Fill(map, static_cast<int>(state.range(0)));
    map.SaveLandmarks(file, "bench");
  }
  QuietMap map;
  for (auto _ : state) {
    if (!map.LoadLandMarks(file, "bench")) state.SkipWithError("set not found");
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(file)));
}
BENCHMARK(BM_LoadLandMarks)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
