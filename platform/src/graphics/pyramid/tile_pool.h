// Memory for decoded tiles, taken from the system in chunks of several
// tiles whose pages are mapped at once (one call instead of a page fault
// per 4 KiB, which dominates reading a view from a warm cache file), and
// reused as tiles are dropped. Chunks go back to the system when the pool
// and every tile taken from it are gone.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "marovia/platform/image_pyramid.h"

namespace marovia::pyr {

class TTilePool : public std::enable_shared_from_this<TTilePool> {
 public:
  static std::shared_ptr<TTilePool> Create();
  ~TTilePool();
  TTilePool(const TTilePool&) = delete;
  TTilePool& operator=(const TTilePool&) = delete;

  // Uninitialised pixels of one tile, returned to the pool when the last
  // holder lets go.
  std::shared_ptr<uint32_t[]> Take();

 private:
  TTilePool() = default;
  void Give(uint32_t* Tile);

  std::mutex mutex_;
  std::vector<void*> chunks_;
  std::vector<uint32_t*> free_;
};

}  // namespace marovia::pyr
