// The streaming pyramid builder: bands of rows per level, reduced as rows
// arrive and cut into tiles when full.
#include "pyramid_builder.h"

#include <algorithm>

#include "box_reduce.h"

namespace marovia::pyr {

namespace {
constexpr uint32_t kWhite = 0x00FFFFFFu;
}

TPyramidBuilder::TPyramidBuilder(int Width, int Height, TTileSink& Sink)
    : table_(LevelTable(Width, Height)), levels_(table_.size()), tile_(kTilePixels), sink_(Sink) {
  for (size_t k = 0; k < table_.size(); ++k)
    levels_[k].Pixels.resize(static_cast<size_t>(table_[k].Width) * kTile);
}

int64_t TPyramidBuilder::BandBytes(int Width) {
  // The bands of all levels sum to less than twice the first one; one tile
  // buffer besides.
  return 2 * int64_t{Width} * kTile * 4 + int64_t{kTilePixels} * 4;
}

uint32_t* TPyramidBuilder::NextRow() {
  TBand& b = levels_[0];
  return b.Pixels.data() + static_cast<size_t>(b.Rows % kTile) * table_[0].Width;
}

void TPyramidBuilder::CommitRow() {
  Commit(0);
}

void TPyramidBuilder::Commit(size_t k) {
  TBand& b = levels_[k];
  const TLevel& l = table_[k];
  const int y = b.Rows++;
  const int inBand = y % kTile;
  const bool last = b.Rows == l.Height;
  if (k + 1 < levels_.size() && (y % 2 == 1 || last)) {
    // Rows pair within a band: kTile is even.
    const size_t w = static_cast<size_t>(l.Width);
    const uint32_t* r1 = b.Pixels.data() + inBand * w;
    const uint32_t* r0 = y % 2 == 1 ? r1 - w : r1;
    TBand& n = levels_[k + 1];
    uint32_t* dest = n.Pixels.data() + static_cast<size_t>(n.Rows % kTile) * table_[k + 1].Width;
    BoxReduceRow(r0, r1, l.Width, dest);
    Commit(k + 1);
  }
  if (inBand == kTile - 1 || last) Flush(k, inBand + 1);
}

void TPyramidBuilder::Flush(size_t k, int RowsInBand) {
  const TLevel& l = table_[k];
  const TBand& b = levels_[k];
  const int ty = (b.Rows - 1) / kTile;
  for (int tx = 0; tx < l.Across; ++tx) {
    const int x0 = tx * kTile;
    const int w = std::min(kTile, l.Width - x0);
    for (int r = 0; r < kTile; ++r) {
      uint32_t* out = tile_.data() + static_cast<size_t>(r) * kTile;
      if (r < RowsInBand) {
        const uint32_t* in = b.Pixels.data() + static_cast<size_t>(r) * l.Width + x0;
        std::copy(in, in + w, out);
        std::fill(out + w, out + kTile, kWhite);
      } else {
        std::fill(out, out + kTile, kWhite);
      }
    }
    sink_.Put(static_cast<int>(k), tx, ty, tile_.data());
  }
}

}  // namespace marovia::pyr
