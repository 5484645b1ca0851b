// The map image of a view drawn from its tile pyramid: the level at or just
// above the magnification (so that it is never enlarged from a coarser level
// than needed), only the window of that level the view shows, stretched in
// the control's mode like an image in memory.
//
// At level 0 the window is scaled exactly as the bitmap in memory would be
// (the same source rectangle, only shifted), so the pixels are the same. A
// coarser level's window starts and ends on its own pixels, placed on the
// view at the nearest view pixels.
#include <algorithm>
#include <cmath>

#include "marovia/geomap/geomap.h"
#include "marovia/platform/image_pyramid.h"
#include "marovia/platform/stretchblt.h"
#include "render/map_view.h"

namespace marovia {

using render::RoundToPosition;
using render::TMapView;

namespace {

int64_t FloorDiv(int64_t A, int64_t B) {
  return A / B - ((A % B != 0) && ((A < 0) != (B < 0)));
}

int64_t CeilDiv(int64_t A, int64_t B) {
  return -FloorDiv(-A, B);
}

// The finest level whose resolution (1 / 2^level) is at least Magnify.
int LevelFor(const TImagePyramid& Pyramid, double Magnify) {
  int level = 0;
  while (level + 1 < Pyramid.Levels() && std::ldexp(1.0, -(level + 1)) >= Magnify) ++level;
  return level;
}

}  // namespace

void TGeoMap::DrawTiledImage(TCanvas& Canvas, const TMapView& View) {
  const TImagePyramid& pyramid = *View.Image.Pyramid;
  const int64_t left = View.TopLeft.X, top = View.TopLeft.Y;
  const int64_t right = View.SourceRight(), bottom = View.SourceBottom();
  if (right <= left || bottom <= top || View.Width <= 0 || View.Height <= 0) return;
  const int level = LevelFor(pyramid, View.Magnify);
  const int64_t scale = int64_t{1} << level;
  // The level's pixels that cover the window, and those of them that exist.
  const int64_t lx0 = FloorDiv(left, scale), lx1 = CeilDiv(right, scale);
  const int64_t ly0 = FloorDiv(top, scale), ly1 = CeilDiv(bottom, scale);
  const int64_t cx0 = std::max<int64_t>(lx0, 0),
                cx1 = std::min<int64_t>(lx1, pyramid.LevelWidth(level));
  const int64_t cy0 = std::max<int64_t>(ly0, 0),
                cy1 = std::min<int64_t>(ly1, pyramid.LevelHeight(level));
  if (cx1 <= cx0 || cy1 <= cy0) return;
  const int w = static_cast<int>(cx1 - cx0), h = static_cast<int>(cy1 - cy0);
  // The region bitmap is kept between views and only grows, so that a pan
  // or a zoom allocates nothing; the copy must then never reach past the
  // region. Where the window passes the level's right or bottom edge, a
  // coarser level's window simply ends with the level; at level 0 the bitmap
  // ends with it instead, so that the edge pixels are scaled exactly as the
  // image in memory scales them.
  const bool pastEdge = level == 0 && (lx1 > cx1 || ly1 > cy1);
  const int64_t sx1 = pastEdge ? lx1 : std::min(lx1, cx1);
  const int64_t sy1 = pastEdge ? ly1 : std::min(ly1, cy1);
  TBitmap& region = *FTileRegion;
  const int oldW = region.Width(), oldH = region.Height();
  const bool resize = pastEdge ? oldW != w || oldH != h : oldW < w || oldH < h;
  if (resize) {
    region.SetSize(0, 0);  // the pixels are read anew: none to keep
    region.SetSize(pastEdge ? w : std::max(w, oldW), pastEdge ? h : std::max(h, oldH));
  }
  pyramid.ReadRegion(level, cx0, cy0, w, h, region.ScanLine(0), region.Width());
  // The view pixels of the level window [lx0, sx1) x [ly0, sy1): the whole
  // view at level 0, slightly more (or less, at the level's edge) at a
  // coarser one.
  const double perX = static_cast<double>(View.Width) / static_cast<double>(right - left);
  const double perY = static_cast<double>(View.Height) / static_cast<double>(bottom - top);
  const int64_t dx0 = RoundToPosition(static_cast<double>(lx0 * scale - left) * perX);
  int64_t dx1 = RoundToPosition(static_cast<double>(sx1 * scale - left) * perX);
  const int64_t dy0 = RoundToPosition(static_cast<double>(ly0 * scale - top) * perY);
  int64_t dy1 = RoundToPosition(static_cast<double>(sy1 * scale - top) * perY);
  // At the level's own resolution the window is copied pixel for pixel: as
  // many view pixels as level pixels, whichever way its origin was rounded
  // (else an odd origin could stretch it by one pixel, and every pixel would
  // be resampled).
  if (perX * static_cast<double>(scale) == 1.0) dx1 = dx0 + (sx1 - lx0);
  if (perY * static_cast<double>(scale) == 1.0) dy1 = dy0 + (sy1 - ly0);
  SetStretchBltMode(Canvas, FAntiAlias ? HALFTONE : COLORONCOLOR);
  StretchBltWide(Canvas, dx0, dy0, dx1 - dx0, dy1 - dy0, FTileRegion->Canvas(), lx0 - cx0,
                 ly0 - cy0, sx1 - lx0, sy1 - ly0, SRCCOPY);
}

}  // namespace marovia
