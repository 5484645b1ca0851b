// Running the tiles of an atlas through worker threads into a store.
#include "marovia/geoatlas/tile_job.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <thread>
#include <tuple>

#include "marovia/geomap/geomap_error.h"
#include "marovia/geomap/tile_archive.h"
#include "marovia/platform/sysutils.h"

namespace marovia {

namespace {

uint64_t FirstIdOf(int Z) {
  return PMTilesTileId({Z, 0, 0});
}

// The tiles of Block inside the square of side Side at (X, Y).
int64_t Inside(const TTileBlock& Block, int64_t X, int64_t Y, int64_t Side) {
  const int64_t w = std::min<int64_t>(Block.X1 + 1, X + Side) - std::max<int64_t>(Block.X0, X);
  const int64_t h = std::min<int64_t>(Block.Y1 + 1, Y + Side) - std::max<int64_t>(Block.Y0, Y);
  return w > 0 && h > 0 ? w * h : 0;
}

// The tiles of Block (of level Z) whose position along the level's Hilbert
// curve is below H. The positions below H are, digit by digit of H in base
// 4, whole quarters of the curve: each an aligned square whose corner is
// where its stretch of the curve starts.
int64_t CountOnCurveBelow(const TTileBlock& Block, uint64_t H) {
  const int z = Block.Z;
  const uint64_t first = FirstIdOf(z);
  int64_t n = 0;
  for (int m = z - 1; m >= 0; --m) {
    const uint64_t digit = (H >> (2 * m)) & 3;
    const uint64_t prefix = (H >> (2 * m + 2)) << (2 * m + 2);
    for (uint64_t j = 0; j < digit; ++j) {
      const TTileId corner = PMTilesTileOf(first + prefix + (j << (2 * m)));
      const int64_t side = int64_t{1} << m;
      n += Inside(Block, corner.X & ~(side - 1), corner.Y & ~(side - 1), side);
    }
  }
  return n;
}

}  // namespace

TTileJob::TTileJob(const TAtlasTiles& Tiles, int MinZoom, int MaxZoom)
    : FTiles(Tiles), FMinZoom(MinZoom), FMaxZoom(MaxZoom) {
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

int64_t TTileJob::CountBelow(uint64_t Id) const {
  int64_t n = 0;
  for (size_t b = 0; b < FBlocks.size(); ++b) {
    const TTileBlock& block = FBlocks[b];
    const uint64_t first = FirstIdOf(block.Z);
    if (Id <= first) break;  // blocks run level by level
    if (Id >= FirstIdOf(block.Z + 1))
      n += block.Count();
    else
      n += CountOnCurveBelow(block, Id - first);
  }
  return n;
}

uint64_t TTileJob::IdOfRank(int64_t Rank) const {
  uint64_t lo = FirstIdOf(FMinZoom), hi = FirstIdOf(FMaxZoom + 1);
  if (Rank >= FTotal) return hi;
  // The smallest id with more than Rank tiles at or below it.
  while (lo < hi) {
    const uint64_t mid = lo + (hi - lo) / 2;
    if (CountBelow(mid + 1) > Rank)
      hi = mid;
    else
      lo = mid + 1;
  }
  return lo;
}

std::pair<uint64_t, uint64_t> TTileJob::PartIds(int Part, int Parts) const {
  if (Parts < 1 || Part < 1 || Part > Parts)
    throw EZYLGeoMapError("part " + std::to_string(Part) + " of " + std::to_string(Parts) +
                          " does not exist");
  const uint64_t first = Part == 1 ? FirstIdOf(FMinZoom) : IdOfRank(FTotal * (Part - 1) / Parts);
  const uint64_t end = Part == Parts ? FirstIdOf(FMaxZoom + 1) : IdOfRank(FTotal * Part / Parts);
  return {first, end};
}

TTileJobResult TTileJob::Run(TTileStore& Store, const TTileJobOptions& Options) const {
  // Plain variables, not a structured binding: the workers' lambda captures
  // them, which C++20 allows only since clang 16.
  // One run takes the numbers in order; a part takes every number and
  // keeps those of its ids.
  const bool whole = Options.Parts <= 1;
  const auto ids =
      whole ? std::pair<uint64_t, uint64_t>{0, UINT64_MAX} : PartIds(Options.Part, Options.Parts);
  const uint64_t firstId = ids.first, endId = ids.second;
  const int64_t first = 0, last = FTotal;
  TTileJobResult result;
  result.Places = whole ? FTotal : CountBelow(endId) - CountBelow(firstId);
  std::atomic<int64_t> next{first}, written{0}, kept{0}, empty{0};
  std::atomic<bool> stop{false};
  std::mutex errorMutex;
  const auto worker = [&] {
    TTileRgba rgba;
    try {
      for (int64_t i = next++; i < last && !stop; i = next++) {
        const TTileId tile = At(i);
        if (!whole) {
          const uint64_t id = PMTilesTileId(tile);
          if (id < firstId || id >= endId) continue;
        }
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
  const int threads = static_cast<int>(std::clamp<int64_t>(result.Places, 1, wanted));
  std::vector<std::thread> pool;
  for (int t = 1; t < threads; ++t) pool.emplace_back(worker);
  worker();
  for (std::thread& t : pool) t.join();
  result.Written = written;
  result.Kept = kept;
  result.Empty = empty;
  return result;
}

uint64_t TileJobFingerprint(const TTileJob& Job, const TTileJobOptions& Options, bool Deduplicate) {
  std::string key = std::to_string(Job.MinZoom()) + "-" + std::to_string(Job.MaxZoom()) + " " +
                    std::to_string(Job.Total()) + " " + TileExtension(Options.Format) +
                    (Options.Exact ? " exact" : "") + (Deduplicate ? "" : " no-dedup");
  for (const auto& m : Job.Tiles().Maps()) {
    std::error_code ec;
    key += "\n" + m->Name();
    for (const std::string& f : {m->Source().CalibrationFile(), m->Source().ImageFile()})
      key += " " + std::to_string(f.empty() ? 0 : std::filesystem::file_size(f, ec));
  }
  return TileChecksum({reinterpret_cast<const uint8_t*>(key.data()), key.size()});
}

TTileManifest PartManifest(const TTileJob& Job, int Part, int Parts, uint64_t Fingerprint,
                           const std::string& Fragment) {
  TTileManifest m;
  m.Part = Part;
  m.Parts = Parts;
  const std::filesystem::path name = std::filesystem::path(Fragment).lexically_normal();
  m.Fragment = (name.has_filename() ? name : name.parent_path()).filename().string();
  m.Job = Fingerprint;
  m.MinZoom = Job.MinZoom();
  m.MaxZoom = Job.MaxZoom();
  std::tie(m.FirstId, m.EndId) = Job.PartIds(Part, Parts);
  m.JobPlaces = Job.Total();
  std::vector<uint64_t> places;
  Job.ForEachIn(m.FirstId, m.EndId, [&](const TTileId&, uint64_t Id) { places.push_back(Id); });
  std::sort(places.begin(), places.end());
  m.Places = static_cast<int64_t>(places.size());
  const std::unique_ptr<TTileArchive> archive = OpenTileArchive(Fragment);
  std::vector<uint8_t> data;
  for (const uint64_t id : places)
    if (archive->Read(id, data)) m.Tiles.push_back({id, data.size(), TileChecksum(data)});
  return m;
}

}  // namespace marovia
