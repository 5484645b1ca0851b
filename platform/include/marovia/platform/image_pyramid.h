// An image too large to hold decoded, kept as square tiles at levels of
// halving resolution, so that a view of any part at any magnification reads
// only the tiles it touches.
//
// Levels: level 0 is the image at full resolution, Width x Height. Level
// k + 1 is level k halved: LevelWidth(k + 1) = ceil(LevelWidth(k) / 2), the
// same for the height, down to the first level that fits in one tile. Each
// pixel of level k + 1 is the box average of the 2 x 2 pixels of level k it
// covers, per channel, rounded half up: (a + b + c + d + 2) / 4; at an odd
// right or bottom edge the missing pixels repeat the last column or row.
//
// Tiles: kTileSize x kTileSize pixels, 0x00RRGGBB words, row-major; tile
// (TX, TY) of a level holds the pixels from (TX * kTileSize, TY *
// kTileSize). The part of an edge tile beyond its level's edge is white.
//
// Storage: Open() builds the pyramid of an image file in one streaming pass
// over the source (memory proportional to the width, not the area) and
// keeps it in a cache file keyed by the image's path, size and modification
// time, so the next opening reads no source pixel. A cache file that is
// damaged, truncated, foreign or stale is rebuilt, never trusted. Where no
// cache file can be written the pyramid is built in memory within
// MemoryBudget, or the opening fails with a clear message.
//
// Memory: building holds about 2 * kTileSize rows of the image (2 KiB per
// pixel of width) plus the decoder's rows; an image whose rows alone would
// exceed MemoryBudget is refused before anything is allocated for it. Two
// kinds of file can only be decoded whole and are accepted only when the
// whole image (progressive JPEG: all its coefficients, 2 bytes a sample;
// interlaced PNG: 4 bytes a pixel) fits the budget beside those rows; TIFF
// holds one strip or one row of tiles, so a TIFF stored as a single huge
// strip may be refused likewise, and so may an RLE-compressed BMP.
// Reading a cache file keeps at most MemoryBudget bytes of decoded tiles.
//
// Threads: the accessors may be called from any number of threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "marovia/platform/graphics.h"
#include "marovia/platform/sample_display.h"

namespace marovia {

struct TPyramidOptions {
  // Directory of the cache files; empty: $XDG_CACHE_HOME/marovia, or
  // ~/.cache/marovia when XDG_CACHE_HOME is unset.
  std::string CacheDir;
  // Bytes of decoded tiles kept in memory, and the limit of a pyramid built
  // in memory when no cache file can be written.
  int64_t MemoryBudget = int64_t{256} << 20;
  // How samples that are not 8-bit colours are shown (TIFF elevation
  // models, multi-band scenes); each display has a cache file of its own.
  TSampleDisplay SampleDisplay;
};

// The pixels of one tile, kTileSize * kTileSize words; shared, so a tile in
// use stays valid while the pyramid's memory cache drops it.
using TTilePixels = std::shared_ptr<const uint32_t[]>;

class TImagePyramid {
 public:
  static constexpr int kTileSize = 256;

  // The pyramid of an image file (JPEG, PNG, TIFF, BMP), from the cache or
  // built now. OnProgress is fired with the building's progress (Sender
  // null; psStarting, psRunning as the percentage grows, psEnding), only
  // when the pyramid is built. Errors: EInOutError for a file that cannot
  // be read, and when no cache file can be written and the pyramid does
  // not fit MemoryBudget; EInvalidGraphic (naming the file) for data that
  // are not a supported image, are cut short or exceed the budget, and for
  // a SampleDisplay that SampleDisplayProblem refuses. No cache
  // file is left behind by a failed build.
  static std::unique_ptr<TImagePyramid> Open(const std::string& FileName,
                                             const TPyramidOptions& Options = {},
                                             const TProgressEvent& OnProgress = {});
  // The pyramid of a bitmap, held in memory (tiles of one colour shared).
  // ERangeError for an empty bitmap.
  static std::unique_ptr<TImagePyramid> FromBitmap(const TBitmap& Image);

  virtual ~TImagePyramid() = default;

  int Width() const { return LevelWidth(0); }
  int Height() const { return LevelHeight(0); }
  virtual int Levels() const = 0;
  virtual int LevelWidth(int Level) const = 0;
  virtual int LevelHeight(int Level) const = 0;
  // Rounded up, in 64 bits: sides go up to 2^31 - 1.
  int TilesAcross(int Level) const { return TilesOver(LevelWidth(Level)); }
  int TilesDown(int Level) const { return TilesOver(LevelHeight(Level)); }
  static int TilesOver(int Side) {
    return static_cast<int>((int64_t{Side} + kTileSize - 1) / kTileSize);
  }

  // Tile (TX, TY) of Level. ERangeError outside the level's tiles;
  // EInOutError when a cache file's tile cannot be read or is found damaged
  // (the cache file is then removed, and the next Open rebuilds it).
  virtual TTilePixels Tile(int Level, int TX, int TY) const = 0;

  // Copies the pixels of Level within [Left, Left + W) x [Top, Top + H) to
  // Dest (DestStride words per row); pixels outside the level are left as
  // they were in Dest.
  void ReadRegion(int Level, int64_t Left, int64_t Top, int W, int H, uint32_t* Dest,
                  ptrdiff_t DestStride) const;
};

// Halves Src (SrcW x SrcH words, SrcStride words per row) into Dest
// (ceil(SrcW / 2) x ceil(SrcH / 2), DestStride words per row) by the box
// average described above.
void BoxReduce2x2(const uint32_t* Src, int SrcW, int SrcH, ptrdiff_t SrcStride, uint32_t* Dest,
                  ptrdiff_t DestStride);

}  // namespace marovia
