// Speed of the geographic item database: bulk adding with and without lazy
// index writing and in one transaction, deleting, opening a large database,
// and the area query. sqlite_rtree_bench.cpp stores the same towns in SQLite
// for comparison.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <string>

#include "bench_support.h"
#include "marovia/geodb/geodb.h"

namespace {

using namespace marovia;
using bench::TempDir;

void AddTowns(TGeoDB& db, const std::vector<bench::TBenchTown>& towns) {
  for (const auto& t : towns) db.AddTown(t.Name, 45000.0, 0, TSCoords{t.Lat, t.Lon}, 0, 0, 0);
}

// Adding n towns to a new database per round, including the final write of
// the index files (and the commit, when all go in one transaction); the
// database's settings are made outside the timing.
struct TAddSettings {
  const char* Stem;  // of the database files' names
  bool Lazy;
  std::optional<TgdbDurability> Durability;  // the default when none
  bool OneTransaction;
};

void AddTownsToNewDatabases(benchmark::State& state, const TAddSettings& Settings) {
  const int n = static_cast<int>(state.range(0));
  const auto towns = bench::RandomTowns(n, 1);
  TempDir dir;
  int round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    TGeoDB db(nullptr);
    if (Settings.Durability) db.SetDurability(*Settings.Durability);
    db.SetDBName((dir.path / (Settings.Stem + std::to_string(round++))).string());
    db.SetLazyWrite(Settings.Lazy);
    state.ResumeTiming();
    if (Settings.OneTransaction) db.BeginTransaction();
    AddTowns(db, towns);
    if (Settings.OneTransaction) db.Commit();
    db.SetDBName("");
  }
  state.SetItemsProcessed(state.iterations() * n);
}

void BM_AddTowns(benchmark::State& state, bool lazy) {
  AddTownsToNewDatabases(state, {"bench", lazy, std::nullopt, false});
}
BENCHMARK_CAPTURE(BM_AddTowns, lazy, true)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// All towns in one transaction, including its commit (the index files are
// written once there). The durability's syncs are part of the time.
void BM_AddTownsInTransaction(benchmark::State& state, TgdbDurability durability) {
  AddTownsToNewDatabases(state, {"txn", false, durability, true});
}
BENCHMARK_CAPTURE(BM_AddTownsInTransaction, none, gdNone)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_AddTownsInTransaction, normal, gdNormal)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_AddTownsInTransaction, full, gdFull)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// One addition per call with the syncs of a durable setting: each is a
// transaction of its own, committed to the disk.
void BM_AddTownsDurable(benchmark::State& state, TgdbDurability durability) {
  AddTownsToNewDatabases(state, {"durable", true, durability, false});
}
BENCHMARK_CAPTURE(BM_AddTownsDurable, normal, gdNormal)
    ->Arg(200)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// Without lazy writing every addition rewrites all five index files, so the
// cost grows with the square of the count: measured at smaller counts.
BENCHMARK_CAPTURE(BM_AddTowns, eager, false)
    ->Arg(1000)
    ->Arg(5000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// A database of n items built once: towns, and every tenth item a small box.
struct TBuiltDatabase {
  TempDir dir;
  std::string base;
  explicit TBuiltDatabase(int n) {
    base = (dir.path / "big").string();
    TGeoDB db(nullptr);
    db.SetDBName(base);
    db.SetLazyWrite(true);
    AddTowns(db, bench::RandomTowns(n - n / 10, 2));
    std::mt19937 rng(2);
    std::uniform_real_distribution<float> lat(-89, 88), lon(-179, 178), ext(0, 1);
    for (int i = 0; i < n / 10; ++i) {
      const float la = lat(rng), lo = lon(rng);
      db.AddRoad("Road", {{la, lo}, {la + ext(rng), lo + ext(rng)}}, 45000.0, 0, 0, 0, 0, 0, 0, 0,
                 0);
    }
    db.SetDBName("");
  }
  // Copies the seven files to another base name.
  void CopyTo(const std::string& to) const {
    for (const char* ext :
         {".zylgds", ".zylgdd", ".zylgi0", ".zylgi1", ".zylgi2", ".zylgi3", ".zylgi4"})
      std::filesystem::copy_file(base + ext, to + ext,
                                 std::filesystem::copy_options::overwrite_existing);
  }
};

TBuiltDatabase& Big() {
  static TBuiltDatabase big(100000);
  return big;
}

TBuiltDatabase& Huge() {
  static TBuiltDatabase huge(1000000);
  return huge;
}

void BM_Open(benchmark::State& state, TBuiltDatabase& (*Db)()) {
  const std::string base = Db().base;
  for (auto _ : state) {
    TGeoDB db(nullptr);
    db.SetDBName(base);
    benchmark::DoNotOptimize(db.NumEntries());
  }
}
BENCHMARK_CAPTURE(BM_Open, 100k, Big)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Open, 1M, Huge)->Unit(benchmark::kMillisecond);

// Deleting 10 000 random entries of 100 000 with lazy writing, including the
// final write of the index files.
void BM_Delete10kOf100k(benchmark::State& state) {
  TempDir dir;
  const std::string base = (dir.path / "copy").string();
  for (auto _ : state) {
    state.PauseTiming();
    Big().CopyTo(base);
    TGeoDB db(nullptr);
    db.SetDBName(base);
    db.SetLazyWrite(true);
    std::mt19937 rng(4);
    state.ResumeTiming();
    for (int i = 0; i < 10000; ++i)
      db.DeleteData(1 + static_cast<int>(rng() % static_cast<unsigned>(db.NumEntries())));
    db.SetDBName("");
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_Delete10kOf100k)->Unit(benchmark::kMillisecond);

// One change of a database of 100 000 items with lazy writing off: an
// addition and a deletion, each rewriting the five index files whole.
void BM_EagerAddAndDeleteAt100k(benchmark::State& state) {
  TempDir dir;
  const std::string base = (dir.path / "copy").string();
  Big().CopyTo(base);
  TGeoDB db(nullptr);
  db.SetDBName(base);
  for (auto _ : state) {
    const int e = db.AddTown("Extra", 45000.0, 0, TSCoords{10.5f, 20.5f}, 0, 0, 0);
    db.DeleteData(e);
  }
}
BENCHMARK(BM_EagerAddAndDeleteAt100k)->Unit(benchmark::kMillisecond);

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
