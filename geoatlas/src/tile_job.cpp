// Running the tiles of an atlas through worker threads into a store.
#include "marovia/geoatlas/tile_job.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <thread>

#include "marovia/platform/sysutils.h"

namespace marovia {

TTileJob::TTileJob(const TAtlasTiles& Tiles, int MinZoom, int MaxZoom) : FTiles(Tiles) {
  for (int z = MinZoom; z <= MaxZoom; ++z)
    for (const TTileBlock& b : Tiles.TilesAt(z)) {
      FFirst.push_back(FTotal);
      FBlocks.push_back(b);
      FTotal += b.Count();
    }
}

TTileId TTileJob::At(int64_t Index) const {
  const auto it = std::upper_bound(FFirst.begin(), FFirst.end(), Index) - 1;
  return FBlocks[static_cast<size_t>(it - FFirst.begin())].At(Index - *it);
}

std::pair<int64_t, int64_t> TTileJob::PartRange(int Part, int Parts) const {
  return {FTotal * (Part - 1) / Parts, FTotal * Part / Parts};
}

TTileJobResult TTileJob::Run(TTileStore& Store, const TTileJobOptions& Options) const {
  // Plain variables, not a structured binding: the workers' lambda captures
  // them, which C++20 allows only since clang 16.
  const auto range = PartRange(Options.Part, Options.Parts);
  const int64_t first = range.first, last = range.second;
  TTileJobResult result;
  result.Places = last - first;
  std::atomic<int64_t> next{first}, written{0}, kept{0}, empty{0};
  std::atomic<bool> stop{false};
  std::mutex errorMutex;
  const auto worker = [&] {
    TTileRgba rgba;
    try {
      for (int64_t i = next++; i < last && !stop; i = next++) {
        const TTileId tile = At(i);
        if (Options.Resume && Store.Has(tile)) {
          ++kept;
          continue;
        }
        if (!FTiles.Render(tile, rgba, Options.Exact)) {
          ++empty;
          continue;
        }
        Store.Put(tile, EncodeTile(rgba, Options.Format));
        ++written;
      }
    } catch (const std::exception& e) {
      std::lock_guard lock(errorMutex);
      if (result.Error.empty()) {
        result.Error = e.what();
        const auto* io = dynamic_cast<const EInOutError*>(&e);
        result.DiskFull = io && (io->ErrorCode() == ENOSPC || io->ErrorCode() == EDQUOT);
      }
      stop = true;
    }
  };
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const int64_t wanted = Options.Threads > 0 ? Options.Threads : static_cast<int64_t>(cores);
  const int threads = static_cast<int>(std::clamp<int64_t>(last - first, 1, wanted));
  std::vector<std::thread> pool;
  for (int t = 1; t < threads; ++t) pool.emplace_back(worker);
  worker();
  for (std::thread& t : pool) t.join();
  result.Written = written;
  result.Kept = kept;
  result.Empty = empty;
  return result;
}

}  // namespace marovia
