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
// tile data in tile id order (clustered). The directories and the
// metadata are stored as they are (internal compression 1), or each
// compressed as a gzip stream of its own (2) when CompressDirectories is
// set; readers of either are common, plain ones are the default because
// earlier versions of the library read nothing else.
//   offset  size  field
//        0     7  "PMTiles"
//        7     1  3
//        8    16  root directory offset, length
//       24    16  JSON metadata offset, length
//       40    16  leaf directories offset, length
//       56    16  tile data offset, length
//       72    24  addressed tiles, tile entries, tile contents
//       96     1  clustered (1)
//       97     1  internal compression (1: none, 2: gzip)
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
// directory. Identical tiles (open sea, blank paper) are stored once
// (Deduplicate): every tile of that content points at the same bytes, and
// tiles of consecutive ids with one content are a single entry with a run
// length, so the header counts addressed tiles >= entries >= contents.
// Tiles arrive in any order: their bytes go to a scratch file beside the
// output, and Finish writes the archive to a temporary name and renames
// it, so a run that stops leaves no half archive.
//
// Threads: Put and Has may be called from several threads at once.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "marovia/geomap/web_tiles.h"

namespace marovia {

struct TTileSetInfo {
  std::string Name;
  std::string Description;
  TTileFormat Format = TTileFormat::Png;
  TGeoBounds Bounds;
  int MinZoom = 0;
  int MaxZoom = 0;
  // PMTiles: identical tiles stored once (see above).
  bool Deduplicate = true;
  // PMTiles: directories and metadata compressed with gzip (see above).
  bool CompressDirectories = false;
  // The centre (longitude, latitude) when it is not the bounds' middle: an
  // archive read back states its own, which a merge keeps.
  std::optional<std::pair<double, double>> Center;
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

// Text as a JSON string literal, quotes included: quote and backslash
// escaped, control characters as \u00XX, and '<' as \u003c so that the
// literal can stand inside a page's script. The bytes are passed on as
// they are otherwise (UTF-8 in, UTF-8 out). The one escaper of the tile
// sets' metadata and pages.
std::string JsonString(std::string_view Text);

// Data as one gzip stream, and a gzip stream inflated (EZYLGeoMapError
// when it is not one, is cut short, has bytes after it, or would inflate
// beyond MaxBytes: the output grows with the data, not with any size the
// stream states).
std::vector<uint8_t> GzipBytes(std::span<const uint8_t> Data);
std::vector<uint8_t> GunzipBytes(std::span<const uint8_t> Data, size_t MaxBytes);

// The PMTiles header (offsets 0..126 above) as a value, with its one
// serialiser and its reader.
struct TPMTilesHeader {
  static constexpr size_t kBytes = 127;
  uint64_t RootOffset = 0, RootLength = 0;
  uint64_t MetadataOffset = 0, MetadataLength = 0;
  uint64_t LeafOffset = 0, LeafLength = 0;
  uint64_t DataOffset = 0, DataLength = 0;
  uint64_t AddressedTiles = 0, TileEntries = 0, TileContents = 0;
  bool Clustered = true;
  uint8_t InternalCompression = 1;  // none
  uint8_t TileCompression = 1;      // none
  uint8_t TileType = 2;             // 2 PNG, 3 JPEG
  uint8_t MinZoom = 0, MaxZoom = 0;
  int32_t MinLonE7 = 0, MinLatE7 = 0, MaxLonE7 = 0, MaxLatE7 = 0;  // degrees * 1e7
  uint8_t CenterZoom = 0;
  int32_t CenterLonE7 = 0, CenterLatE7 = 0;

  // The kBytes bytes of the header.
  std::string Serialize() const;
  // The header of an archive's first kBytes bytes; EZYLGeoMapError when
  // they are fewer or are not a version 3 header.
  static TPMTilesHeader Deserialize(std::span<const uint8_t> Bytes);
};

// The PMTiles tile id of a tile, and its inverse.
uint64_t PMTilesTileId(const TTileId& Tile);
TTileId PMTilesTileOf(uint64_t TileId);

// EZYLGeoMapError naming Store unless Tile lies on the grid of a level
// 0..kMaxWebZoom: the tiles that the archive readers take back. Every
// store's Put checks it, so that no store writes what it cannot read.
void CheckStorableTile(const std::string& Store, const TTileId& Tile);

// The stores, by kind (tile_store_directory.cpp, tile_store_mbtiles.cpp,
// tile_store_pmtiles.cpp).
std::unique_ptr<TTileStore> OpenDirectoryTileStore(const std::string& Output,
                                                   const TTileSetInfo& Info, bool Resume);
std::unique_ptr<TTileStore> OpenMBTilesStore(const std::string& Output, const TTileSetInfo& Info,
                                             bool Resume);
std::unique_ptr<TTileStore> OpenPMTilesStore(const std::string& Output, const TTileSetInfo& Info);

}  // namespace marovia
