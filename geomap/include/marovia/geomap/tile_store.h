// Where web tiles are written: a directory tree, an MBTiles file or a
// PMTiles file, chosen by the output's name.
//
// Directory ("OUT", no known extension): OUT/{z}/{x}/{y}.png|jpg, rows
// counted from the north. Each tile is written to a hidden temporary name
// beside it and renamed, so a tile that exists is whole whatever stopped
// the run; metadata.json beside the levels.
//
// MBTiles ("OUT.mbtiles", SQLite): table metadata(name, value) with name,
// format, bounds "W,S,E,N", center "lon,lat,z", minzoom, maxzoom, type;
// table tiles(zoom_level, tile_column, tile_row, tile_data) with rows
// counted from the south: tile_row = 2^z - 1 - y. Tiles are committed in
// transactions of a few hundred, so a stopped run leaves the tiles of the
// committed transactions, each whole.
//
// PMTiles ("OUT.pmtiles", version 3, little-endian): the 127-byte header,
// the root directory, the JSON metadata, the leaf directories, then the
// tile data in tile id order (clustered); no internal compression.
//   offset  size  field
//        0     7  "PMTiles"
//        7     1  3
//        8    16  root directory offset, length
//       24    16  JSON metadata offset, length
//       40    16  leaf directories offset, length
//       56    16  tile data offset, length
//       72    24  addressed tiles, tile entries, tile contents
//       96     1  clustered (1)
//       97     1  internal compression (1: none)
//       98     1  tile compression (1: none)
//       99     1  tile type (2 PNG, 3 JPEG)
//      100     2  min zoom, max zoom
//      102    16  min lon, min lat, max lon, max lat (degrees * 1e7, int32)
//      118     1  centre zoom
//      119     8  centre lon, centre lat (degrees * 1e7, int32)
// Tile id: the tiles of all coarser levels, (4^z - 1) / 3, plus the tile's
// position along the Hilbert curve of level z. A directory is: the entry
// count, then the tile id deltas, the run lengths, the lengths and the
// offsets (0: right after the previous entry, else offset + 1), each as
// unsigned LEB128 varints. Entries with run length 0 point to a leaf
// directory. Tiles arrive in any order: their bytes go to a scratch file
// beside the output, and Finish writes the archive to a temporary name and
// renames it, so a run that stops leaves no half archive.
//
// Threads: Put and Has may be called from several threads at once.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "marovia/geomap/web_tiles.h"

namespace marovia {

struct TTileSetInfo {
  std::string Name;
  std::string Description;
  TTileFormat Format = TTileFormat::Png;
  TGeoBounds Bounds;
  int MinZoom = 0;
  int MaxZoom = 0;
};

enum class TTileStoreKind { Directory, MBTiles, PMTiles };

// By the name: ".mbtiles", ".pmtiles" (any case), else a directory.
TTileStoreKind TileStoreKindOf(const std::string& Output);

class TTileStore {
 public:
  virtual ~TTileStore() = default;
  // Whether the tile is stored already and whole (for resuming).
  virtual bool Has(const TTileId& Tile) = 0;
  // Stores the tile's encoded bytes. EInOutError naming the output when it
  // cannot (a full disk keeps every tile stored before).
  virtual void Put(const TTileId& Tile, std::span<const uint8_t> Data) = 0;
  // Writes the metadata and completes the output.
  virtual void Finish() = 0;
};

// Opens Output for writing tiles. Resume keeps the tiles an earlier run
// stored (directories and MBTiles; a PMTiles archive is always written
// anew). Raises EInOutError naming the output when it cannot be created.
std::unique_ptr<TTileStore> OpenTileStore(const std::string& Output, const TTileSetInfo& Info,
                                          bool Resume);

// The PMTiles tile id of a tile, and its inverse.
uint64_t PMTilesTileId(const TTileId& Tile);
TTileId PMTilesTileOf(uint64_t TileId);

// The stores, by kind (tile_store_directory.cpp, tile_store_mbtiles.cpp,
// tile_store_pmtiles.cpp).
std::unique_ptr<TTileStore> OpenDirectoryTileStore(const std::string& Output,
                                                   const TTileSetInfo& Info, bool Resume);
std::unique_ptr<TTileStore> OpenMBTilesStore(const std::string& Output, const TTileSetInfo& Info,
                                             bool Resume);
std::unique_ptr<TTileStore> OpenPMTilesStore(const std::string& Output, const TTileSetInfo& Info);

}  // namespace marovia
