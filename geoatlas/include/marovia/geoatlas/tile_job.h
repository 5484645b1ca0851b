// A run of web tiles of an atlas (atlas_tiles.h) into a tile store
// (tile_store.h): the numbering of the tiles, parts of a job, worker
// threads, resuming and what a full disk leaves.
//
// Numbering: the tiles to make are numbered level by level from MinZoom,
// block by block (TAtlasTiles::TilesAt: bands of rows from the north),
// row by row within a block. Part K of N takes the tiles of the K-th of N
// contiguous ranges of PMTiles tile ids (level by level, along the Hilbert
// curve within a level) that hold equal shares of the tiles, so the parts
// of one job write disjoint tiles whose union is what one run writes, and
// each part's tiles lie together in an archive: fragments join by
// concatenation, and a part is a range anyone can check. Threads take
// tiles one at a time from a shared counter; every tile is rendered
// independently, so the bytes of a tile do not depend on the threads, the
// part or the order.
//
// Failure: the first error of any thread (a store that cannot write, a
// full disk) stops every thread after its current tile; every tile stored
// before is whole, so a run resumed (Resume, for stores that keep tiles)
// goes on where it stopped.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "marovia/geoatlas/atlas_tiles.h"
#include "marovia/geomap/tile_manifest.h"
#include "marovia/geomap/tile_store.h"

namespace marovia {

struct TTileJobOptions {
  int Part = 1, Parts = 1;  // 1 <= Part <= Parts
  int Threads = 0;          // 0: one per processor
  bool Resume = false;      // tiles the store has already are kept
  bool Exact = false;       // TTileWarper::Warp
  TTileFormat Format = TTileFormat::Png;
};

struct TTileJobResult {
  int64_t Written = 0;
  int64_t Kept = 0;    // there already (Resume)
  int64_t Empty = 0;   // no map covers any pixel: no tile
  int64_t Places = 0;  // the tile places of this part
  // The first error that stopped the run ("" when it ran through), and
  // whether it was a full disk (or quota).
  std::string Error;
  bool DiskFull = false;
};

class TTileJob {
 public:
  // The tiles of levels MinZoom..MaxZoom of Tiles (which must outlive the
  // job), numbered.
  TTileJob(const TAtlasTiles& Tiles, int MinZoom, int MaxZoom);

  int64_t Total() const { return FTotal; }
  // Tile number Index (0 .. Total - 1).
  TTileId At(int64_t Index) const;
  // The tile ids [first, end) of part Part of Parts: the parts' ranges
  // adjoin, and together cover the ids of levels MinZoom..MaxZoom.
  std::pair<uint64_t, uint64_t> PartIds(int Part, int Parts) const;
  // The number of the job's tiles whose tile id is below Id.
  int64_t CountBelow(uint64_t Id) const;
  int MinZoom() const { return FMinZoom; }
  int MaxZoom() const { return FMaxZoom; }
  const TAtlasTiles& Tiles() const { return FTiles; }
  // Calls Visit with each tile of the ids [First, End), in no set order.
  template <class F>
  void ForEachIn(uint64_t First, uint64_t End, F&& Visit) const {
    for (int64_t i = 0; i < FTotal; ++i) {
      const TTileId t = At(i);
      const uint64_t id = PMTilesTileId(t);
      if (id >= First && id < End) Visit(t, id);
    }
  }

  // Renders the part's tiles into Store (Put; Finish is left to the
  // caller). Errors are answered in the result, not raised.
  TTileJobResult Run(TTileStore& Store, const TTileJobOptions& Options) const;

 private:
  // The id of the tile of rank Rank in id order (Total: the end of the
  // last level).
  uint64_t IdOfRank(int64_t Rank) const;

  const TAtlasTiles& FTiles;
  int FMinZoom = 0, FMaxZoom = -1;
  std::vector<TTileBlock> FBlocks;
  std::vector<int64_t> FFirst;  // number of each block's first tile
  int64_t FTotal = 0;
};

// What the tiles of a job depend on: its maps (names, and the sizes of
// their calibration and image files), levels, tile count, and the format,
// Exact and Deduplicate. The manifests' job fingerprint: the same for every
// part of one job and for a re-run with the same inputs.
uint64_t TileJobFingerprint(const TTileJob& Job, const TTileJobOptions& Options, bool Deduplicate);

// The manifest of part Part of Parts of Job once complete: its tiles read
// back from Fragment (a .pmtiles, .mbtiles or directory that holds them),
// Fingerprint the job's (tile_manifest.h). The file name of Fragment goes
// into the manifest.
TTileManifest PartManifest(const TTileJob& Job, int Part, int Parts, uint64_t Fingerprint,
                           const std::string& Fragment);

}  // namespace marovia
