// The decoded tiles recently used, up to a byte budget, dropped least
// recently used first. A tile handed out stays valid while the caller
// holds it, dropped or not. Safe for concurrent use.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <unordered_map>

#include "marovia/platform/image_pyramid.h"

namespace marovia::pyr {

class TTileCache {
 public:
  explicit TTileCache(int64_t BudgetBytes);

  // The tile numbered Key, from the cache or made by Load (called without
  // the lock held: two threads may load the same tile, one copy is kept).
  TTilePixels Get(int64_t Key, const std::function<TTilePixels()>& Load);

  int64_t HeldBytes() const;

 private:
  using TOrder = std::list<std::pair<int64_t, TTilePixels>>;
  void Insert(int64_t Key, const TTilePixels& Tile);

  mutable std::mutex mutex_;
  int64_t capacity_;  // tiles
  TOrder order_;      // most recently used first
  std::unordered_map<int64_t, TOrder::iterator> where_;
};

}  // namespace marovia::pyr
