// The collision index of caption placement and the candidate positions.
#include "render/label_placement.h"

#include <algorithm>
#include <cstdint>

namespace marovia::render {

namespace {

// Side of an index cell in pixels: about the size of a caption, so that a
// caption touches few cells and a cell holds few captions.
constexpr int kCellSize = 64;

int CeilDiv(int A, int B) {
  return (A + B - 1) / B;
}

}  // namespace

bool BoxesOverlap(const TRect& A, const TRect& B) {
  return A.Left < B.Right && B.Left < A.Right && A.Top < B.Bottom && B.Top < A.Bottom &&
         A.Left < A.Right && A.Top < A.Bottom && B.Left < B.Right && B.Top < B.Bottom;
}

LabelPlacer::LabelPlacer(int Width, int Height)
    : width_(std::max(Width, 0)),
      height_(std::max(Height, 0)),
      columns_(std::max(1, CeilDiv(width_, kCellSize))),
      rows_(std::max(1, CeilDiv(height_, kCellSize))),
      cells_(static_cast<size_t>(columns_) * static_cast<size_t>(rows_)) {}

// The cells a box touches, clamped to the grid (a symbol may reach beyond
// the view's edge; the part outside concerns no caption).
LabelPlacer::CellRange LabelPlacer::CellsOf(const TRect& Box) const {
  auto column = [&](int32_t x) { return std::clamp(x / kCellSize, 0, columns_ - 1); };
  auto row = [&](int32_t y) { return std::clamp(y / kCellSize, 0, rows_ - 1); };
  const int32_t right = std::max(Box.Left, Box.Right - 1);
  const int32_t bottom = std::max(Box.Top, Box.Bottom - 1);
  return CellRange{column(std::max(Box.Left, 0)), row(std::max(Box.Top, 0)),
                   column(std::max(right, 0)), row(std::max(bottom, 0))};
}

void LabelPlacer::Insert(const TRect& Box, int32_t Owner) {
  if (Box.Right <= Box.Left || Box.Bottom <= Box.Top) return;
  if (Box.Right <= 0 || Box.Bottom <= 0 || Box.Left >= width_ || Box.Top >= height_) return;
  const auto index = static_cast<int32_t>(entries_.size());
  entries_.push_back(Entry{Box, Owner});
  const CellRange r = CellsOf(Box);
  for (int y = r.Y0; y <= r.Y1; ++y)
    for (int x = r.X0; x <= r.X1; ++x)
      cells_[static_cast<size_t>(y) * static_cast<size_t>(columns_) + static_cast<size_t>(x)]
          .push_back(index);
}

void LabelPlacer::AddObstacle(const TRect& Box, int32_t Owner) {
  Insert(Box, Owner);
}

bool LabelPlacer::Free(const TRect& Box, int32_t Owner) const {
  if (Box.Left < 0 || Box.Top < 0 || Box.Right > width_ || Box.Bottom > height_) return false;
  if (Box.Right <= Box.Left || Box.Bottom <= Box.Top) return false;
  const CellRange r = CellsOf(Box);
  for (int y = r.Y0; y <= r.Y1; ++y)
    for (int x = r.X0; x <= r.X1; ++x)
      for (const int32_t i : cells_[static_cast<size_t>(y) * static_cast<size_t>(columns_) +
                                    static_cast<size_t>(x)]) {
        const Entry& e = entries_[static_cast<size_t>(i)];
        if (Owner >= 0 && e.Owner == Owner) continue;
        if (BoxesOverlap(e.Box, Box)) return false;
      }
  return true;
}

int LabelPlacer::Place(std::span<const TRect> Positions, int32_t Owner) {
  for (size_t k = 0; k < Positions.size(); ++k) {
    if (!Free(Positions[k], Owner)) continue;
    // A placed caption is in everyone's way, its own symbol's included.
    Insert(Positions[k], -1);
    return static_cast<int>(k);
  }
  return -1;
}

std::array<TRect, kCaptionPositions> CaptionPositions(const TRect& Own, const TRect& Symbol,
                                                      TPoint Text, int Gap) {
  const int32_t w = Text.X, h = Text.Y;
  const int32_t cx = Symbol.Left + (Symbol.Right - Symbol.Left) / 2;
  const int32_t cy = Symbol.Top + (Symbol.Bottom - Symbol.Top) / 2;
  const int32_t right = Symbol.Right + Gap, left = Symbol.Left - Gap - w;
  const int32_t below = Symbol.Bottom + Gap, above = Symbol.Top - Gap - h;
  return {Own,
          Bounds(right, cy - h / 2, w, h),
          Bounds(left, cy - h / 2, w, h),
          Bounds(cx - w / 2, below, w, h),
          Bounds(cx - w / 2, above, w, h),
          Bounds(right, above, w, h),
          Bounds(right, below, w, h),
          Bounds(left, above, w, h),
          Bounds(left, below, w, h)};
}

}  // namespace marovia::render
