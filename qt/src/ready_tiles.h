// A map's tile pyramid as the UI thread may read it: only tiles already
// loaded are answered from memory; a tile not loaded yet is stood in for by
// a coarser level's loaded tile enlarged (or the background colour) and
// noted as missing. After a paint the widget hands the missing tiles to the
// loader, whose worker reads them from the real pyramid and stores them
// here; the next paint shows them. Once every tile of a view is loaded the
// view's pixels are exactly those read through the real pyramid.
//
// Memory: loaded tiles are kept up to BudgetBytes, the least recently used
// dropped first (a tile in use by a paint stays valid: tiles are shared).
//
// Threads: Tile (and so ReadRegion) and TakeMissing on the UI thread;
// Load on the loader's worker; the store is guarded by one mutex, never
// held while the real pyramid reads.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "marovia/platform/image_pyramid.h"

namespace marovia::qt_detail {

struct TTileKey {
  int Level = 0, X = 0, Y = 0;
  friend bool operator==(const TTileKey&, const TTileKey&) = default;
};

class TReadyTiles : public TImagePyramid {
 public:
  TReadyTiles(std::shared_ptr<const TImagePyramid> Source, uint32_t Background,
              int64_t BudgetBytes = int64_t{96} << 20);

  int Levels() const override { return source_->Levels(); }
  int LevelWidth(int Level) const override { return source_->LevelWidth(Level); }
  int LevelHeight(int Level) const override { return source_->LevelHeight(Level); }
  // Never blocks on the real pyramid (see above).
  TTilePixels Tile(int Level, int TX, int TY) const override;

  // The tiles asked for and not loaded since the last call, in the order
  // first asked (UI thread).
  std::vector<TTileKey> TakeMissing();
  // Reads a tile from the real pyramid and keeps it (worker). Raises as
  // the real pyramid does.
  void Load(const TTileKey& Key);
  bool Loaded(const TTileKey& Key) const;
  int64_t LoadedCount() const;

 private:
  static uint64_t Pack(const TTileKey& K) {
    return (static_cast<uint64_t>(K.Level) << 48) | (static_cast<uint64_t>(K.Y) << 24) |
           static_cast<uint64_t>(K.X);
  }
  TTilePixels Find(uint64_t Key) const;  // lock held
  TTilePixels StandIn(int Level, int TX, int TY) const;

  std::shared_ptr<const TImagePyramid> source_;
  std::size_t maxTiles_;
  TTilePixels blank_;
  mutable std::mutex lock_;
  // Most recently used first.
  mutable std::list<uint64_t> order_;
  struct TEntry {
    TTilePixels Pixels;
    std::list<uint64_t>::iterator Place;
  };
  mutable std::unordered_map<uint64_t, TEntry> tiles_;
  mutable std::vector<TTileKey> missing_;
  mutable std::unordered_map<uint64_t, bool> missingSet_;
};

}  // namespace marovia::qt_detail
