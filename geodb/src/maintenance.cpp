// TGeoDB: garbage collection of the data file, and the completion of a
// collection or a deletion that was interrupted.
//
// Protocol (B the base name; "sync" as the durability setting asks, see
// gdbjournal.h: files and folder at gdNormal and gdFull, the last folder
// sync at gdFull only):
//   1. the compacted data file is written to B.zylgdd.gc and the item table
//      with the new offsets to B.zylgds.gc; both are synced, and the folder;
//   2. the marker B.zylgc is created and the folder synced: from here on the
//      new state is the valid one (commit point);
//   3. B.zylgds.gc and B.zylgdd.gc are renamed over B.zylgds and B.zylgdd;
//      the folder is synced;
//   4. the marker is deleted; the folder is synced.
// Opening a database finishes step 3 when the marker exists, and otherwise
// deletes leftovers of step 1, so an interruption at any point leaves the old
// or the new database, complete. The index files are not touched: entry
// numbers do not change, only offsets. The writer holds the lock for
// changing the files throughout (readers wait), and no transaction may be
// under way: its journal would describe the files being replaced.
#include <fcntl.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

#include "file_store.h"
#include "gdb_internal.h"
#include "marovia/geodb/geodb.h"
#include "marovia/platform/files.h"
#include "marovia/platform/strutils.h"
#include "raw_file.h"
#include "set_lock.h"

namespace marovia {

namespace {

struct TGcNames {
  std::string NewTable, NewData, Marker;
  explicit TGcNames(const std::string& Base)
      : NewTable(gdb::TableFileName(Base) + ".gc"),
        NewData(gdb::DataFileName(Base) + ".gc"),
        Marker(Base + ".zylgc") {}
};

void DeleteIfExists(const std::string& FileName) {
  if (FileExists(FileName)) DeleteFile(FileName);
}

void SyncFileNamed(const std::string& FileName) {
  gdb::TRawFile f;
  f.Open(FileName, O_RDONLY);
  f.Sync();
  f.Close();
}

// Holds the lock for changing the files while it lives.
class TChangingFiles {
 public:
  explicit TChangingFiles(gdb::TSetLock* Lock) : lock_(Lock) {
    if (lock_) lock_->LockChanging();
  }
  ~TChangingFiles() { Release(); }
  // Before the database (and its lock) goes away.
  void Release() {
    try {
      if (lock_) lock_->UnlockBusy();
    } catch (...) {
      // Released with the descriptor when the database closes.
    }
    lock_ = nullptr;
  }
  TChangingFiles(const TChangingFiles&) = delete;
  TChangingFiles& operator=(const TChangingFiles&) = delete;

