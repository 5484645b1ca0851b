// TGeoDB: rebuilding the indexes from the item records, and the check made
// on opening that the index files describe the item table exactly.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

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

float BoundOf(const TgdbData& r, int Index) {
  switch (Index) {
    case 1:
      return r.LatLow;
    case 2:
      return r.LatHigh;
    case 3:
      return r.LongLow;
    default:
      return r.LongHigh;
  }
}

}  // namespace

void TGeoDB::RebuildIndexArrays() {
  const size_t n = FSumData.size();
  FMaxLatExtent = FMaxLongExtent = 0;
  for (const auto& rec : FSumData) NoteExtent(rec);
  FIx0ItemId.resize(n);
  for (size_t i = 0; i < n; ++i)
    FIx0ItemId[i] = TIxItemIDRec{FSumData[i].ItemId, static_cast<int32_t>(i)};
  std::sort(FIx0ItemId.begin(), FIx0ItemId.end(), [](const TIxItemIDRec& a, const TIxItemIDRec& b) {
    return a.ItemID != b.ItemID ? a.ItemID < b.ItemID : a.index < b.index;
  });
  for (int ixNo = 1; ixNo <= 4; ++ixNo) {
    auto& ix = BoundIndex(ixNo);
    ix.resize(n);
    for (size_t i = 0; i < n; ++i)
      ix[i] = TIxLLRec{BoundOf(FSumData[i], ixNo), static_cast<int32_t>(i)};
    std::sort(ix.begin(), ix.end(), BoundLess);
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

  if (FIx0ItemId.size() != n) return false;
  for (size_t p = 0; p < n; ++p) {
    const auto& e = FIx0ItemId[p];
    if (!covers(e.index) || FSumData[static_cast<size_t>(e.index)].ItemId != e.ItemID) return false;
    if (p > 0 && FIx0ItemId[p - 1].ItemID > e.ItemID) return false;
  }
  for (int ixNo = 1; ixNo <= 4; ++ixNo) {
    const auto& ix = BoundIndex(ixNo);
    if (ix.size() != n) return false;
    std::fill(seen.begin(), seen.end(), 0);
    for (size_t p = 0; p < n; ++p) {
      const auto& e = ix[p];
      if (!covers(e.index) ||
          !SameFloat(BoundOf(FSumData[static_cast<size_t>(e.index)], ixNo), e.LLValue))
        return false;
      if (p > 0 && static_cast<double>(ix[p - 1].LLValue) > static_cast<double>(e.LLValue))
        return false;
    }
  }
  return true;
}

}  // namespace marovia
