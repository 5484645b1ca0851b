#include "box_tree.h"

#include <algorithm>
#include <cmath>

namespace marovia {

namespace {

TBoxTree::TBox Union(const TBoxTree::TBox& A, const TBoxTree::TBox& B) {
  return {std::min(A.X0, B.X0), std::min(A.Y0, B.Y0), std::max(A.X1, B.X1), std::max(A.Y1, B.Y1)};
}

// Orders Boxes (anything with a Box) for packing into groups of Fanout:
// vertical slices by the centres' x, each slice by the centres' y.
template <class T>
void SortTileRecursive(std::vector<T>& Boxes, uint32_t Fanout) {
  const auto cx = [](const T& a) { return a.Box.X0 + a.Box.X1; };
  const auto cy = [](const T& a) { return a.Box.Y0 + a.Box.Y1; };
  std::sort(Boxes.begin(), Boxes.end(), [&](const T& a, const T& b) { return cx(a) < cx(b); });
  const size_t groups = (Boxes.size() + Fanout - 1) / Fanout;
  const auto slices = static_cast<size_t>(std::ceil(std::sqrt(static_cast<double>(groups))));
  const size_t perSlice = slices * Fanout;
  for (size_t s = 0; s < Boxes.size(); s += perSlice) {
    const auto end =
        Boxes.begin() + static_cast<std::ptrdiff_t>(std::min(s + perSlice, Boxes.size()));
    std::sort(Boxes.begin() + static_cast<std::ptrdiff_t>(s), end,
              [&](const T& a, const T& b) { return cy(a) < cy(b); });
  }
}

}  // namespace

TBoxTree::TBoxTree(std::vector<TItem> Items) : FItems(std::move(Items)) {
  if (FItems.empty()) return;
  SortTileRecursive(FItems, kFanout);
  // The leaves, then each level of nodes above, packed the same way; a
  // level's nodes are stored together, so a parent's children are a run.
  std::vector<TNode> level;
  for (uint32_t i = 0; i < FItems.size(); i += kFanout) {
    TNode n;
    n.Leaf = true;
    n.First = i;
    n.Count = std::min<uint32_t>(kFanout, static_cast<uint32_t>(FItems.size()) - i);
    n.Box = FItems[i].Box;
    for (uint32_t k = i + 1; k < i + n.Count; ++k) n.Box = Union(n.Box, FItems[k].Box);
    level.push_back(n);
  }
  while (level.size() > 1) {
    SortTileRecursive(level, kFanout);
    const auto first = static_cast<uint32_t>(FNodes.size());
    FNodes.insert(FNodes.end(), level.begin(), level.end());
    std::vector<TNode> up;
    for (uint32_t i = 0; i < level.size(); i += kFanout) {
      TNode n;
      n.First = first + i;
      n.Count = std::min<uint32_t>(kFanout, static_cast<uint32_t>(level.size()) - i);
      n.Box = level[i].Box;
      for (uint32_t k = i + 1; k < i + n.Count; ++k) n.Box = Union(n.Box, level[k].Box);
      up.push_back(n);
    }
    level = std::move(up);
  }
  FRoot = static_cast<uint32_t>(FNodes.size());
  FNodes.push_back(level.front());
}

}  // namespace marovia
