// Speed of landmark files: writing and reading a set of 100 000 landmarks
// with captions, identifiers and exact times (goal: each under a second on
// one core).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>
#include <string>

#include "marovia/geomap/geomap.h"

namespace {

namespace fs = std::filesystem;
using namespace marovia;

// A fresh directory below the system temp dir, removed with the object.
struct TempDir {
  fs::path path;
  TempDir() {
    std::random_device rd;
    path = fs::temp_directory_path() / ("marovia_landmark_bench_" + std::to_string(rd()));
    fs::create_directories(path);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

// Painting is not part of the file work measured here.
class QuietMap : public TGeoMap {
 public:
  QuietMap() : TGeoMap(nullptr) {}
  void Paint() override {}
};

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
  TempDir dir;
  QuietMap map;
  Fill(map, static_cast<int>(state.range(0)));
  const std::string file = (dir.path / "landmarks.xml").string();
  for (auto _ : state) map.SaveLandmarks(file, "bench");
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(file)));
}
BENCHMARK(BM_SaveLandmarks)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_LoadLandMarks(benchmark::State& state) {
  TempDir dir;
  const std::string file = (dir.path / "landmarks.xml").string();
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
