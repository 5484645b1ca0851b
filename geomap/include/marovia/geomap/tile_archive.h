// Tile sets read back: a PMTiles archive, an MBTiles file or a directory
// of {z}/{x}/{y}.png|jpg (the three outputs of tile_store.h, and the same
// forms written by other software), each tile named by its PMTiles tile id.
//
// Every reader checks what it reads against the file: a PMTiles archive's
// sections must lie within the file, its directories within their
// sections, entry counts within the bytes that hold them, tile ids rising,
// leaves at most a few deep; an MBTiles row's level, column and row within
// the grid. A file that breaks any of it raises EZYLGeoMapError naming the
// file and the offset (or row) at fault. No allocation follows a number
// read from a file beyond the bytes that hold it, except TileIds, which
// lists at most kMaxArchiveTiles tiles (more raise), and gzip-compressed
// PMTiles directories, which inflate to at most 256 MiB together.
//
// Supported PMTiles: version 3 with plain or gzip-compressed directories
// and metadata (internal compression 1 or 2; 0, unknown, is read as
// plain); other compressions are refused by name. Info().CompressDirectories
// tells which, so a merge writes its output as its first input is.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "marovia/geomap/tile_store.h"

namespace marovia {

// The most tiles listed (TileIds), and so merged or verified at once: their
// ids alone take 2 GiB, and an output store as much again. Tile ids
// themselves run over every level 0-24.
inline constexpr uint64_t kMaxArchiveTiles = uint64_t{1} << 28;

// The limit's error, naming Name and the limit, when Tiles exceeds it.
// What adds inputs together (a merge) passes their sum.
void CheckListableTiles(const std::string& Name, uint64_t Tiles);

class TTileArchive {
 public:
  virtual ~TTileArchive() = default;
  const std::string& File() const { return FFile; }
  // Name, format, levels and bounds as the archive states them (a
  // directory: its metadata.json when there is one, else what its tiles
  // show).
  const TTileSetInfo& Info() const { return FInfo; }
  // The number of tiles stored (addressed, for PMTiles).
  virtual uint64_t TileCount() const = 0;
  // The ids of every tile stored, ascending.
  virtual std::vector<uint64_t> TileIds() = 0;
  // The bytes of tile Id into Data; false when the archive has no such
  // tile. EInOutError when the file cannot be read.
  virtual bool Read(uint64_t Id, std::vector<uint8_t>& Data) = 0;

 protected:
  std::string FFile;
  TTileSetInfo FInfo;
};

// Opens File by its kind (TileStoreKindOf). EInOutError when it cannot be
// opened, EZYLGeoMapError when it is no such tile set.
std::unique_ptr<TTileArchive> OpenTileArchive(const std::string& File);
std::unique_ptr<TTileArchive> OpenPMTilesArchive(const std::string& File);
std::unique_ptr<TTileArchive> OpenMBTilesArchive(const std::string& File);
std::unique_ptr<TTileArchive> OpenTileDirectory(const std::string& Folder);

}  // namespace marovia
