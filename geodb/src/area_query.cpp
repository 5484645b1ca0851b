// TGeoDB: which items meet a latitude/longitude rectangle.
//
// An item's box [LatLow, LatHigh] x [LongLow, LongHigh] meets the rectangle
// [s, n] x [w, e] exactly when
//   LatLow <= n,  LatHigh >= s,  LongLow <= e,  LongHigh >= w.
// No item is taller than FMaxLatExtent or wider than FMaxLongExtent (upper
// bounds kept as items come and go), so a meeting item also has
//   s - FMaxLatExtent <= LatLow <= n,   s <= LatHigh <= n + FMaxLatExtent
// and the same for longitudes: each bound index yields one contiguous range
// of candidates by two binary searches. The shortest of the four ranges is
// scanned and its candidates are tested against the item records.
#include <algorithm>
#include <cmath>
#include <limits>

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

void TGeoDB::NoteExtent(const TgdbData& Rec) {
  // Inverted boxes (items without points) and NaN bounds add no extent. The
  // difference of two singles need not be exact in a double (-100 and 1e-8
  // span more bits than it has); rounded down, it would let the query's
  // bands miss an item that touches the rectangle, so it is kept rounded up.
  const double inf = std::numeric_limits<double>::infinity();
  const double h = std::nextafter(static_cast<double>(Rec.LatHigh) - Rec.LatLow, inf);
  const double w = std::nextafter(static_cast<double>(Rec.LongHigh) - Rec.LongLow, inf);
  if (h > FMaxLatExtent) FMaxLatExtent = h;
  if (w > FMaxLongExtent) FMaxLongExtent = w;
}

std::vector<int> TGeoDB::FindItemsInArea(double LatLow, double LatHigh, double LongLow,
                                         double LongHigh) const {
  std::vector<int> found;
  if (FNumSumItems == 0 || !(LatLow <= LatHigh) || std::isnan(LongLow) || std::isnan(LongHigh))
    return found;

  // A rectangle across the 180° meridian is the union of its two halves.
  if (LongLow > LongHigh) {
    // Each half is called with its edges in order, so this never recurses
    // further; a western edge east of 180° leaves only the western half.
    if (LongLow <= 180.0) found = FindItemsInArea(LatLow, LatHigh, LongLow, 180.0);
    std::vector<int> west;
    if (LongHigh >= -180.0) west = FindItemsInArea(LatLow, LatHigh, -180.0, LongHigh);
    std::vector<int> all;
    all.reserve(found.size() + west.size());
    std::set_union(found.begin(), found.end(), west.begin(), west.end(), std::back_inserter(all));
    return all;
  }

  struct TRange {
    const TIxLLRecArray* Ix;
    size_t Begin, End;
  };
  // One step outward covers the rounding of the subtraction and addition.
  const double inf = std::numeric_limits<double>::infinity();
  const double latLoFrom = std::nextafter(LatLow - FMaxLatExtent, -inf);
  const double latHiTo = std::nextafter(LatHigh + FMaxLatExtent, inf);
  const double longLoFrom = std::nextafter(LongLow - FMaxLongExtent, -inf);
  const double longHiTo = std::nextafter(LongHigh + FMaxLongExtent, inf);
  const TRange ranges[] = {
      {&FIx1LatLo, FirstAtLeast(FIx1LatLo, latLoFrom), CountAtMost(FIx1LatLo, LatHigh)},
      {&FIx2LatHi, FirstAtLeast(FIx2LatHi, LatLow), CountAtMost(FIx2LatHi, latHiTo)},
      {&FIx3LongLo, FirstAtLeast(FIx3LongLo, longLoFrom), CountAtMost(FIx3LongLo, LongHigh)},
      {&FIx4LongHi, FirstAtLeast(FIx4LongHi, LongLow), CountAtMost(FIx4LongHi, longHiTo)},
  };
  auto length = [](const TRange& r) { return r.End > r.Begin ? r.End - r.Begin : 0; };
  const TRange& best =
      *std::min_element(std::begin(ranges), std::end(ranges),
                        [&](const TRange& a, const TRange& b) { return length(a) < length(b); });

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
