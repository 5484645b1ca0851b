// The pyramid cache file.
//
// All numbers little-endian. The file is written in one go to a temporary
// name and renamed into place, so a reader sees either nothing or a whole
// file; everything before the tiles and the index at the end is covered by
// a checksum, and nothing in it is trusted before the checksum, the sizes
// and every tile's bounds have been checked.
//
//   offset  size  meaning
//   0       8     magic "MRVPYRA\n"
//   8       4     version (1)
//   12      4     tile side in pixels (256)
//   16      4     width of level 0, 1 .. 2^31 - 1
//   20      4     height of level 0, 1 .. 2^31 - 1
//   24      4     number of levels L (as the sizes give it)
//   28      4     length P of the source's identity, 1 .. 4096
//   32      8     size of the source file in bytes
//   40      8     source's modification time, nanoseconds since 1970
//   48      8     offset of the tile index; the index runs to the file's end
//   56      8     checksum: 64-bit FNV-1a of bytes 0..55, the path, the
//                 level table and the tile index, in that order
//   64      P     identity of the source (UTF-8, no terminator): its
//                 absolute path, followed, for a display of its samples
//                 other than the default, by a line feed and the
//                 display's key (TSampleDisplay::Key)
//   64+P    8 L   level table: width, height (4 bytes each) per level
//   then    ...   tile data
//   index   16 T  per tile, levels in order, each level's tiles row by row:
//                 offset (8), length (4), checksum of the tile's data (4,
//                 TileChecksum)
//
// A tile's data is kTilePixels pixels as bytes B, G, R, row by row: as they
// are (length 3 * kTilePixels), or compressed as one zstd frame (a length
// between 4 and 3 * kTilePixels - 1), or a single pixel B, G, R that fills
// the whole tile (length 3). Tiles may share data. The tile data are not read when
// the file is opened; each tile's checksum is checked when it is read, so a
// file whose tiles were damaged (or never reached the disk before a crash)
// is caught then.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pyramid_geometry.h"

namespace marovia::pyr {

constexpr uint8_t kCacheMagic[8] = {'M', 'R', 'V', 'P', 'Y', 'R', 'A', '\n'};
constexpr uint32_t kCacheVersion = 1;
constexpr size_t kCacheHeaderSize = 64;
constexpr size_t kMaxCachePath = 4096;
constexpr uint32_t kRawTileBytes = 3 * kTilePixels;
constexpr uint32_t kSolidTileBytes = 3;

// What identifies the source a cache file was built from.
struct TCacheKey {
  std::string Path;  // absolute, and the display's key when not the default
  uint64_t Size = 0;
  int64_t MTimeNs = 0;
};

struct TTileEntry {
  uint64_t Offset = 0;
  uint32_t Length = 0;
  uint32_t Checksum = 0;
};

// The checksum of a tile's data: a 64-bit multiply-xor hash over 8-byte
// words in four independent lanes (fast enough to add little to writing
// and reading tiles), folded to 32 bits.
uint32_t TileChecksum(const uint8_t* Data, size_t Size);

// A checked cache file's contents besides the tile data.
struct TCacheLayout {
  TCacheKey Key;
  int Width = 0;
  int Height = 0;
  std::vector<TLevel> Levels;
  std::vector<TTileEntry> Index;
  uint64_t IndexOffset = 0;
};

constexpr size_t kChecksumOffset = 56;

// The checksum of a file whose first MetaSize bytes are Meta (header, path
// and level table) and whose index is Index.
uint64_t CacheChecksum(const uint8_t* Meta, size_t MetaSize, const uint8_t* Index,
                       size_t IndexSize);

// The 64-bit FNV-1a hash, continued from Hash.
uint64_t Fnv1a(const void* Data, size_t Size, uint64_t Hash = 0xCBF29CE484222325ull);

// Byte counts of the parts of a file of this layout.
size_t MetaBytes(size_t PathLength, size_t Levels);  // header, path and level table

// The header, path and level table (MetaBytes) for a layout whose index is
// complete; the checksum covers Index as it will be written at IndexOffset.
std::vector<uint8_t> EncodeMeta(const TCacheLayout& Layout);
std::vector<uint8_t> EncodeIndex(const std::vector<TTileEntry>& Index);

// Checks a cache file: Meta holds its first bytes (at least the header;
// NeedMeta answers how many are needed once the header is there), Index
// the bytes from the index offset to the end, FileSize the file's size.
// Answers false with Why for anything that is not a whole, consistent file;
// on true every tile entry lies within the file between the meta bytes and
// the index.
size_t NeedMeta(const uint8_t* Header, size_t Size);  // 0: not a cache file
bool ParseCacheHeader(const uint8_t* Meta, size_t MetaSize, uint64_t FileSize, TCacheLayout& Layout,
                      std::string& Why);
bool ParseCacheIndex(const uint8_t* Meta, size_t MetaSize, const uint8_t* Index, size_t IndexSize,
                     uint64_t FileSize, TCacheLayout& Layout, std::string& Why);

}  // namespace marovia::pyr
