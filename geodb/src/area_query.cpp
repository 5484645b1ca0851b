// TGeoDB: which items meet a latitude/longitude rectangle.
//
// An item's box [LatLow, LatHigh] x [LongLow, LongHigh] meets the rectangle
// [s, n] x [w, e] exactly when
//   LatLow <= n,  LatHigh >= s,  LongLow <= e,  LongHigh >= w.
// Each condition selects a prefix (LatLow, LongLow indexes) or a suffix
// (LatHigh, LongHigh indexes) of one sorted bound index, found by binary
// search. The shortest of the four ranges is scanned and its candidates are
// tested against the item records.
#include <algorithm>
#include <cmath>

#include "marovia/geodb/geodb.h"

namespace marovia {

namespace {

// Number of entries with key <= v (keys ascending as doubles).
size_t CountAtMost(const TIxLLRecArray& Ix, double v) {
  return static_cast<size_t>(std::upper_bound(Ix.begin(), Ix.end(), v,
                                              [](double x, const TIxLLRec& r) {
                                                return x < static_cast<double>(r.LLValue);
                                              }) -
                             Ix.begin());
}

// Position of the first entry with key >= v.
size_t FirstAtLeast(const TIxLLRecArray& Ix, double v) {
  return static_cast<size_t>(std::lower_bound(Ix.begin(), Ix.end(), v,
                                              [](const TIxLLRec& r, double x) {
                                                return static_cast<double>(r.LLValue) < x;
                                              }) -
                             Ix.begin());
}

bool Meets(const TgdbData& r, double s, double n, double w, double e) {
  return r.LatLow <= n && r.LatHigh >= s && r.LongLow <= e && r.LongHigh >= w &&
         r.LatLow <= r.LatHigh && r.LongLow <= r.LongHigh;
}

}  // namespace

std::vector<int> TGeoDB::FindItemsInArea(double LatLow, double LatHigh, double LongLow,
                                         double LongHigh) const {
  std::vector<int> found;
  if (FNumSumItems == 0 || !(LatLow <= LatHigh) || std::isnan(LongLow) || std::isnan(LongHigh))
    return found;

  // A rectangle across the 180° meridian is the union of its two halves.
  if (LongLow > LongHigh) {
    found = FindItemsInArea(LatLow, LatHigh, LongLow, 180.0);
    const auto west = FindItemsInArea(LatLow, LatHigh, -180.0, LongHigh);
    std::vector<int> all;
    all.reserve(found.size() + west.size());
    std::set_union(found.begin(), found.end(), west.begin(), west.end(), std::back_inserter(all));
    return all;
  }

  struct TRange {
    const TIxLLRecArray* Ix;
    size_t Begin, End;
  };
  const TRange ranges[] = {
      {&FIx1LatLo, 0, CountAtMost(FIx1LatLo, LatHigh)},
      {&FIx2LatHi, FirstAtLeast(FIx2LatHi, LatLow), FIx2LatHi.size()},
      {&FIx3LongLo, 0, CountAtMost(FIx3LongLo, LongHigh)},
      {&FIx4LongHi, FirstAtLeast(FIx4LongHi, LongLow), FIx4LongHi.size()},
  };
  const TRange& best = *std::min_element(
      std::begin(ranges), std::end(ranges),
      [](const TRange& a, const TRange& b) { return a.End - a.Begin < b.End - b.Begin; });

  for (size_t p = best.Begin; p < best.End; ++p) {
    const int32_t idx = (*best.Ix)[p].index;
    if (idx < 0 || idx >= FNumSumItems) continue;
    if (Meets(FSumData[static_cast<size_t>(idx)], LatLow, LatHigh, LongLow, LongHigh))
      found.push_back(idx + 1);
  }
  std::sort(found.begin(), found.end());
  return found;
}

}  // namespace marovia
