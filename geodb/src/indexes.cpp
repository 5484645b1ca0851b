// TGeoDB: upkeep of the five sorted indexes, their files, and the lookups
// built on them.
//
// Every index holds one entry per item, ascending by key (item ID, or a bound
// compared as a double); its `index` field is the item's entry number - 1.
// Equal keys may stand in any order among themselves. A new entry goes where
// the placing binary search puts it (TSortedIndex::Search); an item's
// entries are found again by its keys, so removing and renumbering them
// touches no other entry.
#include <algorithm>
#include <vector>

#include "file_store.h"
#include "gdb_internal.h"
#include "marovia/geodb/geodb.h"
#include "marovia/platform/files.h"
#include "marovia/platform/strutils.h"
#include "set_lock.h"

namespace marovia {

namespace {

template <class Rec>
int Closest(const TSortedIndex<Rec>& Ix, typename TSortedIndex<Rec>::Key v) {
  if (Ix.Size() == 0) return 1;
  return static_cast<int>(Ix.Search(v).Pos) + 1;
}

template <class Rec>
Rec EntryAt(const TSortedIndex<Rec>& Ix, int ix) {
  if (Ix.Size() == 0) {
    Rec r{};
    r.index = -1;
    return r;
  }
  ix = std::clamp(ix, 1, static_cast<int>(Ix.Size()));
  return Ix.At(static_cast<size_t>(ix - 1));
}

// Removes the entry of item Idx, which carries key K.
template <class Rec>
void EraseEntry(TSortedIndex<Rec>& Ix, typename TSortedIndex<Rec>::Key K, int32_t Idx) {
  const size_t at = Ix.Find(K, Idx);
  if (at != TSortedIndex<Rec>::npos) Ix.Erase(at);
}

template <class Rec>
void RenumberEntry(TSortedIndex<Rec>& Ix, typename TSortedIndex<Rec>::Key K, int32_t From,
                   int32_t To) {
  const size_t at = Ix.Find(K, From);
  if (at != TSortedIndex<Rec>::npos) Ix.SetIndexAt(at, To);
}

// The file is the byte image of the entries in order; they are gathered in
// blocks of 64 KiB so that a large index takes few writes.
//
// The file is overwritten from its start and then cut to the new length, not
// truncated to nothing first: file systems that guard replace-by-truncate
// (ext4 among them) push a file truncated to zero to the disk when it is
// closed, and the next rewrite then waits for that, which made every change
// without lazy writing cost milliseconds even for a few entries. The bytes
// written are the same. An interrupted write leaves an index file that does
// not match the item table either way; opening rebuilds such indexes.
template <class Rec>
void WriteIndexFile(const std::string& FileName, const TSortedIndex<Rec>& Ix) {
  TBinaryFile f(FileName, sizeof(Rec));
  try {
    f.Reset(TFileAccess::faReadWrite);
  } catch (const EInOutError&) {
    f.Rewrite();  // gone since opening: created anew (or the error repeats)
  }
  constexpr size_t kBlock = 8192;
  std::vector<Rec> buf;
  buf.reserve(std::min(Ix.Size(), kBlock));
  Ix.ForEachRun([&](const Rec* Run, size_t Count) {
    while (Count > 0) {
      const size_t take = std::min(Count, kBlock - buf.size());
      buf.insert(buf.end(), Run, Run + take);
      Run += take;
      Count -= take;
      if (buf.size() == kBlock) {
        f.BlockWrite(buf.data(), static_cast<int64_t>(buf.size()));
        buf.clear();
      }
    }
  });
  f.BlockWrite(buf.data(), static_cast<int64_t>(buf.size()));
  f.Truncate();
  f.CloseFile();
}

}  // namespace

void TGeoDB::SortIxItemIDInto(TItemIDIndex& Ix, TIxItemIDRec Rec) {
  Ix.SortInto(Rec);
}

void TGeoDB::SortIxInto(TBoundIndex& Ix, TIxLLRec Rec) {
  Ix.SortInto(Rec);
}

void TGeoDB::InsertIntoIndex(int DbEntry, const TgdbData& GdbData) {
  const int32_t idx = DbEntry - 1;
  SortIxItemIDInto(FIx0ItemId, TIxItemIDRec{GdbData.ItemId, idx});
  SortIxInto(FIx1LatLo, TIxLLRec{GdbData.LatLow, idx});
  SortIxInto(FIx2LatHi, TIxLLRec{GdbData.LatHigh, idx});
  SortIxInto(FIx3LongLo, TIxLLRec{GdbData.LongLow, idx});
  SortIxInto(FIx4LongHi, TIxLLRec{GdbData.LongHigh, idx});
  NoteExtent(GdbData);
}

void TGeoDB::RemoveIndexEntries(int DbEntry) {
  const int32_t idx = DbEntry - 1;
  const TgdbData& rec = FSumData[static_cast<size_t>(idx)];
  EraseEntry(FIx0ItemId, rec.ItemId, idx);
  for (int i = 1; i <= 4; ++i) EraseEntry(BoundIndex(i), gdb::BoundOf(rec, i), idx);
}

void TGeoDB::RenumberIndexEntries(const TgdbData& Moved, int From, int To) {
  RenumberEntry(FIx0ItemId, Moved.ItemId, From - 1, To - 1);
  for (int i = 1; i <= 4; ++i)
    RenumberEntry(BoundIndex(i), gdb::BoundOf(Moved, i), From - 1, To - 1);
}

void TGeoDB::SaveIndex(int Index) {
  if (Index < 0 || Index > 4)
    Fail("SaveIndex", std::string("index number ") + IntToStr(Index) + " outside 0..4.");
  SaveIndexes(Index, Index);
}

// Index files are rewritten in place and then cut to their new length: a
// reader in another process that took a file's length before the cut would
// read past its end. Readers wait meanwhile, as for any change in place.
// Inside a transaction the files follow the item table at commit.
void TGeoDB::SaveIndexes(int First, int Last) {
  if (FNameIX[0].empty() || FOpenReadOnly) return;
  if (InTransaction()) {
    FIndexesPending = true;
    return;
  }
  gdb::TSetLock* lock =
      FLock && FLock->IsOpen() && !(FStore && FStore->Active()) ? FLock.get() : nullptr;
  if (lock) lock->LockChanging();
  try {
    for (int i = First; i <= Last; ++i) {
      if (i == 0)
        WriteIndexFile(FNameIX[0], FIx0ItemId);
      else
        WriteIndexFile(FNameIX[static_cast<size_t>(i)], BoundIndex(i));
    }
  } catch (...) {
    if (lock) lock->UnlockBusyQuietly();
    throw;
  }
  if (lock) lock->UnlockBusy();
}

int TGeoDB::SearchForItemID(int32_t ItemID) const {
  const auto r = FIx0ItemId.Search(ItemID);
  return r.Found ? FIx0ItemId.At(r.Pos).index + 1 : 0;
}

int TGeoDB::GetClosestItemIDIx(int32_t ItemID) const {
  return Closest(FIx0ItemId, ItemID);
}
int TGeoDB::GetClosestLatLowIx(double Latit) const {
  return Closest(FIx1LatLo, Latit);
}
int TGeoDB::GetClosestLatHighIx(double Latit) const {
  return Closest(FIx2LatHi, Latit);
}
int TGeoDB::GetClosestLongLowIx(double Longit) const {
  return Closest(FIx3LongLo, Longit);
}
int TGeoDB::GetClosestLongHighIx(double Longit) const {
  return Closest(FIx4LongHi, Longit);
}

TIxItemIDRec TGeoDB::GetIxItemID(int ix) const {
  return EntryAt(FIx0ItemId, ix);
}
TIxLLRec TGeoDB::GetIxLatLow(int ix) const {
  return EntryAt(FIx1LatLo, ix);
}
TIxLLRec TGeoDB::GetIxLatHigh(int ix) const {
  return EntryAt(FIx2LatHi, ix);
}
TIxLLRec TGeoDB::GetIxLongLow(int ix) const {
  return EntryAt(FIx3LongLo, ix);
}
TIxLLRec TGeoDB::GetIxLongHigh(int ix) const {
  return EntryAt(FIx4LongHi, ix);
}

int TGeoDB::SearchData(const std::string& Name, TgdbItem ItemType, int StartSearchAt,
                       uint8_t ClassNumber) const {
  TgdbName wanted{};
  wanted.SetText(Name, gdbNameMaxChars);
  for (int e = std::max(StartSearchAt, 1); e <= FNumSumItems; ++e) {
    const TgdbData& rec = FSumData[static_cast<size_t>(e - 1)];
    if (rec.ItemKind == ItemType && rec.ClassFlag == ClassNumber &&
        rec.Name.View() == wanted.View())
      return e;
  }
  return 0;
}

int TGeoDB::SearchData(const std::string& Name) const {
  TgdbName wanted{};
  wanted.SetText(Name, gdbNameMaxChars);
  for (int e = 1; e <= FNumSumItems; ++e)
    if (FSumData[static_cast<size_t>(e - 1)].Name.View() == wanted.View()) return e;
  return 0;
}

}  // namespace marovia
