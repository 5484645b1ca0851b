// The towns of BM_AddTowns stored in SQLite: names and positions in a table,
// the positions also in an R*Tree, all in one transaction with prepared
// statements, with SQLite's default syncing (FULL) and without (OFF). This is what a host would
// otherwise use for a gazetteer, so the database's bulk adding is measured against it in the same
// run.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <stdexcept>
#include <string>

#include "bench_support.h"

namespace {

using marovia::bench::TempDir;

void Check(int rc, sqlite3* db, int want = SQLITE_OK) {
  if (rc != want) throw std::runtime_error(std::string("sqlite: ") + sqlite3_errmsg(db));
}

void Exec(sqlite3* db, const char* sql) {
  Check(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), db);
}

// Sync: SQLite's "synchronous" setting, FULL (its default) or OFF.
void BM_SqliteRtreeTowns(benchmark::State& state, const char* sync) {
  const int n = static_cast<int>(state.range(0));
  const auto towns = marovia::bench::RandomTowns(n, 1);
  TempDir dir;
  int round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const std::string file = (dir.path / ("towns" + std::to_string(round++) + ".db")).string();
    sqlite3* db = nullptr;
    Check(sqlite3_open(file.c_str(), &db), db);
    Exec(db, (std::string("PRAGMA synchronous=") + sync).c_str());
    Exec(db,
         "CREATE TABLE town(id INTEGER PRIMARY KEY, name TEXT, lat REAL, lon REAL);"
         "CREATE VIRTUAL TABLE town_box USING rtree(id, lat_lo, lat_hi, lon_lo, lon_hi);");
    state.ResumeTiming();

    Exec(db, "BEGIN");
    sqlite3_stmt* addTown = nullptr;
    sqlite3_stmt* addBox = nullptr;
    Check(sqlite3_prepare_v2(db, "INSERT INTO town(name, lat, lon) VALUES(?, ?, ?)", -1, &addTown,
                             nullptr),
          db);
    Check(
        sqlite3_prepare_v2(db, "INSERT INTO town_box VALUES(?, ?, ?, ?, ?)", -1, &addBox, nullptr),
        db);
    for (const auto& t : towns) {
      sqlite3_bind_text(addTown, 1, t.Name.c_str(), static_cast<int>(t.Name.size()), SQLITE_STATIC);
      sqlite3_bind_double(addTown, 2, t.Lat);
      sqlite3_bind_double(addTown, 3, t.Lon);
      Check(sqlite3_step(addTown), db, SQLITE_DONE);
      sqlite3_reset(addTown);
      sqlite3_bind_int64(addBox, 1, sqlite3_last_insert_rowid(db));
      sqlite3_bind_double(addBox, 2, t.Lat);
      sqlite3_bind_double(addBox, 3, t.Lat);
      sqlite3_bind_double(addBox, 4, t.Lon);
      sqlite3_bind_double(addBox, 5, t.Lon);
      Check(sqlite3_step(addBox), db, SQLITE_DONE);
      sqlite3_reset(addBox);
    }
    sqlite3_finalize(addTown);
    sqlite3_finalize(addBox);
    Exec(db, "COMMIT");
    sqlite3_close(db);
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK_CAPTURE(BM_SqliteRtreeTowns, full, "FULL")
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_SqliteRtreeTowns, off, "OFF")
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
