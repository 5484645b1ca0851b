// TGeoDB: upkeep of the five sorted indexes, their files, and the lookups
// built on them.
//
// Every index holds one entry per item, ascending by key (item ID, or a bound
// compared as a double); its `index` field is the item's entry number - 1.
// Equal keys may stand in any order among themselves.
#include <algorithm>
#include <cstring>

#include "gdb_internal.h"
#include "marovia/geodb/geodb.h"
#include "marovia/platform/files.h"
#include "marovia/platform/strutils.h"

namespace marovia {

namespace {

int64_t KeyOf(const TIxItemIDRec& r) {
  return r.ItemID;
}
double KeyOf(const TIxLLRec& r) {
  return static_cast<double>(r.LLValue);
}

struct TSearchResult {
  int Pos;     // position met; one further when the key there is smaller than v
  bool Found;  // an entry with key v was met (at Pos)
};

// Binary search over entries 0..n-1 that stops at the first equal key it
// meets. Insertion and the closest-position lookups share it, so that an
// equal key is always placed directly before the entry the search met.
template <class Rec, class V>
TSearchResult SearchIndex(const std::vector<Rec>& Ix, int n, V v) {
  int lo = 0, hi = n - 1, pos = 0;
  bool found = false;
  if (hi >= 0) {
    while (lo <= hi && !found) {
      pos = (lo + hi) / 2;
      const V key = KeyOf(Ix[static_cast<size_t>(pos)]);
      if (v > key)
        lo = pos + 1;
      else if (key == v)
        found = true;
      else
        hi = pos - 1;
    }
    if (v > KeyOf(Ix[static_cast<size_t>(pos)])) ++pos;
  }
  return {pos, found};
}

// Inserts Rec into an array whose last slot is free.
template <class Rec>
void SortInto(std::vector<Rec>& Ix, Rec R) {
  if (Ix.empty()) return;  // no free slot: caller error, nothing to do
  const int n = static_cast<int>(Ix.size()) - 1;
  const int pos = SearchIndex(Ix, n, KeyOf(R)).Pos;
  std::memmove(Ix.data() + pos + 1, Ix.data() + pos, sizeof(Rec) * static_cast<size_t>(n - pos));
  Ix[static_cast<size_t>(pos)] = R;
}

// Removes the first entry with index Idx among positions 0..n-1 by moving
// the following entries down.
template <class Rec>
void RemoveFrom(std::vector<Rec>& Ix, int n, int32_t Idx) {
  n = std::min(n, static_cast<int>(Ix.size()));
  for (int p = 0; p < n; ++p) {
    if (Ix[static_cast<size_t>(p)].index == Idx) {
      std::memmove(Ix.data() + p, Ix.data() + p + 1, sizeof(Rec) * static_cast<size_t>(n - p - 1));
      return;
    }
  }
}

template <class Rec>
int Closest(const std::vector<Rec>& Ix, decltype(KeyOf(Rec{})) v) {
  if (Ix.empty()) return 1;
  return SearchIndex(Ix, static_cast<int>(Ix.size()), v).Pos + 1;
}

template <class Rec>
Rec EntryAt(const std::vector<Rec>& Ix, int ix) {
  if (Ix.empty()) {
    Rec r{};
    r.index = -1;
    return r;
  }
  ix = std::clamp(ix, 1, static_cast<int>(Ix.size()));
  return Ix[static_cast<size_t>(ix - 1)];
}

template <class Rec>
void WriteIndexFile(const std::string& FileName, const std::vector<Rec>& Ix) {
  TBinaryFile f(FileName, sizeof(Rec));
  f.Rewrite();
  f.BlockWrite(Ix.data(), static_cast<int64_t>(Ix.size()));
  f.CloseFile();
}

}  // namespace

void TGeoDB::SortIxItemIDInto(TIxItemIDRecArray& Ix, TIxItemIDRec Rec) {
  SortInto(Ix, Rec);
}

void TGeoDB::SortIxInto(TIxLLRecArray& Ix, TIxLLRec Rec) {
  SortInto(Ix, Rec);
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
  RemoveFrom(FIx0ItemId, FNumSumItems, idx);
  for (int i = 1; i <= 4; ++i) RemoveFrom(BoundIndex(i), FNumSumItems, idx);
}

void TGeoDB::SaveIndex(int Index) {
  if (Index < 0 || Index > 4)
    Fail("SaveIndex", std::string("index number ") + IntToStr(Index) + " outside 0..4.");
  if (FNameIX[0].empty()) return;
  if (Index == 0)
    WriteIndexFile(FNameIX[0], FIx0ItemId);
  else
    WriteIndexFile(FNameIX[static_cast<size_t>(Index)], BoundIndex(Index));
}

int TGeoDB::SearchForItemID(int32_t ItemID) const {
  const auto r =
      SearchIndex(FIx0ItemId, static_cast<int>(FIx0ItemId.size()), static_cast<int64_t>(ItemID));
  return r.Found ? FIx0ItemId[static_cast<size_t>(r.Pos)].index + 1 : 0;
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
