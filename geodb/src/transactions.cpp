// TGeoDB: transactions, the change of one operation, durability, read-only
// opening and the recovery a reader may do.
#include <fcntl.h>

#include <algorithm>

#include "file_store.h"
#include "gdb_internal.h"
#include "journal.h"
#include "marovia/geodb/geodb.h"
#include "marovia/platform/files.h"
#include "raw_file.h"
#include "set_lock.h"

namespace marovia {

bool TGeoDB::InTransaction() const {
  return FStore && FStore->Active() && FStore->Explicit();
}

void TGeoDB::SetDurability(TgdbDurability Value) {
  if (Value > gdFull) Value = gdFull;
  FDurability = Value;
  if (FStore && !FStore->Active()) FStore->SetDurability(Value);
}

void TGeoDB::RequireWritable(const char* Operation) const {
  if (FOpenReadOnly) Fail(Operation, "the database is open read-only.");
}

void TGeoDB::BeginTransaction() {
  if (!IsOpen()) Fail("BeginTransaction", "no database open.");
  RequireWritable("BeginTransaction");
  if (InTransaction()) Fail("BeginTransaction", "a transaction is already under way.");
  FStore->SetDurability(FDurability);
  FStore->Begin(true);
  FIndexesPending = false;
}

void TGeoDB::Commit() {
  if (!InTransaction()) Fail("Commit", "no transaction under way.");
  try {
    FStore->Commit();
  } catch (...) {
    AfterFailedTransaction();
    throw;
  }
  if (FIndexesPending) {
    FIndexesPending = false;
    SaveIndexesUnlessLazy();
  }
}

void TGeoDB::Rollback() {
  if (!InTransaction()) Fail("Rollback", "no transaction under way.");
  FIndexesPending = false;
  try {
    FStore->Rollback();
  } catch (...) {
    AfterFailedTransaction();
    throw;
  }
  try {
    ReloadFromFiles();
  } catch (...) {
    CloseAfterFailure();
    throw;
  }
}

bool TGeoDB::BeginChange(const char* Operation) {
  RequireWritable(Operation);
  if (FStore->Active()) return false;
  FStore->SetDurability(FDurability);
  FStore->Begin(false);
  return true;
}

void TGeoDB::EndChange(bool Own) {
  if (Own) FStore->Commit();
}

void TGeoDB::FailChange(bool Own) noexcept {
  if (!FStore) return;
  if (Own) {
    try {
      FStore->Rollback();  // nothing left to do when Commit failed: it undid itself
    } catch (...) {
      // Broken: handled below.
    }
    if (FStore->Broken()) CloseAfterFailure();
    return;
  }
  // A failed batch ends the explicit transaction; other failures (a refused
  // argument, a BLOB source that cannot be read) leave it under way with at
  // most unreferenced bytes appended.
  if (!FStore->Active()) AfterFailedTransaction();
}

void TGeoDB::AfterFailedTransaction() noexcept {
  FIndexesPending = false;
  if (FStore->Broken()) {
    CloseAfterFailure();
    return;
  }
  try {
    ReloadFromFiles();
  } catch (...) {
    CloseAfterFailure();
  }
}

void TGeoDB::ReloadFromFiles() {
  const int32_t highest = FSystemData.HighestID;
  ReadItemTable();
  ReadDataHeader();
  // An ID given out in a transaction that was undone is not given out again.
  FSystemData.HighestID = std::max(FSystemData.HighestID, highest);
  for (const auto& rec : FSumData)
    FSystemData.HighestID = std::max(FSystemData.HighestID, rec.ItemId);
  RebuildIndexArrays();
}

void TGeoDB::CloseAfterFailure() noexcept {
  if (FStore) FStore->Abandon();
  ResetState();
}

void TGeoDB::RollbackOnClose() noexcept {
  if (!InTransaction()) return;
  FIndexesPending = false;
  try {
    FStore->Rollback();
    ReloadFromFiles();
  } catch (...) {
    // The journal stays; the next opening completes the rollback.
    CloseAfterFailure();
  }
}

// ---- Read-only opening --------------------------------------------------------

void TGeoDB::OpenForReading(const std::string& Base) {
  FOpenReadOnly = true;
  const gdb::TSetNames names = gdb::SetNamesOf(Base);
  const std::string gcMarker = Base + ".zylgc";
  for (int attempt = 0;; ++attempt) {
    FLock = std::make_unique<gdb::TSetLock>();
    if (FLock->Open(gdb::IndexFileName(Base, 0), false) &&
        !FLock->TryLockReading(gdb::kReaderWaitMs))
      Fail("SetDBName",
           "the database \"" + Base + "\" is being changed by another program; try again later.");
    if (!FileExists(names.Journal) && !FileExists(gcMarker)) break;
    // An interrupted change whose writer is gone (a live one would hold the
    // lock taken above while its journal exists).
    FLock.reset();
    if (attempt == 3 || !RecoverForReader(Base))
      Fail("SetDBName", "the database \"" + Base +
                            "\" holds an interrupted change that only a writer can complete "
                            "(it is open for writing elsewhere, or its files are not writable "
                            "here).");
  }
  ReadFileSet(Base);
  FReaderData = std::make_unique<gdb::TRawFile>();
  FReaderData->Open(FNameGDD, O_RDONLY);
  FinishOpening(false);
  FLock->UnlockBusy();
}

bool TGeoDB::RecoverForReader(const std::string& Base) {
  gdb::TSetLock writer;
  try {
    writer.Open(gdb::IndexFileName(Base, 0), true);
  } catch (const EInOutError&) {
    return false;
  }
  if (!writer.TryLockWriter()) return false;
  writer.LockChanging();
  gdb::TRecovery recovery;
  try {
    RecoverGarbageCollection(Base);
    recovery = gdb::RecoverJournal(gdb::SetNamesOf(Base), FDurability);
  } catch (const EInOutError&) {
    return false;
  }
  if (recovery == gdb::TRecovery::Mismatch)
    Fail("SetDBName", "the journal \"" + gdb::SetNamesOf(Base).Journal +
                          "\" cannot belong to the database beside it; nothing was changed.");
  return true;
}

}  // namespace marovia
