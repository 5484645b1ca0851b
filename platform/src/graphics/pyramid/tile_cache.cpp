// The least-recently-used tile cache.
#include "tile_cache.h"

#include <algorithm>

#include "pyramid_geometry.h"

namespace marovia::pyr {

TTileCache::TTileCache(int64_t BudgetBytes)
    : capacity_(std::max<int64_t>(1, BudgetBytes / (int64_t{kTilePixels} * 4))) {}

TTilePixels TTileCache::Get(int64_t Key, const std::function<TTilePixels()>& Load) {
  {
    std::lock_guard lock(mutex_);
    const auto it = where_.find(Key);
    if (it != where_.end()) {
      order_.splice(order_.begin(), order_, it->second);
      return it->second->second;
    }
  }
  TTilePixels tile = Load();
  std::lock_guard lock(mutex_);
  const auto it = where_.find(Key);
  if (it != where_.end()) return it->second->second;  // another thread was first
  Insert(Key, tile);
  return tile;
}

void TTileCache::Insert(int64_t Key, const TTilePixels& Tile) {
  order_.emplace_front(Key, Tile);
  where_[Key] = order_.begin();
  while (static_cast<int64_t>(order_.size()) > capacity_) {
    where_.erase(order_.back().first);
    order_.pop_back();
  }
}

int64_t TTileCache::HeldBytes() const {
  std::lock_guard lock(mutex_);
  return static_cast<int64_t>(order_.size()) * kTilePixels * 4;
}

}  // namespace marovia::pyr