 private:
  gdb::TSetLock* lock_;
};

}  // namespace

// IDs are never shared, so a last record equal to an earlier one can only be
// the moved item of a deletion that was cut short before the table was
// shortened. The earlier record may hold the copy only in part: the kernel
// copies a write page by page and a killed process stops between pages, so
// a record that straddles a page boundary may keep its old bytes beyond it.
// Such a record is taken as the copy only when it matches the last record up
// to that boundary (every page size is a multiple of 4096 bytes); any other
// pair of records sharing an ID is damage this repair must not resolve by
// dropping one. Deletions go through the journal now; files left by older
// versions still need this.
int gdb::FindInterruptedDeletion(const std::vector<TgdbData>& Items) {
  if (Items.size() < 2) return -1;
  const TgdbData& last = Items.back();
  auto isCopy = [&](const TgdbData& r) {
    constexpr size_t kPage = 4096;
    const size_t begin = static_cast<size_t>(&r - Items.data()) * sizeof(TgdbData);
    const size_t boundary = (begin / kPage + 1) * kPage;
    const size_t head = boundary < begin + sizeof(TgdbData) ? boundary - begin : sizeof(TgdbData);
    return std::memcmp(&r, &last, head) == 0;
  };
  const auto twin = std::find_if(Items.begin(), Items.end() - 1, isCopy);
  if (twin == Items.end() - 1) return -1;
  // A cut-short deletion leaves one pair sharing an ID. Another such pair
  // is damage of another kind, and dropping the last record would be the
  // first of several repairs, one more record lost at every opening.
  std::vector<int32_t> ids;
  ids.reserve(Items.size() - 1);
  for (auto it = Items.begin(); it != Items.end() - 1; ++it) ids.push_back(it->ItemId);
  std::sort(ids.begin(), ids.end());
  if (std::adjacent_find(ids.begin(), ids.end()) != ids.end()) return -1;
  return static_cast<int>(twin - Items.begin());
}

void TGeoDB::RecoverGarbageCollection(const std::string& Base) {
  const TGcNames gc(Base);
  if (!FileExists(gc.Marker)) {
    // Interrupted before its commit point: the old files are valid.
    DeleteIfExists(gc.NewTable);
    DeleteIfExists(gc.NewData);
    return;
  }
  const std::pair<const std::string*, std::string> moves[] = {
      {&gc.NewTable, gdb::TableFileName(Base)}, {&gc.NewData, gdb::DataFileName(Base)}};
  for (const auto& [from, to] : moves) {
    if (FileExists(*from) && !RenameFile(*from, to))
      throw EInOutError(to, "cannot complete an interrupted garbage collection");
  }
  // The renames must be on the disk before the marker that calls for them
  // is gone.
  const std::string folder = gdb::FolderOf(Base);
  if (FDurability != gdNone) gdb::SyncFolder(folder);
  if (!DeleteFile(gc.Marker))
    throw EInOutError(gc.Marker, "cannot remove the garbage collection marker");
  if (FDurability == gdFull) gdb::SyncFolder(folder);
}

int64_t TGeoDB::GarbageCollection() {
  if (!IsOpen()) return 0;
  RequireWritable("GarbageCollection");
  if (InTransaction()) Fail("GarbageCollection", "not possible within a transaction.");
  const TGcNames gc(GetGDBName());
  TChangingFiles changing(FLock.get());
  ReportProgress(0);

  TBinaryFile old(FNameGDD, 1);
  old.Reset(TFileAccess::faReadOnly);
  const int64_t oldSize = old.FileSize();

  // Every referenced block must be whole before anything is rewritten.
  std::vector<TgdbData> recs = FSumData;
  std::vector<size_t> withBlock;
  int64_t totalBytes = 0;
  auto hasBlock = [](const TgdbData& r) {
    return (IsPolygonKind(r.ItemKind) && r.BlobOffset >= 0) || r.ItemKind == gitBLOB;
  };
  for (size_t i = 0; i < recs.size(); ++i) {
    TgdbData& r = recs[i];
    if (!hasBlock(r)) {
      r.BlobOffset = -1;  // kinds without a block keep no stale offset
      continue;
    }
    CheckBlock("GarbageCollection", static_cast<int>(i) + 1, r, oldSize);
    withBlock.push_back(i);
    totalBytes += BlockLength(r);
  }
  // In a table already damaged by a shared ID, two records may differ only
  // in a stale offset; made equal, the next opening would take them for a
  // cut-short deletion and drop one. Such a table keeps its stale offsets.
  if (gdb::FindInterruptedDeletion(recs) >= 0)
    for (size_t i = 0; i < recs.size(); ++i)
      if (!hasBlock(FSumData[i])) recs[i].BlobOffset = FSumData[i].BlobOffset;
  // Copy in file order; a block shared by several entries is copied once.
  std::stable_sort(withBlock.begin(), withBlock.end(),
                   [&](size_t a, size_t b) { return recs[a].BlobOffset < recs[b].BlobOffset; });

  int64_t newSize = 0;
  try {
    TBinaryFile out(gc.NewData, 1);
    out.Rewrite();
    out.BlockWrite(&FSystemData, sizeof FSystemData);
    newSize = sizeof FSystemData;
    std::map<std::pair<int64_t, int64_t>, int32_t> moved;  // (offset, length) -> new offset
    std::vector<uint8_t> buf(gdb::kCopyBufferSize);
    int64_t done = 0;
    for (size_t i : withBlock) {
      TgdbData& r = recs[i];
      const int64_t length = BlockLength(r);
      const std::pair<int64_t, int64_t> key{r.BlobOffset, length};
      if (auto it = moved.find(key); it != moved.end()) {
        r.BlobOffset = it->second;
        continue;
      }
      const auto newOffset = static_cast<int32_t>(newSize);  // never beyond the old offset
      old.Seek(r.BlobOffset);
      for (int64_t left = length; left > 0;) {
        const int64_t n = std::min(left, gdb::kCopyBufferSize);
        old.BlockRead(buf.data(), n);
        out.BlockWrite(buf.data(), n);
        left -= n;
      }
      moved.emplace(key, newOffset);
      r.BlobOffset = newOffset;
      newSize += length;
      done += length;
      ReportProgress(std::min(gdb::Percent(static_cast<double>(done), totalBytes), 99));
    }
    out.CloseFile();
    old.CloseFile();

    TBinaryFile table(gc.NewTable, sizeof(TgdbData));
    table.Rewrite();
    table.BlockWrite(recs.data(), static_cast<int64_t>(recs.size()));
    table.CloseFile();
    // The new files must be whole on the disk, and their names too, before
    // the marker says they are the database.
    if (FDurability != gdNone) {
      SyncFileNamed(gc.NewData);
      SyncFileNamed(gc.NewTable);
      gdb::SyncFolder(gdb::FolderOf(gc.NewTable));
    }

    TBinaryFile marker(gc.Marker, 1);
    marker.Rewrite();
    marker.CloseFile();
    if (FDurability != gdNone) gdb::SyncFolder(gdb::FolderOf(gc.Marker));
  } catch (...) {
    // Before the commit point: the database is as it was.
    try {
      DeleteIfExists(gc.Marker);
      DeleteIfExists(gc.NewTable);
      DeleteIfExists(gc.NewData);
    } catch (...) {
    }
    throw;
  }

  // Committed: the new state is valid from here on, even if the renames
  // below fail (the next opening completes them).
  FSumData = std::move(recs);
  ++FChanges;
  try {
    RecoverGarbageCollection(GetGDBName());
  } catch (...) {
    // The files are committed but not in place: close, so that nothing is
    // read or written through the old names; opening again completes them.
    changing.Release();
    if (FLazyWrite) SaveAllIndexes();
    ResetState();
    throw;
  }
  ReportProgress(100);
  return oldSize - newSize;
}

}  // namespace marovia
