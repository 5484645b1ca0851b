#include "map_loader.h"

#include <chrono>
#include <exception>

#include "marovia/platform/main_thread.h"

namespace marovia::qt_detail {

namespace {

// A batch of tiles is announced after this long, so that a view fills in
// as it loads without a repaint per tile.
constexpr auto kBatchTime = std::chrono::milliseconds(15);

}  // namespace

TMapLoader::TMapLoader()
    : openThread_([this] { OpenLoop(); }), tileThread_([this] { TileLoop(); }) {}

TMapLoader::~TMapLoader() {
  alive_->Yes = false;
  {
    std::lock_guard lock(lock_);
    stop_ = true;
  }
  wake_.notify_all();
  openThread_.join();
  tileThread_.join();
}

void TMapLoader::Open(TOpener Opener, std::function<void(int)> Progress, TOpened Done) {
  std::lock_guard lock(lock_);
  opens_.clear();  // only the newest waiting open is worth doing
  opens_.push_back(
      TOpenJob{++generation_, std::move(Opener), std::move(Progress), std::move(Done)});
  wake_.notify_all();
}

bool TMapLoader::Opening() const {
  std::lock_guard lock(lock_);
  return opening_ || !opens_.empty();
}

void TMapLoader::RequestTiles(std::shared_ptr<TReadyTiles> Tiles, std::vector<TTileKey> Keys,
                              std::function<void()> Arrived) {
  std::lock_guard lock(lock_);
  tiles_ = std::move(Tiles);
  keys_.assign(Keys.begin(), Keys.end());
  arrived_ = std::move(Arrived);
  wake_.notify_all();
}

std::size_t TMapLoader::TilesWaiting() const {
  std::lock_guard lock(lock_);
  return keys_.size();
}

void TMapLoader::OpenLoop() {
  for (;;) {
    TOpenJob job;
    {
      std::unique_lock lock(lock_);
      wake_.wait(lock, [this] { return stop_ || !opens_.empty(); });
      if (stop_) return;
      job = std::move(opens_.front());
      opens_.pop_front();
      opening_ = true;
    }
    const uint64_t generation = job.Generation;
    auto current = [this, generation] {
      std::lock_guard lock(lock_);
      return generation == generation_;
    };
    std::shared_ptr<const TMapSource> source;
    std::string error;
    try {
      int shown = -1;
      const TProgressEvent progress = [&, alive = alive_](TObject*, TProgressStage, uint8_t Percent,
                                                          bool, const TRect&, const std::string&) {
        if (Percent == shown || !job.Progress) return;
        shown = Percent;
        QueueOnMainThread([alive, report = job.Progress, Percent] {
          if (alive->Yes) report(Percent);
        });
      };
      source = job.Opener(progress);
      if (source && current()) {
        // The pixels now, on this thread: the UI thread then takes them as
        // they are.
        if (source->Tiled())
          source->Levels();
        else
          source->Bitmap();
      }
    } catch (const std::exception& e) {
      source.reset();
      error = e.what();
    }
    {
      std::lock_guard lock(lock_);
      opening_ = false;
    }
    if (!current()) continue;
    QueueOnMainThread(
        [alive = alive_, done = std::move(job.Done), source, error, this, generation] {
          if (!alive->Yes) return;
          {
            std::lock_guard lock(lock_);
            if (generation != generation_) return;
          }
          done(source, error);
        });
  }
}

void TMapLoader::TileLoop() {
  for (;;) {
    std::shared_ptr<TReadyTiles> tiles;
    TTileKey key;
    std::function<void()> arrived;
    {
      std::unique_lock lock(lock_);
      wake_.wait(lock, [this] { return stop_ || !keys_.empty(); });
      if (stop_) return;
      tiles = tiles_;
      key = keys_.front();
      keys_.pop_front();
    }
    auto batchStart = std::chrono::steady_clock::now();
    int loaded = 0;
    for (;;) {
      try {
        if (!tiles->Loaded(key)) {
          tiles->Load(key);
          ++loaded;
        }
      } catch (const std::exception&) {
        // A damaged cache tile: the pyramid has dropped its cache file;
        // the stand-in stays on screen and the next view asks again.
      }
      bool more = false;
      {
        std::lock_guard lock(lock_);
        more = !stop_ && !keys_.empty() && tiles_ == tiles;
        if (more) {
          key = keys_.front();
          keys_.pop_front();
        }
        arrived = arrived_;
      }
      const auto now = std::chrono::steady_clock::now();
      if (loaded > 0 && (!more || now - batchStart >= kBatchTime)) {
        QueueOnMainThread([alive = alive_, arrived] {
          if (alive->Yes && arrived) arrived();
        });
        loaded = 0;
        batchStart = now;
      }
      if (!more) break;
    }
  }
}

}  // namespace marovia::qt_detail
