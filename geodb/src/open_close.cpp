// TGeoDB: construction, opening (for writing), creating and closing the file
// set, the header properties, lazy writing and progress reporting.
#include <algorithm>
#include <cstring>
#include <filesystem>

#include "file_store.h"
#include "gdb_internal.h"
#include "journal.h"
#include "marovia/geodb/geodb.h"
#include "marovia/platform/files.h"
#include "marovia/platform/strutils.h"
#include "marovia/platform/sysutils.h"
#include "marovia/zylbase/stringl.h"
#include "set_lock.h"

namespace marovia {

namespace gdb {

bool EnsureFileExists(TBinaryFile& File) {
  try {
    File.Reset(TFileAccess::faReadOnly);
    File.CloseFile();
    return false;
  } catch (const EInOutError&) {
    if (FileExists(File.FileName())) throw;
  }
  File.Rewrite();
  File.CloseFile();
  return true;
}

int Percent(double Done, double Total) {
  if (!(Total > 0)) return 100;
  const double p = std::clamp(Done / Total * 100.0, 0.0, 100.0);
  return static_cast<int>(Round(p));
}

}  // namespace gdb

namespace {

TgdbSystemData FreshHeader() {
  TgdbSystemData h{};
  h.HighestID = 0;
  h.DBVersion = gdbCurrentVersion;
  h.Description.SetBytes({});
  h.Revision = 0;
  return h;
}

}  // namespace

TGeoDB::TGeoDB(TComponent* AOwner) : TComponent(AOwner), FSystemData(FreshHeader()) {}

TGeoDB::~TGeoDB() {
  RollbackOnClose();
  FNumSumItems = 0;
  if (FLazyWrite) {
    try {
      SaveAllIndexes();
    } catch (...) {
      // Nothing can be reported from a destructor.
    }
  }
}

std::string TGeoDB::ErrorPrefix() const {
  return "Component \"" + Name() + "\": ";
}

void TGeoDB::Fail(const std::string& Operation, const std::string& Text) const {
  throw EZYLGeoDBError(ErrorPrefix() + Operation + ": " + Text);
}

void TGeoDB::ReportProgress(int Percent) {
  if (OnPercentDone && FOnPercDoneEnabled) OnPercentDone(this, Percent);
}

std::string TGeoDB::GetGDBName() const {
  return FNameGDS.empty() ? std::string() : StripExtension(FNameGDS);
}

void TGeoDB::SaveAllIndexes() {
  SaveIndexes(0, 4);
}

void TGeoDB::SaveIndexesUnlessLazy() {
  if (!FLazyWrite) SaveAllIndexes();
}

void TGeoDB::SetLazyWrite(bool Value) {
  if (Value == FLazyWrite) return;
  FLazyWrite = Value;
  if (!Value) SaveAllIndexes();
}

void TGeoDB::ResetState() {
  FStore.reset();  // before the lock it refers to
  FLock.reset();
  FOpenReadOnly = false;
  FIndexesPending = false;
  FReaderData.reset();
  FSystemData = FreshHeader();
  FMaxLatExtent = FMaxLongExtent = 0;
  FNameGDS.clear();
  FNameGDD.clear();
  for (auto& n : FNameIX) n.clear();
  FNumSumItems = 0;
  FSumData.clear();
  FSumData.shrink_to_fit();
  ++FChanges;
  FIx0ItemId.Clear();
  for (int i = 1; i <= 4; ++i) BoundIndex(i).Clear();
}

void TGeoDB::CloseDatabase() {
  RollbackOnClose();
  if (FLazyWrite) SaveAllIndexes();
  FLazyWrite = false;
  ResetState();
}

TBoundIndex& TGeoDB::BoundIndex(int Index) {
  switch (Index) {
    case 1:
      return FIx1LatLo;
    case 2:
      return FIx2LatHi;
    case 3:
      return FIx3LongLo;
    default:
      return FIx4LongHi;
  }
}

const TBoundIndex& TGeoDB::BoundIndex(int Index) const {
  return const_cast<TGeoDB*>(this)->BoundIndex(Index);
}

// Reads index file Index whole into its index (8-byte records in file
// order; a trailing partial record is ignored).
void TGeoDB::OpenIndexFile(int Index) {
  TBinaryFile f(FNameIX[Index], 8);
  if (!FOpenReadOnly) {
    gdb::EnsureFileExists(f);
  } else if (!FileExists(FNameIX[Index])) {
    // Read-only: a missing index is rebuilt in memory.
    if (Index == 0)
      FIx0ItemId.Clear();
    else
      BoundIndex(Index).Clear();
    return;
  }
  f.Reset(TFileAccess::faReadOnly);
  const int64_t n = f.FileSize();
  // The index can never be longer than the item table can be; a larger
  // count is damage, and the arrays are rebuilt from the item table anyway.
  const int64_t count = std::min<int64_t>(n, INT32_MAX);
  if (Index == 0) {
    TIxItemIDRecArray entries(static_cast<size_t>(count));
    f.BlockRead(entries.data(), count);
    FIx0ItemId.Assign(entries);
  } else {
    TIxLLRecArray entries(static_cast<size_t>(count));
    f.BlockRead(entries.data(), count);
    BoundIndex(Index).Assign(entries);
  }
  f.CloseFile();
}

void TGeoDB::OpenItemTable() {
  TBinaryFile f(FNameGDS, sizeof(TgdbData));
  if (!FOpenReadOnly) gdb::EnsureFileExists(f);
  ReadItemTable();
}

// Whole records only: an addition cut short leaves part of one at the end,
// which the next addition overwrites.
void TGeoDB::ReadItemTable() {
  TBinaryFile f(FNameGDS, sizeof(TgdbData));
  f.Reset(TFileAccess::faReadOnly);
  const int64_t n = f.FileSize();
  if (n > INT32_MAX) throw EInOutError(FNameGDS, "item table too large");
  FSumData.assign(static_cast<size_t>(n), TgdbData{});
  ++FChanges;  // before the read: a read that fails leaves a part
  f.BlockRead(FSumData.data(), n);
  f.CloseFile();
  FNumSumItems = static_cast<int>(FSumData.size());
}

void TGeoDB::ReadDataHeader() {
  TBinaryFile f(FNameGDD, 1);
  f.Reset(TFileAccess::faReadOnly);
  if (f.FileSize() < static_cast<int64_t>(sizeof FSystemData))
    throw EInOutError(FNameGDD, "data file shorter than its header");
  f.BlockRead(&FSystemData, sizeof FSystemData);
  f.CloseFile();
}

void TGeoDB::OpenDataFile(const std::string& FileName) {
  TBinaryFile f(FileName, 1);
  if (FOpenReadOnly) {
    f.Reset(TFileAccess::faReadOnly);
    const int64_t size = f.FileSize();
    if (size > 0 && size < static_cast<int64_t>(sizeof FSystemData))
      throw EInOutError(FileName, "data file shorter than its header");
    if (size > 0) f.BlockRead(&FSystemData, sizeof FSystemData);
    f.CloseFile();
    return;
  }
  const bool created = gdb::EnsureFileExists(f);
  f.Reset(TFileAccess::faReadOnly);
  const int64_t size = f.FileSize();
  f.CloseFile();
  // An empty data file holds nothing yet (its creation may have been cut
  // short before the header was written): it gets a fresh header. One
  // shorter than the header is damaged and left alone.
  if (created || size == 0) {
    f.Reset(TFileAccess::faReadWrite);
    f.BlockWrite(&FSystemData, sizeof FSystemData);
  } else {
    if (size < static_cast<int64_t>(sizeof FSystemData))
      throw EInOutError(FileName, "data file shorter than its header");
    f.Reset(TFileAccess::faReadOnly);
    f.BlockRead(&FSystemData, sizeof FSystemData);
  }
  f.CloseFile();
}

void TGeoDB::SetGDBName(const std::string& Value) {
  if (Value.empty()) {
    CloseDatabase();
    return;
  }
  RollbackOnClose();
  // Pending index changes belong to the database open now: write them before
  // it is replaced.
  if (FLazyWrite) SaveAllIndexes();
  // Forget the old file set first. Should opening fail half-way, everything
  // is forgotten again, so no mixture of two databases (or an index array
  // that could not be read) is ever taken for an open database and written
  // back.
  ResetState();
  try {
    OpenFileSet(StripExtension(Value));
  } catch (...) {
    ResetState();
    throw;
  }
}

void TGeoDB::OpenFileSet(const std::string& Base) {
  if (FReadOnly)
    OpenForReading(Base);
  else
    OpenForWriting(Base);
}

void TGeoDB::OpenForWriting(const std::string& Base) {
  FLock = std::make_unique<gdb::TSetLock>();
  FLock->Open(gdb::IndexFileName(Base, 0), true);
  if (!FLock->TryLockWriter())
    Fail("SetDBName", "the database \"" + Base +
                          "\" is open for writing elsewhere (in another program or component).");
  // Recovery changes the files: readers wait meanwhile.
  FLock->LockChanging();
  RecoverGarbageCollection(Base);
  const gdb::TSetNames names = gdb::SetNamesOf(Base);
  const gdb::TRecovery recovery = gdb::RecoverJournal(names, FDurability);
  if (recovery == gdb::TRecovery::Mismatch)
    Fail("SetDBName", "the journal \"" + names.Journal +
                          "\" cannot belong to the database beside it (it lacks bytes the "
                          "files lack); nothing was changed. Move it away to open the files as "
                          "they are.");
  FLock->UnlockBusy();

  ReadFileSet(Base);
  FStore = std::make_unique<gdb::TFileStore>(names, *FLock);
  FStore->SetDurability(FDurability);
  FinishOpening(recovery == gdb::TRecovery::RolledBack);
}

void TGeoDB::ReadFileSet(const std::string& Base) {
  for (int i : {1, 2, 3, 4, 0}) {
    FNameIX[i] = gdb::IndexFileName(Base, i);
    OpenIndexFile(i);
  }
  FNameGDS = gdb::TableFileName(Base);
  OpenItemTable();
  // A data file created next to an existing item table gets a fresh header,
  // never that of a database open before.
  FSystemData = FreshHeader();
  const std::string gdd = gdb::DataFileName(Base);
  OpenDataFile(gdd);
  FNameGDD = gdd;
}

void TGeoDB::FinishOpening(bool RolledBack) {
  RepairInterruptedDeletion();

  // IDs are never reused: a header that lags behind the items (a lost or
  // recreated data file) is raised to the highest ID present.
  for (const auto& rec : FSumData) {
    FSystemData.HighestID = std::max(FSystemData.HighestID, rec.ItemId);
    NoteExtent(rec);
  }

  // Index files that do not describe the item table exactly (other counts,
  // entries outside it, wrong keys or order) are rebuilt from the items;
  // after a rollback they are written even with lazy writing on, so that
  // programs that take the index files as they are find them right.
  if (!IndexesConsistent()) {
    RebuildIndexArrays();
    if (!FLazyWrite || RolledBack) {
      SaveIndexes(0, 4);
    }
  }
}

void TGeoDB::RepairInterruptedDeletion() {
  const int twin = gdb::FindInterruptedDeletion(FSumData);
  if (twin < 0) return;
  const TgdbData last = FSumData.back();
  const int64_t kept = static_cast<int64_t>(FSumData.size()) - 1;
  if (!FOpenReadOnly) {
    const bool own = BeginChange("SetDBName");
    try {
      FStore->Write(gdb::kTable, twin * static_cast<int64_t>(sizeof last), &last, sizeof last);
      FStore->Truncate(gdb::kTable, kept * static_cast<int64_t>(sizeof last));
      EndChange(own);
    } catch (...) {
      FailChange(own);
      throw;
    }
  }
  FSumData[static_cast<size_t>(twin)] = last;
  FSumData.pop_back();
  ++FChanges;
  FNumSumItems = static_cast<int>(kept);
}

bool TGeoDB::IsFileOfSet(const std::string& FileName) const {
  if (!IsOpen() || FileName.empty()) return false;
  auto same = [&](const std::string& member) {
    std::error_code ec;  // a file that does not exist is none of the set
    return std::filesystem::equivalent(FileName, member, ec) && !ec;
  };
  if (same(FNameGDS) || same(FNameGDD) || same(StripExtension(FNameGDS) + ".zylgj")) return true;
  for (const auto& n : FNameIX)
    if (same(n)) return true;
  return false;
}

std::string TGeoDB::GetDescription() const {
  return FSystemData.Description.Text();
}

void TGeoDB::WriteHeader(const char* Operation) {
  try {
    FStore->Write(gdb::kData, 0, &FSystemData, sizeof FSystemData);
  } catch (const EInOutError&) {
    Fail(Operation, "cannot open database.");
  }
}

// The header alone, as one change; any file error is the header's.
void TGeoDB::ChangeHeader(const char* Operation) {
  const bool own = BeginChange(Operation);
  try {
    WriteHeader(Operation);
    try {
      EndChange(own);
    } catch (const EInOutError&) {
      Fail(Operation, "cannot open database.");
    }
  } catch (...) {
    FailChange(own);
    throw;
  }
}

void TGeoDB::SetDescription(const std::string& Value) {
  if (!IsOpen()) return;
  RequireWritable("SetDescription");
  FSystemData.Description.SetText(Value, gdbDescriptionMaxChars);
  ChangeHeader("SetDescription");
}

void TGeoDB::SetRevision(int32_t Value) {
  if (!IsOpen()) return;
  RequireWritable("SetRevision");
  FSystemData.Revision = Value;
  ChangeHeader("SetRevision");
}

TgdbData TGeoDB::GetSumdata(int i) const {
  if (FNumSumItems == 0) {
    TgdbData rec{};
    rec.Name.SetBytes({}, gdbNameMaxChars, ' ');
    rec.BlobOffset = -1;
    rec.ItemKind = gitUndefined;
    return rec;
  }
  i = std::clamp(i, 1, FNumSumItems);
  return FSumData[static_cast<size_t>(i - 1)];
}

}  // namespace marovia
