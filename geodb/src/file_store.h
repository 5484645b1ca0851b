// The writer of a database's item table and data file: collects the writes
// of a transaction in memory, saves the pages they overwrite in the rollback
// journal, and writes, syncs and commits them in the order gdbjournal.h
// describes. Reads through it see the transaction's own writes.
//
// Outside a transaction nothing is open; Begin opens nothing yet either:
// each file is opened at its first use and stays open until the transaction
// ends. One store belongs to one open database and is used from one thread.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <unordered_set>
#include <vector>

#include "journal.h"
#include "raw_file.h"

namespace marovia::gdb {

class TSetLock;

enum TSetFile : uint8_t { kTable = 0, kData = 1 };

// Bytes written but not yet on disk: non-overlapping runs by offset.
class TPendingBytes {
 public:
  void Write(int64_t Offset, const uint8_t* Bytes, int64_t Count);
  // Drops everything at or beyond Size.
  void CutAt(int64_t Size);
  // Copies the pending bytes within [Offset, Offset + Count) over Buffer.
  void Overlay(int64_t Offset, uint8_t* Buffer, int64_t Count) const;
  void Clear();
  bool Empty() const { return runs_.empty(); }
  int64_t Bytes() const { return bytes_; }
  const std::map<int64_t, std::vector<uint8_t>>& Runs() const { return runs_; }

 private:
  std::map<int64_t, std::vector<uint8_t>> runs_;
  int64_t bytes_ = 0;
};

class TFileStore {
 public:
  TFileStore(TSetNames Names, TSetLock& Lock) : names_(std::move(Names)), lock_(Lock) {}
  ~TFileStore();
  TFileStore(const TFileStore&) = delete;
  TFileStore& operator=(const TFileStore&) = delete;

  void SetDurability(TgdbDurability Value) { durability_ = Value; }
  // Bytes collected before a batch is written (kgdbSpillBytes).
  void SetSpillBytes(int64_t Value) { spillBytes_ = Value; }
  TgdbDurability Durability() const { return durability_; }

  bool Active() const { return active_; }
  bool Explicit() const { return explicit_; }
  // True after a failure left the files in a state the store cannot vouch
  // for (a commit point passed, or a rollback failed): the database must be
  // closed; opening it again recovers.
  bool Broken() const { return broken_; }

  // Starts a transaction. Explicit: one that BeginTransaction started, which
  // always journals.
  void Begin(bool Explicit);
  void Write(TSetFile File, int64_t Offset, const void* Bytes, int64_t Count);
  void Truncate(TSetFile File, int64_t Size);
  // Size and bytes as the transaction sees them. Read raises EInOutError
  // ("read past end of file") beyond the size.
  int64_t Size(TSetFile File);
  void Read(TSetFile File, int64_t Offset, void* Bytes, int64_t Count);
  // Writes what is collected and commits. On failure before the commit
  // point everything is undone (or, should that fail too, Broken) and the
  // error raised again.
  void Commit();
  // Undoes everything since Begin. Failures leave the store Broken and
  // raise.
  void Rollback();
  // Ends a transaction whose database is being closed after a failure:
  // drops what is collected and closes the files, touching nothing.
  void Abandon();

 private:
  struct TFileState {
    TRawFile File;
    bool Opened = false;
    // The sizes below are looked up at first need: an addition outside a
    // transaction rewrites the data file's header without ever needing it.
    bool SizeKnown = false;
    int64_t WrittenEnd = 0;  // end of the writes made before the size was known
    int64_t BeginSize = 0;   // when the transaction began
    int64_t DiskSize = 0;    // on disk now
    int64_t Size = 0;        // as the transaction sees it
    int64_t CutTo = 0;       // smallest size set since the last batch
    bool Written = false;    // the transaction wrote to the file
    TPendingBytes Pending;
    std::unordered_set<int64_t> Saved;  // pages in the journal
  };

  TFileState& Opened(TSetFile File);
  // Opened, with its sizes looked up.
  TFileState& Known(TSetFile File);
  // Writes the collected bytes as one batch (steps 1 and 2 of the
  // protocol).
  void Flush();
  bool NeedsJournal();
  // Pages below the begin size that the batch changes, not yet saved.
  std::vector<int64_t> PagesToSave(const TFileState& F) const;
  void SaveBatchPages();
  void WriteBatch(TFileState& F);
  void TakeChangingLock();
  // Rollback after a failure, whose own failure only leaves the store
  // Broken.
  void RollbackQuietly() noexcept;
  void End();

  TSetNames names_;
  TSetLock& lock_;
  TgdbDurability durability_ = gdbDefaultDurability;
  int64_t spillBytes_ = kgdbSpillBytes;
  bool active_ = false;
  bool explicit_ = false;
  bool broken_ = false;
  bool changing_ = false;  // the lock for changing the files is held
  bool flushed_ = false;   // something reached the files
  TFileState files_[2];
  TRawFile journal_;
  bool journalCreated_ = false;
  int64_t journalEnd_ = 0;
  uint32_t salt_ = 0;
  bool journalSynced_ = true;  // nothing written to it since its last sync
};

}  // namespace marovia::gdb
