// Reading an MBTiles file through SQLite, read-only: its metadata and its
// tiles by id (rows counted from the south, as the format has them).
#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "marovia/geomap/geomap_error.h"
#include "marovia/geomap/tile_archive.h"
#include "marovia/platform/files.h"
#include "marovia/platform/strutils.h"
#include "marovia/platform/sysutils.h"

namespace marovia {

namespace {

class TMBTilesArchive final : public TTileArchive {
 public:
  explicit TMBTilesArchive(const std::string& File) {
    FFile = File;
    if (sqlite3_open_v2(File.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
      const std::string why = db_ ? sqlite3_errmsg(db_) : "cannot open";
      sqlite3_close(db_);
      throw EInOutError(File, why);
    }
    try {
      ReadMetadata();
      Prepare("SELECT tile_data FROM tiles WHERE zoom_level=? AND tile_column=? AND tile_row=?",
              select_);
      sqlite3_stmt* count = nullptr;
      Prepare("SELECT count(*) FROM tiles", count);
      if (sqlite3_step(count) == SQLITE_ROW) count_ = sqlite3_column_int64(count, 0);
      sqlite3_finalize(count);
    } catch (...) {
      sqlite3_finalize(select_);
      sqlite3_close(db_);
      throw;
    }
  }

  ~TMBTilesArchive() override {
    sqlite3_finalize(select_);
    sqlite3_close(db_);
  }

  uint64_t TileCount() const override { return static_cast<uint64_t>(count_); }

  std::vector<uint64_t> TileIds() override {
    CheckListableTiles(FFile, TileCount());
    sqlite3_stmt* stmt = nullptr;
    Prepare("SELECT zoom_level, tile_column, tile_row FROM tiles", stmt);
    std::vector<uint64_t> ids;
    int rc = SQLITE_ROW;
    int64_t row = 0;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      ++row;
      const int64_t z = sqlite3_column_int64(stmt, 0), x = sqlite3_column_int64(stmt, 1),
                    y = sqlite3_column_int64(stmt, 2);
      // A level, column or row that is null, text or a real would list a tile
      // that the integers of a lookup never find.
      bool integers = true;
      for (int c = 0; c < 3; ++c)
        integers = integers && sqlite3_column_type(stmt, c) == SQLITE_INTEGER;
      if (!integers || z < 0 || z > kMaxWebZoom || x < 0 || y < 0 || x >= (int64_t{1} << z) ||
          y >= (int64_t{1} << z) || ids.size() >= kMaxArchiveTiles) {
        sqlite3_finalize(stmt);
        throw EZYLGeoMapError(FFile + ": tile row " + std::to_string(row) + " (" +
                              std::to_string(z) + "/" + std::to_string(x) + "/" +
                              std::to_string(y) + ") is not a tile of levels 0-" +
                              std::to_string(kMaxWebZoom));
      }
      const int zi = static_cast<int>(z);
      ids.push_back(
          PMTilesTileId({zi, static_cast<int>(x), static_cast<int>((int64_t{1} << zi) - 1 - y)}));
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE) Fail(rc);
    std::sort(ids.begin(), ids.end());
    if (std::adjacent_find(ids.begin(), ids.end()) != ids.end())
      throw EZYLGeoMapError(FFile + ": a tile is stored twice");
    return ids;
  }

  bool Read(uint64_t Id, std::vector<uint8_t>& Data) override {
    const TTileId t = PMTilesTileOf(Id);
    if (t.Z > kMaxWebZoom) return false;
    sqlite3_bind_int(select_, 1, t.Z);
    sqlite3_bind_int(select_, 2, t.X);
    sqlite3_bind_int(select_, 3, (1 << t.Z) - 1 - t.Y);
    const int rc = sqlite3_step(select_);
    const bool found = rc == SQLITE_ROW;
    if (found) {
      const auto* bytes = static_cast<const uint8_t*>(sqlite3_column_blob(select_, 0));
      Data.assign(bytes, bytes + sqlite3_column_bytes(select_, 0));
    }
    sqlite3_reset(select_);
    if (!found && rc != SQLITE_DONE) Fail(rc);
    return found;
  }

 private:
  [[noreturn]] void Fail(int Code) const {
    throw EZYLGeoMapError(FFile + ": " + (db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(Code)));
  }

  void Prepare(const char* Sql, sqlite3_stmt*& Stmt) {
    if (sqlite3_prepare_v2(db_, Sql, -1, &Stmt, nullptr) != SQLITE_OK) Fail(0);
  }

  void ReadMetadata() {
    sqlite3_stmt* stmt = nullptr;
    Prepare("SELECT name, value FROM metadata", stmt);
    FInfo.MinZoom = 0;
    FInfo.MaxZoom = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      const auto* n = sqlite3_column_text(stmt, 0);
      const auto* v = sqlite3_column_text(stmt, 1);
      if (!n || !v) continue;
      const std::string name = reinterpret_cast<const char*>(n);
      const std::string value = reinterpret_cast<const char*>(v);
      if (name == "name") {
        FInfo.Name = value;
      } else if (name == "format") {
        FInfo.Format = SameText(value, "jpg") || SameText(value, "jpeg") ? TTileFormat::Jpeg
                                                                         : TTileFormat::Png;
      } else if (name == "minzoom" || name == "maxzoom") {
        const int z = std::clamp(std::atoi(value.c_str()), 0, kMaxWebZoom);
        (name == "minzoom" ? FInfo.MinZoom : FInfo.MaxZoom) = z;
      } else if (name == "bounds") {
        double b[4];
        if (std::sscanf(value.c_str(), "%lf,%lf,%lf,%lf", &b[0], &b[1], &b[2], &b[3]) == 4)
          FInfo.Bounds = {b[0], b[1], b[2], b[3]};
      }
    }
    sqlite3_finalize(stmt);
  }

  sqlite3* db_ = nullptr;
  sqlite3_stmt* select_ = nullptr;
  int64_t count_ = 0;
};

}  // namespace

std::unique_ptr<TTileArchive> OpenMBTilesArchive(const std::string& File) {
  // SQLite would make an empty database of a missing file.
  if (!FileExists(File)) throw EInOutError(File, "no such file", ENOENT);
  return std::make_unique<TMBTilesArchive>(File);
}

}  // namespace marovia
