// The in-memory pyramid store.
#include "memory_pyramid.h"

#include <algorithm>
#include <string>

#include "marovia/platform/sysutils.h"
#include "tile_pixels.h"

namespace marovia::pyr {

TMemoryPyramid::TMemoryPyramid(int Width, int Height, int64_t Budget)
    : table_(LevelTable(Width, Height)), tiles_(table_.size()), budget_(Budget) {}

int TMemoryPyramid::LevelWidth(int Level) const {
  if (Level < 0 || Level >= Levels()) throw ERangeError("Pyramid level out of range");
  return table_[Level].Width;
}

int TMemoryPyramid::LevelHeight(int Level) const {
  if (Level < 0 || Level >= Levels()) throw ERangeError("Pyramid level out of range");
  return table_[Level].Height;
}

TTilePixels TMemoryPyramid::Tile(int Level, int TX, int TY) const {
  if (Level < 0 || Level >= Levels() || TX < 0 || TY < 0 || TX >= table_[Level].Across ||
      TY >= table_[Level].Down)
    throw ERangeError("Pyramid tile out of range");
  const size_t i = static_cast<size_t>(TY) * table_[Level].Across + TX;
  if (i >= tiles_[Level].size()) throw ERangeError("Pyramid tile not built");
  return tiles_[Level][i];
}

void TMemoryPyramid::Put(int Level, int TX, int TY, const uint32_t* Pixels) {
  std::vector<TTilePixels>& level = tiles_[Level];
  // Tiles come row by row: the number is where the tile goes.
  if (level.size() != static_cast<size_t>(TY) * table_[Level].Across + TX)
    throw ERangeError("Pyramid tiles out of order");
  uint32_t colour = 0;
  TTilePixels tile;
  if (IsSolid(Pixels, colour)) {
    auto it = solid_.find(colour);
    if (it == solid_.end()) {
      held_ += int64_t{kTilePixels} * 4;
      if (budget_ >= 0 && held_ > budget_) throw EOverBudget();
      it = solid_.emplace(colour, SolidTile(colour)).first;
    }
    tile = it->second;
  } else {
    held_ += int64_t{kTilePixels} * 4;
    if (budget_ >= 0 && held_ > budget_) throw EOverBudget();
    auto copy = NewTile();
    std::copy(Pixels, Pixels + kTilePixels, copy.get());
    tile = std::move(copy);
  }
  level.push_back(std::move(tile));
}

}  // namespace marovia::pyr
