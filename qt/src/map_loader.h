// The widget's worker threads: one opens maps (the calibration, then the
// pixels decoded or the tile pyramid built, which for a large scan takes
// seconds), one reads tiles for the view. Results go to the UI thread
// through QueueOnMainThread; the UI thread never waits for either.
//
// Cancelling: a newer Open replaces an open still waiting, and its result
// is dropped if the older one finishes first (a generation number); a
// pyramid being built is not interrupted. Every RequestTiles replaces the
// tiles still waiting, so a pan drops the tiles of views already left.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "marovia/geomap/map_source.h"
#include "ready_tiles.h"

namespace marovia::qt_detail {

class TMapLoader {
 public:
  using TOpener = std::function<std::shared_ptr<const TMapSource>(const TProgressEvent& Progress)>;
  // On the UI thread: the source opened with its pixels ready, or the
  // reason it could not be (Source null).
  using TOpened =
      std::function<void(std::shared_ptr<const TMapSource> Source, const std::string& Error)>;

  TMapLoader();
  ~TMapLoader();
  TMapLoader(const TMapLoader&) = delete;
  TMapLoader& operator=(const TMapLoader&) = delete;

  // Opens a map on the worker: Opener, then its pixels (decoded, or its
  // pyramid opened). Progress (percent) and Done run on the UI thread.
  void Open(TOpener Opener, std::function<void(int Percent)> Progress, TOpened Done);
  // Whether an Open is waiting or running.
  bool Opening() const;

  // Reads Keys of Tiles in order; Arrived runs on the UI thread after
  // each batch (at most every few milliseconds, and when the list is done).
  void RequestTiles(std::shared_ptr<TReadyTiles> Tiles, std::vector<TTileKey> Keys,
                    std::function<void()> Arrived);
  // Tiles waiting to be read.
  std::size_t TilesWaiting() const;

 private:
  void OpenLoop();
  void TileLoop();

  struct TOpenJob {
    uint64_t Generation = 0;
    TOpener Opener;
    std::function<void(int)> Progress;
    TOpened Done;
  };
  // The UI-thread side's token: cleared by the destructor so that results
  // still queued find nobody.
  struct TAlive {
    bool Yes = true;
  };

  mutable std::mutex lock_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::deque<TOpenJob> opens_;
  uint64_t generation_ = 0;  // of the newest Open
  bool opening_ = false;
  std::shared_ptr<TReadyTiles> tiles_;
  std::deque<TTileKey> keys_;
  std::function<void()> arrived_;
  std::shared_ptr<TAlive> alive_ = std::make_shared<TAlive>();
  std::thread openThread_, tileThread_;
};

}  // namespace marovia::qt_detail
