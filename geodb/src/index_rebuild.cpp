// TGeoDB: rebuilding the indexes from the item records, and the check made
// on opening that the index files describe the item table exactly.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "gdb_internal.h"
#include "marovia/geodb/geodb.h"

namespace marovia {

namespace {

// Order of bound keys for sorting: ascending as doubles, NaN last (a NaN
// would otherwise break the strict weak ordering std::sort requires); equal
// keys by entry.
bool BoundLess(const TIxLLRec& a, const TIxLLRec& b) {
  const bool an = std::isnan(a.LLValue), bn = std::isnan(b.LLValue);
  if (an != bn) return bn;
  if (!an && a.LLValue != b.LLValue) return a.LLValue < b.LLValue;
  return a.index < b.index;
}

bool SameFloat(float a, float b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace

void TGeoDB::RebuildIndexArrays() {
  const size_t n = FSumData.size();
  FMaxLatExtent = FMaxLongExtent = 0;
  for (const auto& rec : FSumData) NoteExtent(rec);
  TIxItemIDRecArray ids(n);
  for (size_t i = 0; i < n; ++i) ids[i] = TIxItemIDRec{FSumData[i].ItemId, static_cast<int32_t>(i)};
  std::sort(ids.begin(), ids.end(), [](const TIxItemIDRec& a, const TIxItemIDRec& b) {
    return a.ItemID != b.ItemID ? a.ItemID < b.ItemID : a.index < b.index;
  });
  FIx0ItemId.Assign(ids);
  TIxLLRecArray bounds(n);
  for (int ixNo = 1; ixNo <= 4; ++ixNo) {
    for (size_t i = 0; i < n; ++i)
      bounds[i] = TIxLLRec{gdb::BoundOf(FSumData[i], ixNo), static_cast<int32_t>(i)};
    std::sort(bounds.begin(), bounds.end(), BoundLess);
    BoundIndex(ixNo).Assign(bounds);
  }
}

void TGeoDB::RecalcIndexes() {
  FNumSumItems = static_cast<int>(FSumData.size());
  RebuildIndexArrays();
  SaveIndexesUnlessLazy();
}

// True when every index holds exactly one entry per item, each carrying the
// item's own key, in ascending key order. Linear time.
bool TGeoDB::IndexesConsistent() const {
  const size_t n = static_cast<size_t>(FNumSumItems);
  std::vector<uint8_t> seen(n);
  auto covers = [&](int32_t idx) {
    if (idx < 0 || static_cast<size_t>(idx) >= n || seen[static_cast<size_t>(idx)]) return false;
    seen[static_cast<size_t>(idx)] = 1;
    return true;
  };

  if (FIx0ItemId.Size() != n) return false;
  int64_t prevId = INT64_MIN;
  const bool idsOk = FIx0ItemId.ForEach(0, n, [&](size_t, const TIxItemIDRec& e) {
    if (!covers(e.index) || FSumData[static_cast<size_t>(e.index)].ItemId != e.ItemID) return false;
    if (prevId > e.ItemID) return false;
    prevId = e.ItemID;
    return true;
  }) == n;
  if (!idsOk) return false;
  for (int ixNo = 1; ixNo <= 4; ++ixNo) {
    const auto& ix = BoundIndex(ixNo);
    if (ix.Size() != n) return false;
    std::fill(seen.begin(), seen.end(), 0);
    const TIxLLRec* prev = nullptr;
    const bool ok = ix.ForEach(0, n, [&](size_t, const TIxLLRec& e) {
      if (!covers(e.index) ||
          !SameFloat(gdb::BoundOf(FSumData[static_cast<size_t>(e.index)], ixNo), e.LLValue))
        return false;
      if (prev && static_cast<double>(prev->LLValue) > static_cast<double>(e.LLValue)) return false;
      prev = &e;
      return true;
    }) == n;
    if (!ok) return false;
  }
  return true;
}

}  // namespace marovia
