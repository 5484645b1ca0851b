// Opening a pyramid: the cache file if it is good, else one streaming pass
// over the source into a new cache file, else (no cache file can be
// written) into memory within the budget. Also the pyramid of a bitmap and
// the region reader every store shares.
#include "marovia/platform/image_pyramid.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "cache_dir.h"
#include "file_pyramid.h"
#include "file_rows.h"
#include "marovia/platform/bmpcodec.h"
#include "marovia/platform/sysutils.h"
#include "memory_pyramid.h"

namespace marovia {
namespace {

using namespace pyr;

// An exclusive advisory lock on the file CacheName + ".lock", held for the
// object's life; none when the file cannot be made or locked.
class TBuildLock {
 public:
  explicit TBuildLock(const std::string& CacheName) {
    std::error_code ec;
    const std::filesystem::path dir = std::filesystem::path(CacheName).parent_path();
    if (!dir.empty()) std::filesystem::create_directories(dir, ec);
    name_ = CacheName + ".lock";
    fd_ = ::open(name_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) return;
    int rc = 0;
    while ((rc = ::flock(fd_, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (rc != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  TBuildLock(const TBuildLock&) = delete;
  TBuildLock& operator=(const TBuildLock&) = delete;
  // The lock file goes with the build, so the cache folder holds cache
  // files alone; a process still waiting on it then finds the cache file,
  // and one that comes after finds the cache file too.
  ~TBuildLock() {
    if (fd_ < 0) return;
    ::unlink(name_.c_str());
    ::close(fd_);  // releases the lock
  }

 private:
  std::string name_;
  int fd_ = -1;
};

// Reports the rows done as percent, each value once.
class TBuildProgress {
 public:
  explicit TBuildProgress(const TProgressEvent& Event) : event_(Event) {}
  void Start() { Fire(psStarting, 0); }
  // A second pass (after the cache file failed) reports nothing until it
  // passes the first one.
  void Row(int Done, int Rows) {
    const int percent = static_cast<int>(int64_t{Done} * 100 / Rows);
    if (percent > last_ && percent < 100) {
      last_ = percent;
      Fire(psRunning, static_cast<uint8_t>(percent));
    }
  }
  void End() { Fire(psEnding, 100); }

 private:
  void Fire(TProgressStage Stage, uint8_t Percent) {
    if (event_) event_(nullptr, Stage, Percent, false, TRect{}, "Building the image pyramid");
  }
  const TProgressEvent& event_;
  int last_ = 0;
};

void Build(TFileRows& Source, TTileSink& Sink, TBuildProgress& Progress) {
  TPyramidBuilder builder(Source.Width(), Source.Height(), Sink);
  for (int y = 0; y < Source.Height(); ++y) {
    Source.ReadRow(builder.NextRow());
    builder.CommitRow();
    Progress.Row(y + 1, Source.Height());
  }
  Source.Finish();
}

std::unique_ptr<TImagePyramid> BuildInMemory(const std::string& FileName, int64_t Budget,
                                             const TSampleDisplay& Display,
                                             const std::string& CacheName,
                                             const std::string& CacheProblem,
                                             TBuildProgress& Progress) {
  auto source = std::make_unique<TFileRows>(FileName, Budget, Display);
  const int64_t left =
      Budget - TPyramidBuilder::BandBytes(source->Width()) - source->WorkingBytes();
  auto pyramid = std::make_unique<TMemoryPyramid>(source->Width(), source->Height(), left);
  try {
    Build(*source, *pyramid, Progress);
  } catch (const EOverBudget&) {
    throw EInOutError(
        FileName, "no pyramid cache can be written (" + CacheProblem +
                      ") and the pyramid of an image of " + std::to_string(source->Width()) +
                      " x " + std::to_string(source->Height()) +
                      " does not fit the memory budget of " + std::to_string(Budget) + " bytes" +
                      (CacheName.empty() ? "" : " (cache file " + CacheName + ")"));
  }
  return pyramid;
}

}  // namespace

std::unique_ptr<TImagePyramid> TImagePyramid::Open(const std::string& FileName,
                                                   const TPyramidOptions& Options,
                                                   const TProgressEvent& OnProgress) {
  const int64_t budget = Options.MemoryBudget;
  const std::string refused = SampleDisplayProblem(Options.SampleDisplay);
  if (!refused.empty())
    throw EInvalidGraphic(FileName + ": cannot show its samples so: " + refused);
  TCacheKey key = SourceKey(FileName);
  // Another display of the samples is another pyramid.
  if (!Options.SampleDisplay.IsDefault()) {
    key.Path += "\n" + Options.SampleDisplay.Key();
    if (key.Path.size() > kMaxCachePath) throw EInOutError(FileName, "path too long");
  }
  const std::string dir = Options.CacheDir.empty() ? DefaultCacheDir() : Options.CacheDir;
  std::string cacheName, problem = "no cache directory is known";
  TBuildProgress progress(OnProgress);
  if (!dir.empty()) {
    cacheName = CacheFileName(dir, key.Path);
    if (auto cached = TFilePyramid::Load(cacheName, key, budget)) return cached;
    // Processes that open the same image at once (the parts of a tile job)
    // build it one at a time: the first builds, the others then find its
    // cache file. Without a lock (none can be taken there) each builds,
    // which the temporary name and rename keep safe.
    const TBuildLock lock(cacheName);
    if (auto cached = TFilePyramid::Load(cacheName, key, budget)) return cached;
    auto source = std::make_unique<TFileRows>(FileName, budget, Options.SampleDisplay);
    progress.Start();
    try {
      TCacheWriter writer(cacheName, key, source->Width(), source->Height());
      Build(*source, writer, progress);
      auto pyramid = writer.Commit(budget);
      progress.End();
      return pyramid;
    } catch (const ECacheUnwritable& e) {
      problem = e.Message();
    }
  } else {
    progress.Start();
  }
  auto pyramid =
      BuildInMemory(FileName, budget, Options.SampleDisplay, cacheName, problem, progress);
  progress.End();
  return pyramid;
}

std::unique_ptr<TImagePyramid> TImagePyramid::FromBitmap(const TBitmap& Image) {
  if (Image.Empty()) throw ERangeError("Cannot make the pyramid of an empty bitmap");
  auto pyramid = std::make_unique<TMemoryPyramid>(Image.Width(), Image.Height(), -1);
  TPyramidBuilder builder(Image.Width(), Image.Height(), *pyramid);
  for (int y = 0; y < Image.Height(); ++y) {
    const uint32_t* row = Image.ScanLine(y);
    std::copy(row, row + Image.Width(), builder.NextRow());
    builder.CommitRow();
  }
  return pyramid;
}

void TImagePyramid::ReadRegion(int Level, int64_t Left, int64_t Top, int W, int H, uint32_t* Dest,
                               ptrdiff_t DestStride) const {
  const int64_t lw = LevelWidth(Level), lh = LevelHeight(Level);
  const int64_t x0 = std::max<int64_t>(Left, 0), y0 = std::max<int64_t>(Top, 0);
  const int64_t x1 = std::min<int64_t>(Left + std::max(W, 0), lw);
  const int64_t y1 = std::min<int64_t>(Top + std::max(H, 0), lh);
  if (x0 >= x1 || y0 >= y1) return;
  for (int64_t ty = y0 / kTileSize; ty * kTileSize < y1; ++ty) {
    for (int64_t tx = x0 / kTileSize; tx * kTileSize < x1; ++tx) {
      const TTilePixels tile = Tile(Level, static_cast<int>(tx), static_cast<int>(ty));
      const int64_t ax = std::max(x0, tx * kTileSize), bx = std::min(x1, (tx + 1) * kTileSize);
      const int64_t ay = std::max(y0, ty * kTileSize), by = std::min(y1, (ty + 1) * kTileSize);
      for (int64_t y = ay; y < by; ++y) {
        const uint32_t* in = tile.get() + (y - ty * kTileSize) * kTileSize + (ax - tx * kTileSize);
        std::copy(in, in + (bx - ax), Dest + (y - Top) * DestStride + (ax - Left));
      }
    }
  }
}

}  // namespace marovia
