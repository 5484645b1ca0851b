// Builds every level of a pyramid in one pass over the rows of level 0.
//
// Each level keeps one band of kTileSize rows of its own width. A row given
// to a level goes into its band; every second row is reduced with the one
// before it into the next level's band (a level's last row, when its
// height is odd, with itself), and a full band, or the last rows of the
// level, is cut into tiles for the sink. Memory is therefore about
// 2 * kTileSize rows of level 0 (BandBytes), whatever the height.
#pragma once

#include <cstdint>
#include <vector>

#include "pyramid_geometry.h"

namespace marovia::pyr {

// Receives each tile once, kTilePixels words, the part beyond the level's
// edge white.
class TTileSink {
 public:
  virtual ~TTileSink() = default;
  virtual void Put(int Level, int TX, int TY, const uint32_t* Pixels) = 0;
};

class TPyramidBuilder {
 public:
  TPyramidBuilder(int Width, int Height, TTileSink& Sink);

  // Bytes the builder holds for an image Width pixels wide.
  static int64_t BandBytes(int Width);

  // Where the next row of level 0 (Width words) is to be written; then call
  // CommitRow. Rows come top-down; exactly Height of them.
  uint32_t* NextRow();
  void CommitRow();
  int RowsDone() const { return levels_[0].Rows; }

  const std::vector<TLevel>& Levels() const { return table_; }

 private:
  struct TBand {
    std::vector<uint32_t> Pixels;  // kTile rows of the level's width
    int Rows = 0;                  // rows of the level received so far
  };
  void Commit(size_t Level);
  void Flush(size_t Level, int RowsInBand);

  std::vector<TLevel> table_;
  std::vector<TBand> levels_;
  std::vector<uint32_t> tile_;
  TTileSink& sink_;
};

}  // namespace marovia::pyr
