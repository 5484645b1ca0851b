// Making tile pixel arrays, shared by the stores.
#pragma once

#include <algorithm>
#include <cstdint>

#include "pyramid_geometry.h"

namespace marovia::pyr {

inline std::shared_ptr<uint32_t[]> NewTile() {
  return std::shared_ptr<uint32_t[]>(new uint32_t[kTilePixels]);
}

inline TTilePixels SolidTile(uint32_t Colour) {
  auto t = NewTile();
  std::fill(t.get(), t.get() + kTilePixels, Colour);
  return t;
}

// The colour of a tile whose pixels are all alike, in Colour.
inline bool IsSolid(const uint32_t* Pixels, uint32_t& Colour) {
  Colour = Pixels[0];
  for (int i = 1; i < kTilePixels; ++i)
    if (Pixels[i] != Colour) return false;
  return true;
}

}  // namespace marovia::pyr
