// Every file writer with its writes, syncs and renames failed one at a time
// (fault_shim): each k-th call of each kind, with EIO (that call alone) and
// with ENOSPC (that call and every later one: the disk stays full). A run
// must end with a clear error and leave each file as it was before, or as
// a run without fault writes it, never anything between; or succeed and
// leave exactly what a run without fault leaves.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <zip.h>

#include "faults_model.h"
#include "marovia/platform/image_pyramid.h"
#include "shim_run.h"

namespace marovia::faults {
namespace {

enum class TCheck { Files, MBTiles, Pyramid, Database };

struct TWriterCase {
  const char* Writer;
  TCheck Check;
  bool Image = false;  // the writer reads map.bmp
  // The database commands' durability: gdNormal, so that their syncs are
  // counted and failed too; gdNone for the writes made without journal.
  TgdbDurability Durability = gdNormal;
};

void PrintTo(const TWriterCase& C, std::ostream* Out) {
  *Out << C.Writer << (C.Durability == gdNone ? " (durability none)" : "");
}

// Name -> bytes of every entry of a zip archive (empty when it is none).
std::map<std::string, std::string> ZipEntries(const std::string& Bytes) {
  std::map<std::string, std::string> out;
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* src = zip_source_buffer_create(Bytes.data(), Bytes.size(), 0, &error);
  zip_t* z = src ? zip_open_from_source(src, ZIP_RDONLY, &error) : nullptr;
  if (!z) {
    if (src) zip_source_free(src);
    return out;
  }
  for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i) {
    zip_stat_t st;
    zip_file_t* f = zip_fopen_index(z, static_cast<zip_uint64_t>(i), 0);
    if (!f || zip_stat_index(z, static_cast<zip_uint64_t>(i), 0, &st) != 0) break;
    std::string data(static_cast<size_t>(st.size), '\0');
    zip_fread(f, data.data(), st.size);
    zip_fclose(f);
    out[st.name] = data;
  }
  zip_close(z);
  return out;
}

// Equal bytes, or (an archive records when it was made) equal entries.
bool SameFile(const std::string& Name, const std::string& A, const std::string& B) {
  if (A == B) return true;
  return Name.ends_with(".kmz") && !ZipEntries(A).empty() && ZipEntries(A) == ZipEntries(B);
}

class WriterFaults : public ::testing::TestWithParam<TWriterCase> {
 protected:
  fs::path Dir(const std::string& Name) const { return tmp_.Path() / Name; }

  // Runs the writer's variant in Folder, which holds Before.
  TRun Run(const TSnapshot& Before, const fs::path& Folder, const TShim& Shim) {
    Restore(Before, Folder);
    if (GetParam().Image) RunDriver("prepare-image", Folder, 1);
    return RunDriver(Writer(), Folder, Variant(), Shim);
  }
  std::string Writer() const {
    const std::string w = GetParam().Writer;
    return GetParam().Check == TCheck::Database ? "db-" + w : w;
  }
  int Variant() const { return GetParam().Durability; }

  // Empty when the folder holds what a failed (Failed) or successful run may
  // leave; otherwise what is wrong.
  std::string Judge(const fs::path& Folder, bool Failed) {
    switch (GetParam().Check) {
      case TCheck::Files:
        return JudgeFiles(Snapshot(Folder), Failed);
      case TCheck::MBTiles:
        return JudgeMBTiles(Folder / "tiles.mbtiles");
      case TCheck::Pyramid:
        return JudgePyramid(Folder);
      case TCheck::Database:
        return JudgeDatabase(Folder, Failed);
    }
    return {};
  }

  std::string JudgeFiles(const TSnapshot& Now, bool Failed) const {
    for (const auto& [name, bytes] : after_)
      if (!Failed && !Now.count(name)) return "a successful run did not write " + name;
    for (const auto& [name, bytes] : before_)
      if (!Now.count(name) && after_.count(name)) return name + " is gone";
    for (const auto& [name, bytes] : Now) {
      const auto was = before_.find(name), will = after_.find(name);
      const bool asWritten = will != after_.end() && SameFile(name, will->second, bytes);
      if (!Failed && !asWritten) return "a successful run left " + name + " otherwise";
      if (!asWritten && (was == before_.end() || was->second != bytes))
        return name + " is neither as it was nor as written whole";
    }
    return {};
  }

