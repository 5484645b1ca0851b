// A run of web tiles of an atlas (atlas_tiles.h) into a tile store
// (tile_store.h): the numbering of the tiles, parts of a job, worker
// threads, resuming and what a full disk leaves.
//
// Numbering: the tiles to make are numbered level by level from MinZoom,
// block by block (TAtlasTiles::TilesAt: bands of rows from the north),
// row by row within a block. Part K of N takes the K-th of N equal ranges
// of those numbers, so the parts of one job write disjoint tiles whose
// union is what one run writes. Threads take tiles one at a time from a
// shared counter; every tile is rendered independently, so the bytes of a
// tile do not depend on the threads, the part or the order.
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
  // The numbers [first, last) of part Part of Parts.
  std::pair<int64_t, int64_t> PartRange(int Part, int Parts) const;

  // Renders the part's tiles into Store (Put; Finish is left to the
  // caller). Errors are answered in the result, not raised.
  TTileJobResult Run(TTileStore& Store, const TTileJobOptions& Options) const;

 private:
  const TAtlasTiles& FTiles;
  std::vector<TTileBlock> FBlocks;
  std::vector<int64_t> FFirst;  // number of each block's first tile
  int64_t FTotal = 0;
};

}  // namespace marovia
