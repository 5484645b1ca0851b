// The manifest of a tile fragment: what one part of a tile job was to make
// and what it made, written when the part is complete, so that the
// fragments of a job can be checked against their archive (tile_merge.h).
//
// A fragment is the output of part K of N: an archive
// "NAME.part-K-of-N.pmtiles" (or .mbtiles) beside the output named NAME
// .pmtiles, or for a directory the tiles written into it; its manifest is
// the fragment's name and ".manifest" (a directory's lies inside it,
// "part-K-of-N.manifest"). K and N are written with as many digits as N
// has, so the fragments of a job sort in order.
//
// Text, one record a line, fields separated by one space:
//   marovia-tile-manifest 1
//   part K N
//   fragment NAME            the fragment's file name, without folders
//   job HEX                  the job's fingerprint (same maps, levels, format)
//   levels MIN MAX
//   ids FIRST END            tile ids [FIRST, END) of the part
//   places P TOTAL           tile places of the part, of the whole job
//   tiles T                  tiles made (the places left are beyond every map)
//   checksum HEX             ManifestChecksum of the tile lines
//   t ID LENGTH HEX          one line a tile made, ids rising, HEX its TileChecksum
//   end
// Numbers are decimal, HEX 16 lowercase hexadecimal digits. A manifest
// without its "end" line was cut short and is refused.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace marovia {

struct TManifestTile {
  uint64_t Id = 0;
  uint64_t Length = 0;
  uint64_t Checksum = 0;
  friend bool operator==(const TManifestTile&, const TManifestTile&) = default;
};

struct TTileManifest {
  int Part = 1, Parts = 1;
  std::string Fragment;
  uint64_t Job = 0;
  int MinZoom = 0, MaxZoom = 0;
  uint64_t FirstId = 0, EndId = 0;
  int64_t Places = 0, JobPlaces = 0;
  std::vector<TManifestTile> Tiles;

  std::string Serialize() const;
  // EZYLGeoMapError naming File, the line and its byte offset for anything
  // malformed, out of order, or inconsistent (a checksum that does not
  // match its tiles, a count that does not match its lines).
  static TTileManifest Parse(std::string_view Text, const std::string& File);
  // Reading (EInOutError when the file cannot be read; at most 1 GiB) and
  // writing (to a temporary name, renamed once whole).
  static TTileManifest Read(const std::string& File);
  void Write(const std::string& File) const;
};

// A 64-bit checksum of a tile's bytes (FNV-1a).
uint64_t TileChecksum(std::span<const uint8_t> Data);
// The checksum of a list of tiles: of their ids, lengths and checksums.
uint64_t ManifestChecksum(std::span<const TManifestTile> Tiles);

// The name of part Part of Parts of Output, and the name of its manifest.
std::string FragmentName(const std::string& Output, int Part, int Parts);
std::string ManifestName(const std::string& Output, int Part, int Parts);

}  // namespace marovia