  // SQLite keeps the archive whole itself: every tile stored must be whole,
  // and the tiles of the earlier run all there.
  static std::string JudgeMBTiles(const fs::path& File) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(File.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
      sqlite3_close(db);
      return "the archive cannot be opened";
    }
    std::string why;
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr);
    if (sqlite3_step(st) != SQLITE_ROW ||
        std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))) != "ok")
      why = "the archive is damaged";
    sqlite3_finalize(st);
    int earlier = 0;
    sqlite3_prepare_v2(db, "SELECT zoom_level, tile_column, tile_row, tile_data FROM tiles", -1,
                       &st, nullptr);
    while (why.empty() && sqlite3_step(st) == SQLITE_ROW) {
      const TTileId t{sqlite3_column_int(st, 0), sqlite3_column_int(st, 1),
                      (1 << sqlite3_column_int(st, 0)) - 1 - sqlite3_column_int(st, 2)};
      const int variant = t.X >= 4 ? 1 : 0;
      earlier += variant == 0;
      const auto* p = static_cast<const uint8_t*>(sqlite3_column_blob(st, 3));
      const std::vector<uint8_t> stored(p, p + sqlite3_column_bytes(st, 3));
      if (stored != TileBytes(t, variant)) why = "a tile is not whole";
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    if (why.empty() && earlier != 12) why = "tiles of the earlier run are lost";
    return why;
  }

  // A cache file under its own name must read back as the image. Opened
  // as the driver opened it, from within the folder, so that the cache file
  // it wrote is the one found.
  static std::string JudgePyramid(const fs::path& Folder) {
    const fs::path here = fs::current_path();
    fs::current_path(Folder);
    struct TBack {
      fs::path To;
      ~TBack() { fs::current_path(To); }
    } back{here};
    try {
      TPyramidOptions o;
      o.CacheDir = "cache";
      const auto pyramid = TImagePyramid::Open("map.bmp", o);
      TPyramidOptions elsewhere;
      elsewhere.CacheDir = "fresh";
      const auto fresh = TImagePyramid::Open("map.bmp", elsewhere);
      for (int l = 0; l < pyramid->Levels(); ++l)
        for (int ty = 0; ty < pyramid->TilesDown(l); ++ty)
          for (int tx = 0; tx < pyramid->TilesAcross(l); ++tx) {
            const auto a = pyramid->Tile(l, tx, ty), b = fresh->Tile(l, tx, ty);
            if (!std::equal(a.get(), a.get() + TImagePyramid::kTileSize * TImagePyramid::kTileSize,
                            b.get()))
              return "a cached tile differs from the image";
          }
    } catch (const std::exception& e) {
      return std::string("the cache does not read back: ") + e.what();
    }
    return {};
  }

  std::string JudgeDatabase(const fs::path& Folder, bool Failed) {
    TGeoDB db(nullptr);
    std::string why;
    try {
      db.SetDBName(DatabaseBase(Folder.string()));
      const TContents now = Contents(db, why);
      if (!why.empty()) return why;
      if (now == dbAfter_) return {};
      if (Failed && now == dbBefore_) return {};
      return Failed ? "neither the state before nor after" : "a successful run left another state";
    } catch (const std::exception& e) {
      return std::string("cannot open: ") + e.what();
    }
  }

  TContents DatabaseContents(const fs::path& Folder) {
    TGeoDB db(nullptr);
    db.SetDBName(DatabaseBase(Folder.string()));
    std::string why;
    TContents c = Contents(db, why);
    EXPECT_EQ(why, "");
    return c;
  }

  TScratch tmp_;
  TSnapshot before_, after_;
  TContents dbBefore_, dbAfter_;
};

