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
// scanned and its candidates are tested against the item records. An index
// that is not in order (it holds a NaN bound) yields no range; with none
// left, every item is tested.
#include <algorithm>
#include <cmath>
#include <limits>

#include "marovia/geodb/geodb.h"

namespace marovia {

namespace {

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
    const TBoundIndex* Ix;
    size_t Begin, End;
  };
  // One step outward covers the rounding of the subtraction and addition.
  const double inf = std::numeric_limits<double>::infinity();
  const double latLoFrom = std::nextafter(LatLow - FMaxLatExtent, -inf);
  const double latHiTo = std::nextafter(LatHigh + FMaxLatExtent, inf);
  const double longLoFrom = std::nextafter(LongLow - FMaxLongExtent, -inf);
  const double longHiTo = std::nextafter(LongHigh + FMaxLongExtent, inf);
  // Keys from FirstAtLeast(from) up to CountAtMost(to): from <= key <= to.
  auto range = [](const TBoundIndex& Ix, double from, double to) {
    return TRange{&Ix, Ix.CountBelow(from), Ix.CountAtMost(to)};
  };
  std::vector<TRange> ranges;
  if (FIx1LatLo.Ordered()) ranges.push_back(range(FIx1LatLo, latLoFrom, LatHigh));
  if (FIx2LatHi.Ordered()) ranges.push_back(range(FIx2LatHi, LatLow, latHiTo));
  if (FIx3LongLo.Ordered()) ranges.push_back(range(FIx3LongLo, longLoFrom, LongHigh));
  if (FIx4LongHi.Ordered()) ranges.push_back(range(FIx4LongHi, LongLow, longHiTo));

  if (ranges.empty()) {
    for (int e = 1; e <= FNumSumItems; ++e)
      if (Meets(FSumData[static_cast<size_t>(e - 1)], LatLow, LatHigh, LongLow, LongHigh))
        found.push_back(e);
    return found;
  }

  auto length = [](const TRange& r) { return r.End > r.Begin ? r.End - r.Begin : 0; };
  const TRange& best =
      *std::min_element(ranges.begin(), ranges.end(),
                        [&](const TRange& a, const TRange& b) { return length(a) < length(b); });
  best.Ix->ForEach(best.Begin, best.End, [&](size_t, const TIxLLRec& r) {
    const int32_t idx = r.index;
    if (idx >= 0 && idx < FNumSumItems &&
        Meets(FSumData[static_cast<size_t>(idx)], LatLow, LatHigh, LongLow, LongHigh))
      found.push_back(idx + 1);
    return true;
  });
  std::sort(found.begin(), found.end());
  return found;
}

}  // namespace marovia
