#include "ready_tiles.h"

#include <algorithm>

namespace marovia::qt_detail {

namespace {

constexpr int kTile = TImagePyramid::kTileSize;
// How many levels up a stand-in may come from: beyond that it is a blur
// not worth the copy.
constexpr int kStandInLevels = 4;

TTilePixels Filled(uint32_t Colour) {
  std::shared_ptr<uint32_t[]> p(new uint32_t[kTile * kTile]);
  std::fill(p.get(), p.get() + kTile * kTile, Colour);
  return p;
}

}  // namespace

TReadyTiles::TReadyTiles(std::shared_ptr<const TImagePyramid> Source, uint32_t Background,
                         int64_t BudgetBytes)
    : source_(std::move(Source)),
      maxTiles_(static_cast<std::size_t>(
          std::max<int64_t>(BudgetBytes / (int64_t{kTile} * kTile * 4), 16))),
      blank_(Filled(Background)) {}

TTilePixels TReadyTiles::Find(uint64_t Key) const {
  const auto it = tiles_.find(Key);
  if (it == tiles_.end()) return nullptr;
  order_.splice(order_.begin(), order_, it->second.Place);
  return it->second.Pixels;
}

TTilePixels TReadyTiles::Tile(int Level, int TX, int TY) const {
  const TTileKey key{Level, TX, TY};
  std::lock_guard lock(lock_);
  if (TTilePixels t = Find(Pack(key))) return t;
  if (missingSet_.emplace(Pack(key), true).second) missing_.push_back(key);
  return StandIn(Level, TX, TY);
}

TTilePixels TReadyTiles::StandIn(int Level, int TX, int TY) const {
  // The nearest coarser loaded tile covering this one, its part enlarged.
  for (int up = 1; up <= kStandInLevels && Level + up < source_->Levels(); ++up) {
    const TTilePixels coarse = Find(Pack({Level + up, TX >> up, TY >> up}));
    if (!coarse) continue;
    const int part = kTile >> up;  // pixels of the coarse tile this one covers
    const int ox = (TX & ((1 << up) - 1)) * part, oy = (TY & ((1 << up) - 1)) * part;
    std::shared_ptr<uint32_t[]> p(new uint32_t[kTile * kTile]);
    for (int y = 0; y < kTile; ++y) {
      const uint32_t* src = coarse.get() + static_cast<ptrdiff_t>(oy + (y >> up)) * kTile + ox;
      uint32_t* dst = p.get() + static_cast<ptrdiff_t>(y) * kTile;
      for (int x = 0; x < kTile; ++x) dst[x] = src[x >> up];
    }
    return p;
  }
  return blank_;
}

std::vector<TTileKey> TReadyTiles::TakeMissing() {
  std::lock_guard lock(lock_);
  std::vector<TTileKey> out;
  out.swap(missing_);
  missingSet_.clear();
  return out;
}

void TReadyTiles::Load(const TTileKey& Key) {
  if (Loaded(Key)) return;
  TTilePixels pixels = source_->Tile(Key.Level, Key.X, Key.Y);
  std::lock_guard lock(lock_);
  const uint64_t k = Pack(Key);
  if (tiles_.count(k)) return;
  order_.push_front(k);
  tiles_.emplace(k, TEntry{std::move(pixels), order_.begin()});
  while (tiles_.size() > maxTiles_) {
    tiles_.erase(order_.back());
    order_.pop_back();
  }
}

bool TReadyTiles::Loaded(const TTileKey& Key) const {
  std::lock_guard lock(lock_);
  return tiles_.count(Pack(Key)) != 0;
}

int64_t TReadyTiles::LoadedCount() const {
  std::lock_guard lock(lock_);
  return static_cast<int64_t>(tiles_.size());
}

}  // namespace marovia::qt_detail