TEST_P(WriterFaults, EveryFailedCallLeavesTheFileWholeAndSaysSo) {
  const TWriterCase& c = GetParam();
  const bool database = c.Check == TCheck::Database;
  // Before: what an earlier run (variant 0) left; after: a run without fault.
  const fs::path base = Dir("base");
  fs::create_directories(base);
  if (c.Image) RunDriver("prepare-image", base, 0);
  ASSERT_EQ(RunDriver(database ? "db-fill" : Writer(), base, database ? 1 : 0).Status, 0);
  before_ = Snapshot(base);
  ASSERT_EQ(Run(before_, Dir("after"), {}).Status, 0);
  after_ = Snapshot(Dir("after"));
  if (database) {
    dbBefore_ = DatabaseContents(base);
    dbAfter_ = DatabaseContents(Dir("after"));
  }
  ASSERT_NE(before_, after_);

  const std::string log = (tmp_.Path() / "counts").string();
  ASSERT_EQ(Run(before_, Dir("count"), {"count", "", 0, "", log}).Status, 0);
  const auto counts = Counts(log);
  int runs = 0, failed = 0;
  for (const char* op : {"write", "fsync", "rename"}) {
    const long n = counts.count(op) ? counts.at(op) : 0;
    for (long k = 1; k <= n; ++k) {
      for (const char* err : {"EIO", "ENOSPC"}) {
        SCOPED_TRACE(std::string(op) + " " + std::to_string(k) + " of " + std::to_string(n) +
                     " fails with " + err);
        const fs::path folder = Dir("run");
        const TRun run = Run(before_, folder, {"fail", op, k, err, ""});
        ++runs;
        const bool fail = run.Status != 0;
        failed += fail;
        ASSERT_TRUE(run.Status == 0 || run.Status == 1) << run.Stderr;
        if (fail) {
          EXPECT_NE(run.Stderr.find("error: "), std::string::npos);
          EXPECT_GT(run.Stderr.size(), 12u) << "no clear message";
        }
        const std::string why = Judge(folder, fail);
        ASSERT_EQ(why, "") << (fail ? run.Stderr : "the run succeeded");
      }
    }
  }
  std::printf("%s%s: write %ld, fsync %ld, rename %ld; %d runs, %d failed with an error\n",
              c.Writer, c.Durability == gdNone ? " (durability none)" : "",
              counts.count("write") ? counts.at("write") : 0,
              counts.count("fsync") ? counts.at("fsync") : 0,
              counts.count("rename") ? counts.at("rename") : 0, runs, failed);
}

const TWriterCase kWriters[] = {
    {"calxml", TCheck::Files},
    {"landmarks", TCheck::Files},
    {"symbols", TCheck::Files},
    {"worldfile", TCheck::Files},
    {"kml", TCheck::Files},
    {"kmz", TCheck::Files, true},
    {"vrt", TCheck::Files},
    {"points", TCheck::Files},
    {"mapfile", TCheck::Files, true},
    {"geotiff", TCheck::Files},
    {"tiles-dir", TCheck::Files},
    {"tiles-mbtiles", TCheck::MBTiles},
    {"tiles-pmtiles", TCheck::Files},
    {"pyramid", TCheck::Pyramid, true},
    {"add", TCheck::Database},
    {"add", TCheck::Database, false, gdNone},
    {"replace", TCheck::Database},
    {"delete", TCheck::Database},
    {"meta", TCheck::Database},
    {"description", TCheck::Database},
    {"description", TCheck::Database, false, gdNone},
    {"transaction", TCheck::Database},
    {"collect", TCheck::Database},
};

INSTANTIATE_TEST_SUITE_P(Writers, WriterFaults, ::testing::ValuesIn(kWriters),
                         [](const auto& Info) {
                           std::string n = Info.param.Writer;
                           for (char& ch : n)
                             if (ch == '-') ch = '_';
                           return Info.param.Durability == gdNone ? n + "_none" : n;
                         });

}  // namespace
}  // namespace marovia::faults
