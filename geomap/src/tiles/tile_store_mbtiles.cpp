// Tiles in an MBTiles file through SQLite, committed in batches so that a
// run stopped by a full disk or a signal leaves a valid file holding every
// committed tile.
#include <sqlite3.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <mutex>

#include "marovia/geomap/tile_store.h"
#include "marovia/platform/sysutils.h"

namespace marovia {

namespace {

constexpr int kTilesPerTransaction = 256;

std::string Number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.7f", v);
  return buf;
}

class TMBTilesStore final : public TTileStore {
 public:
  TMBTilesStore(std::string File, TTileSetInfo Info, bool Resume)
      : file_(std::move(File)), info_(std::move(Info)) {
    if (!Resume) {
      std::error_code ec;
      std::filesystem::remove(file_, ec);
      std::filesystem::remove(file_ + "-journal", ec);
    }
    if (sqlite3_open_v2(file_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
      const std::string why = db_ ? sqlite3_errmsg(db_) : "cannot open";
      sqlite3_close(db_);
      db_ = nullptr;
      throw EInOutError(file_, why);
    }
    try {
      sqlite3_busy_timeout(db_, 5000);
      Exec("PRAGMA synchronous=NORMAL");
      Exec("CREATE TABLE IF NOT EXISTS metadata (name TEXT, value TEXT)");
      Exec(
          "CREATE TABLE IF NOT EXISTS tiles (zoom_level INTEGER, tile_column INTEGER, "
          "tile_row INTEGER, tile_data BLOB)");
      Exec(
          "CREATE UNIQUE INDEX IF NOT EXISTS tile_index ON tiles (zoom_level, tile_column, "
          "tile_row)");
      WriteMetadata();
      Prepare("INSERT OR REPLACE INTO tiles VALUES (?, ?, ?, ?)", insert_);
      Prepare(
          "SELECT length(tile_data) FROM tiles WHERE zoom_level=? AND tile_column=? AND "
          "tile_row=?",
          select_);
    } catch (...) {
      Close();
      throw;
    }
  }

  ~TMBTilesStore() override { Close(); }

  bool Has(const TTileId& Tile) override {
    std::lock_guard lock(mutex_);
    Bind(select_, Tile);
    const int rc = sqlite3_step(select_);
    const bool found = rc == SQLITE_ROW && sqlite3_column_int64(select_, 0) > 0;
    sqlite3_reset(select_);
    return found;
  }

  void Put(const TTileId& Tile, std::span<const uint8_t> Data) override {
    CheckStorableTile(file_, Tile);
    std::lock_guard lock(mutex_);
    if (!inTransaction_) {
      Exec("BEGIN");
      inTransaction_ = true;
    }
    Bind(insert_, Tile);
    sqlite3_bind_blob(insert_, 4, Data.data(), static_cast<int>(Data.size()), SQLITE_TRANSIENT);
    const int rc = sqlite3_step(insert_);
    sqlite3_reset(insert_);
    if (rc != SQLITE_DONE) Fail(rc);
    if (++pending_ >= kTilesPerTransaction) Commit();
  }

  void Finish() override {
    std::lock_guard lock(mutex_);
    Commit();
    WriteMetadata();
  }

 private:
  // A batch not committed is rolled back: the file keeps whole tiles only.
  void Close() {
    sqlite3_finalize(insert_);
    sqlite3_finalize(select_);
    insert_ = select_ = nullptr;
    if (db_ && inTransaction_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db_);
    db_ = nullptr;
  }

  void Bind(sqlite3_stmt* Stmt, const TTileId& Tile) {
    sqlite3_bind_int(Stmt, 1, Tile.Z);
    sqlite3_bind_int(Stmt, 2, Tile.X);
    sqlite3_bind_int(Stmt, 3, (1 << Tile.Z) - 1 - Tile.Y);  // rows from the south
  }

  void Commit() {
    if (!inTransaction_) return;
    inTransaction_ = false;
    pending_ = 0;
    Exec("COMMIT");
  }

  [[noreturn]] void Fail(int Code) {
    const std::string why = Code == SQLITE_FULL ? "the disk is full" : sqlite3_errmsg(db_);
    if (inTransaction_) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      inTransaction_ = false;
      pending_ = 0;
    }
    throw EInOutError(file_, why, Code == SQLITE_FULL ? ENOSPC : 0);
  }

  void Exec(const char* Sql) {
    char* message = nullptr;
    const int rc = sqlite3_exec(db_, Sql, nullptr, nullptr, &message);
    sqlite3_free(message);
    if (rc != SQLITE_OK) Fail(rc);
  }

  void Prepare(const char* Sql, sqlite3_stmt*& Stmt) {
    const int rc = sqlite3_prepare_v2(db_, Sql, -1, &Stmt, nullptr);
    if (rc != SQLITE_OK) Fail(rc);
  }

  void WriteMetadata() {
    const TGeoBounds& b = info_.Bounds;
    const int centreZoom = info_.MinZoom;
    const std::pair<const char*, std::string> rows[] = {
        {"name", info_.Name},
        {"description", info_.Description},
        {"format", TileExtension(info_.Format)},
        {"type", "baselayer"},
        {"version", "1.3"},
        {"bounds",
         Number(b.West) + "," + Number(b.South) + "," + Number(b.East) + "," + Number(b.North)},
        {"center", Number((b.West + b.East) / 2) + "," + Number((b.South + b.North) / 2) + "," +
                       std::to_string(centreZoom)},
        {"minzoom", std::to_string(info_.MinZoom)},
        {"maxzoom", std::to_string(info_.MaxZoom)},
    };
    Exec("BEGIN");
    inTransaction_ = true;
    Exec("DELETE FROM metadata");
    sqlite3_stmt* stmt = nullptr;
    Prepare("INSERT INTO metadata VALUES (?, ?)", stmt);
    for (const auto& [name, value] : rows) {
      sqlite3_bind_text(stmt, 1, name, -1, SQLITE_STATIC);
      sqlite3_bind_text(stmt, 2, value.c_str(), -1, SQLITE_TRANSIENT);
      const int rc = sqlite3_step(stmt);
      sqlite3_reset(stmt);
      if (rc != SQLITE_DONE) {
        sqlite3_finalize(stmt);
        Fail(rc);
      }
    }
    sqlite3_finalize(stmt);
    Commit();
  }

  std::string file_;
  TTileSetInfo info_;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* insert_ = nullptr;
  sqlite3_stmt* select_ = nullptr;
  bool inTransaction_ = false;
  int pending_ = 0;
  std::mutex mutex_;
};

}  // namespace

std::unique_ptr<TTileStore> OpenMBTilesStore(const std::string& Output, const TTileSetInfo& Info,
                                             bool Resume) {
  return std::make_unique<TMBTilesStore>(Output, Info, Resume);
}

}  // namespace marovia
