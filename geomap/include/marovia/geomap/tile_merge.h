// Joining tile sets into one archive, and checking an archive against the
// manifests of the fragments it was joined from (tile_manifest.h).
//
// Merging: the inputs (PMTiles, MBTiles, directories; tile_archive.h) are
// stacked finest first (the highest MaxZoom), then in the order given,
// which is the priority of the runs' maps. A tile that one input alone
// holds is copied byte for byte; the fragments of one job never share a
// tile, so joining them makes the bytes one run makes. A tile that several
// inputs hold takes each pixel from the first input in the stack whose
// pixel is not transparent, the rule by which one run quilts its maps: a
// run's tiles are transparent outside each map's border, so sheets of
// separate runs join without their collars. JPEG tiles have no
// transparency: the first input's tile is taken whole. The output is a
// .pmtiles or .mbtiles file, written under a temporary name and renamed
// once whole (tile_store.h).
//
// Verifying: every manifest in the folder is read; they must be the parts
// 1..N of one job whose id ranges adjoin and cover the job's levels; then
// every tile they list must be in the archive with its length and
// checksum, and the archive must hold no tile they do not list.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "marovia/geomap/tile_archive.h"

namespace marovia {

struct TTileMergeResult {
  int64_t Tiles = 0;    // tiles written
  int64_t Stacked = 0;  // of them, put together from several inputs
};

// The inputs' indexes in stack order.
std::vector<size_t> TileStackOrder(const std::vector<TTileSetInfo>& Inputs);

// EZYLGeoMapError for inputs of different formats, an output that is no
// .pmtiles or .mbtiles file or is one of the inputs, and the readers'
// errors; EInOutError when the output cannot be written.
TTileMergeResult MergeTileArchives(const std::vector<std::string>& Inputs,
                                   const std::string& Output);

struct TTileVerifyResult {
  int Manifests = 0;
  int64_t Listed = 0;  // tiles the manifests list
  int64_t Missing = 0, Extra = 0, Changed = 0;
  // One line each: what is wrong with the manifests, and the first few
  // tiles of each kind missing, extra or changed ("z/x/y").
  std::vector<std::string> Problems;
  bool Ok() const { return Problems.empty(); }
};

// The archive Archive against the manifests in Folder (its files ending in
// ".manifest"). A manifest that cannot be read raises.
TTileVerifyResult VerifyTileArchive(const std::string& Archive, const std::string& Folder);

}  // namespace marovia
