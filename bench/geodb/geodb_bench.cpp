// Speed of the geographic item database: bulk adding with and without lazy
// index writing, opening a large database, and the area query.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "marovia/geodb/geodb.h"

namespace {

namespace fs = std::filesystem;
using namespace marovia;

// A fresh directory below the system temp dir, removed with the object.
struct TempDir {
  fs::path path;
  TempDir() {
    std::random_device rd;
    path = fs::temp_directory_path() / (std::string("marovia_geodb_bench_") + std::to_string(rd()));
    fs::create_directories(path);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

void AddRandomTowns(TGeoDB& db, int n, std::mt19937& rng) {
  std::uniform_real_distribution<float> lat(-90, 90), lon(-180, 180);
  for (int i = 0; i < n; ++i)
    db.AddTown(std::string("Town ") + std::to_string(i), 45000.0, 0, TSCoords{lat(rng), lon(rng)},
               0, 0, 0);
}

// Adding n towns, including the final write of the index files.
void BM_AddTowns(benchmark::State& state, bool lazy) {
  const int n = static_cast<int>(state.range(0));
  TempDir dir;
  int round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    TGeoDB db(nullptr);
    db.SetDBName((dir.path / (std::string("bench") + std::to_string(round++))).string());
    db.SetLazyWrite(lazy);
    std::mt19937 rng(1);
    state.ResumeTiming();
    AddRandomTowns(db, n, rng);
    db.SetDBName("");
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK_CAPTURE(BM_AddTowns, lazy, true)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
// Without lazy writing every addition rewrites all five index files, so the
// cost grows with the square of the count: measured at smaller counts.
BENCHMARK_CAPTURE(BM_AddTowns, eager, false)
    ->Arg(1000)
    ->Arg(5000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// One database of 100 000 items (towns and small boxes), built once.
struct BigDatabase {
  TempDir dir;
  std::string base;
  BigDatabase() {
    base = (dir.path / "big").string();
    TGeoDB db(nullptr);
    db.SetDBName(base);
    db.SetLazyWrite(true);
    std::mt19937 rng(2);
    AddRandomTowns(db, 90000, rng);
    std::uniform_real_distribution<float> lat(-89, 88), lon(-179, 178), ext(0, 1);
    for (int i = 0; i < 10000; ++i) {
      const float la = lat(rng), lo = lon(rng);
      db.AddRoad("Road", {{la, lo}, {la + ext(rng), lo + ext(rng)}}, 45000.0, 0, 0, 0, 0, 0, 0, 0,
                 0);
    }
    db.SetDBName("");
  }
};

BigDatabase& Big() {
  static BigDatabase big;
  return big;
}

void BM_Open100k(benchmark::State& state) {
  const std::string base = Big().base;
  for (auto _ : state) {
    TGeoDB db(nullptr);
    db.SetDBName(base);
    benchmark::DoNotOptimize(db.NumEntries());
  }
}
BENCHMARK(BM_Open100k)->Unit(benchmark::kMillisecond);

// Rectangles of side state.range(0) / 10 degrees at random places.
void BM_AreaQuery100k(benchmark::State& state) {
  TGeoDB db(nullptr);
  db.SetDBName(Big().base);
  const double side = static_cast<double>(state.range(0)) / 10.0;
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> lat(-90, 90 - side), lon(-180, 180 - side);
  size_t found = 0;
  for (auto _ : state) {
    const double s = lat(rng), w = lon(rng);
    const auto hits = db.FindItemsInArea(s, s + side, w, w + side);
    found += hits.size();
    benchmark::DoNotOptimize(hits.data());
  }
  state.counters["items/query"] =
      benchmark::Counter(static_cast<double>(found) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_AreaQuery100k)->Arg(10)->Arg(100)->Unit(benchmark::kMicrosecond);

// The same queries answered by testing every item, for comparison.
void BM_AreaScan100k(benchmark::State& state) {
  TGeoDB db(nullptr);
  db.SetDBName(Big().base);
  const double side = static_cast<double>(state.range(0)) / 10.0;
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> lat(-90, 90 - side), lon(-180, 180 - side);
  for (auto _ : state) {
    const double s = lat(rng), w = lon(rng);
    int n = 0;
    for (int e = 1; e <= db.NumEntries(); ++e) {
      const TgdbData r = db.Data(e);
      n += r.LatLow <= s + side && r.LatHigh >= s && r.LongLow <= w + side && r.LongHigh >= w;
    }
    benchmark::DoNotOptimize(n);
  }
}
BENCHMARK(BM_AreaScan100k)->Arg(10)->Unit(benchmark::kMicrosecond);

}  // namespace
