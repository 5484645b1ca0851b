// The sizes of a pyramid's levels and where each level's tiles start in a
// single tile numbering (level by level, each level row by row), shared by
// the builder, the cache file and the in-memory store.
#pragma once

#include <cstdint>
#include <vector>

#include "marovia/platform/image_pyramid.h"

namespace marovia::pyr {

constexpr int kTile = TImagePyramid::kTileSize;
constexpr int kTilePixels = kTile * kTile;

struct TLevel {
  int Width = 0;
  int Height = 0;
  int Across = 0;     // tiles across
  int Down = 0;       // tiles down
  int64_t First = 0;  // number of the level's first tile
};

// Levels of a Width x Height image (both >= 1): halving, rounded up, down to
// the first level that fits in one tile. At most 24 levels for sides below
// 2^31, so the table is small whatever the sizes.
inline std::vector<TLevel> LevelTable(int Width, int Height) {
  std::vector<TLevel> levels;
  int64_t first = 0;
  int w = Width, h = Height;
  for (;;) {
    TLevel l{w, h, TImagePyramid::TilesOver(w), TImagePyramid::TilesOver(h), first};
    first += int64_t{l.Across} * l.Down;
    levels.push_back(l);
    if (w <= kTile && h <= kTile) break;
    w = w / 2 + w % 2;
    h = h / 2 + h % 2;
  }
  return levels;
}

inline int64_t TileCount(const std::vector<TLevel>& Levels) {
  const TLevel& last = Levels.back();
  return last.First + int64_t{last.Across} * last.Down;
}

}  // namespace marovia::pyr
