// Caption placement without overlap: a collision index over the view and
// the positions a caption may take around its symbol.
//
// Boxes are GDI rectangles in view pixels: left and top included, right and
// bottom excluded. Two boxes overlap when they share a pixel.
//
// The index is a grid of square cells over the view; each box is listed in
// every cell it touches, so a test looks only at the boxes of the cells its
// own box touches. With captions of 10 to 100 pixels and cells of 64 a
// test visits one to four cells: placing n captions costs O(n) on a view
// where they spread, O(n * k) where k captions crowd one cell.
//
// Placement is deterministic: the same obstacles and the same requests in
// the same order give the same answers.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "marovia/platform/types.h"

namespace marovia::render {

class LabelPlacer {
 public:
  // A view of Width x Height pixels; boxes must lie wholly inside it.
  LabelPlacer(int Width, int Height);

  // A box that no caption may overlap, except the captions of Owner (a
  // symbol does not push its own caption away). Owner -1 belongs to none.
  void AddObstacle(const TRect& Box, int32_t Owner);

  // The index of the first of Positions that lies inside the view and
  // overlaps no obstacle (other than Owner's) and no caption placed
  // before; -1 when none does. The chosen box becomes an obstacle of every
  // later caption.
  int Place(std::span<const TRect> Positions, int32_t Owner);

  // Whether Box lies inside the view and overlaps nothing but Owner's boxes.
  bool Free(const TRect& Box, int32_t Owner) const;

 private:
  struct Entry {
    TRect Box;
    int32_t Owner;
  };
  struct CellRange {
    int X0, Y0, X1, Y1;  // inclusive
  };
  CellRange CellsOf(const TRect& Box) const;
  void Insert(const TRect& Box, int32_t Owner);

  int width_, height_;
  int columns_, rows_;
  std::vector<Entry> entries_;
  std::vector<std::vector<int32_t>> cells_;  // entry indexes, row-major
};

// Positions a caption of Text pixels may take, best first: Own (where the
// caption's own offsets and alignment put it), then right of, left of,
// below, above the symbol's box, then at its four diagonal corners. Gap:
// pixels kept free between the symbol's box and the caption.
constexpr int kCaptionPositions = 9;
std::array<TRect, kCaptionPositions> CaptionPositions(const TRect& Own, const TRect& Symbol,
                                                      TPoint Text, int Gap);

// Whether two boxes share a pixel (empty boxes share none).
bool BoxesOverlap(const TRect& A, const TRect& B);

}  // namespace marovia::render
