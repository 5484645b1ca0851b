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
// left, or when even the shortest holds a quarter of the items, every item
// is tested, in entry order.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
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

  auto length = [](const TRange& r) { return r.End > r.Begin ? r.End - r.Begin : 0; };
  auto shortest = [&] {
    return std::min_element(ranges.begin(), ranges.end(), [&](const TRange& a, const TRange& b) {
      return length(a) < length(b);
    });
  };
  // No usable index, or a rectangle over much of the database: the records
  // read in their own order cost less than the index's jumps among them,
  // and come out sorted.
  if (ranges.empty() || length(*shortest()) > static_cast<size_t>(FNumSumItems) / 4) {
    for (int e = 1; e <= FNumSumItems; ++e)
      if (Meets(FSumData[static_cast<size_t>(e - 1)], LatLow, LatHigh, LongLow, LongHigh))
        found.push_back(e);
    return found;
  }
  const TRange& best = *shortest();
  best.Ix->ForEach(best.Begin, best.End, [&](size_t, const TIxLLRec& r) {
    const int32_t idx = r.index;
    if (idx >= 0 && idx < FNumSumItems &&
        Meets(FSumData[static_cast<size_t>(idx)], LatLow, LatHigh, LongLow, LongHigh))
      found.push_back(idx + 1);
    return true;
  });
  // The candidates come in the index's order. When they are many against
  // the entries (a view over much of the database), a mark per entry read
  // back in order is linear where a sort is not.
  if (found.size() > static_cast<size_t>(FNumSumItems) / 32) {
    std::vector<uint64_t> marks(static_cast<size_t>(FNumSumItems) / 64 + 1);
    for (int e : found) marks[static_cast<size_t>(e) / 64] |= uint64_t{1} << (e % 64);
    size_t k = 0;
    for (size_t w = 0; w < marks.size(); ++w)
      for (uint64_t bits = marks[w]; bits != 0; bits &= bits - 1)
        found[k++] = static_cast<int>(w * 64 + static_cast<size_t>(std::countr_zero(bits)));
    found.resize(k);  // an index that names an entry twice gives it once
  } else {
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
  }
  return found;
}

}  // namespace marovia
