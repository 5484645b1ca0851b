// A packed R-tree of boxes that answers which boxes contain a point.
//
// Built once from all its boxes by sort-tile-recursive packing: the boxes
// sorted into vertical slices by their centres' x, each slice sorted by y
// and cut into leaves of kFanout boxes; each level above packs the boxes of
// the nodes below the same way. A query descends only into nodes whose box
// holds the point, so it visits O(log n) nodes plus the boxes that hold the
// point. Boxes are closed: a point on an edge is inside.
#pragma once

#include <cstdint>
#include <vector>

namespace marovia {

class TBoxTree {
 public:
  struct TBox {
    double X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
    bool Holds(double X, double Y) const { return X >= X0 && X <= X1 && Y >= Y0 && Y <= Y1; }
  };
  struct TItem {
    TBox Box;
    uint32_t Id = 0;
  };

  explicit TBoxTree(std::vector<TItem> Items);

  // Calls Visit(Id) for every item whose box holds (X, Y), in no
  // particular order.
  template <class F>
  void Query(double X, double Y, F&& Visit) const {
    if (FNodes.empty()) return;
    // Depth first: at most kFanout - 1 waiting siblings per level, and
    // 32-bit counts allow no more than eight levels.
    uint32_t stack[kFanout * 8 + 1];
    int top = 0;
    stack[top++] = FRoot;
    while (top > 0) {
      const TNode& n = FNodes[stack[--top]];
      if (!n.Box.Holds(X, Y)) continue;
      if (n.Leaf) {
        for (uint32_t i = n.First; i < n.First + n.Count; ++i)
          if (FItems[i].Box.Holds(X, Y)) Visit(FItems[i].Id);
      } else {
        for (uint32_t i = n.First; i < n.First + n.Count; ++i) stack[top++] = i;
      }
    }
  }

 private:
  static constexpr uint32_t kFanout = 16;
  struct TNode {
    TBox Box;
    uint32_t First = 0;  // first child node, or first item of a leaf
    uint32_t Count = 0;
    bool Leaf = false;
  };
  std::vector<TItem> FItems;
  std::vector<TNode> FNodes;
  uint32_t FRoot = 0;
};

}  // namespace marovia
