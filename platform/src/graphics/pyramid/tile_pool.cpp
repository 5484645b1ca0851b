// The tile memory pool.
#include "tile_pool.h"

#include <sys/mman.h>

#include <new>

#include "pyramid_geometry.h"

namespace marovia::pyr {
namespace {

constexpr size_t kTileBytes = size_t{kTilePixels} * 4;
constexpr size_t kTilesPerChunk = 8;
constexpr size_t kChunkBytes = kTileBytes * kTilesPerChunk;

}  // namespace

std::shared_ptr<TTilePool> TTilePool::Create() {
  return std::shared_ptr<TTilePool>(new TTilePool());
}

TTilePool::~TTilePool() {
  for (void* c : chunks_) ::munmap(c, kChunkBytes);
}

std::shared_ptr<uint32_t[]> TTilePool::Take() {
  uint32_t* tile = nullptr;
  {
    std::lock_guard lock(mutex_);
    if (free_.empty()) {
      void* chunk = ::mmap(nullptr, kChunkBytes, PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
      if (chunk == MAP_FAILED) throw std::bad_alloc();
      chunks_.push_back(chunk);
      for (size_t i = kTilesPerChunk; i-- > 0;)
        free_.push_back(reinterpret_cast<uint32_t*>(static_cast<char*>(chunk) + i * kTileBytes));
    }
    tile = free_.back();
    free_.pop_back();
  }
  // The deleter keeps the pool alive while the tile is.
  return std::shared_ptr<uint32_t[]>(tile,
                                     [pool = shared_from_this()](uint32_t* t) { pool->Give(t); });
}

void TTilePool::Give(uint32_t* Tile) {
  std::lock_guard lock(mutex_);
  free_.push_back(Tile);
}

}  // namespace marovia::pyr
