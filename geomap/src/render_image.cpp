// The map image in the view: the cache of the whole image scaled for
// zoomed-out views, and the scaled copy of the visible window.
//
// Below FCacheMagLimit the whole image is scaled once into FImgCache and
// each composition is a 1:1 copy of W x H pixels from it, so panning a
// zoomed-out map costs no scaling. At or above the limit only the visible
// window of GrafBmp is stretched, on every composition.
//
// Destination pixels whose source lies outside the image are left alone by
// StretchBlt, so they keep the background fill made before.
#include "marovia/geomap/geomap.h"
#include "marovia/platform/stretchblt.h"
#include "render_pixels.h"

namespace marovia {

using render::RoundToPosition;

namespace {

int StretchModeFor(bool AntiAlias) {
  return AntiAlias ? HALFTONE : COLORONCOLOR;
}

}  // namespace

void TGeoMap::RefreshImageCache() {
  const bool stale = FCacheMag != FMagnify || FCacheAA != FAntiAlias;
  if (!stale || !(FMagnify < FCacheMagLimit)) return;
  // The magnification is below 2/3 here, so the cache is smaller than the
  // image, which the size limit keeps at 3 000 000 pixels.
  const int w = static_cast<int>(RoundToPosition(GrafBmp->Width() * FMagnify));
  const int h = static_cast<int>(RoundToPosition(GrafBmp->Height() * FMagnify));
  FImgCache->SetSize(w, h);
  TCanvas& cache = FImgCache->Canvas();
  SetStretchBltMode(cache, StretchModeFor(FAntiAlias));
  StretchBlt(cache, 0, 0, w, h, GrafBmp->Canvas(), 0, 0, GrafBmp->Width(), GrafBmp->Height(),
             SRCCOPY);
  FCacheMag = FMagnify;
  FCacheAA = FAntiAlias;
}

void TGeoMap::DrawMapImage(TCanvas& Canvas, int W, int H, bool UseCache) {
  const int64_t left = FTopLeft.X, top = FTopLeft.Y;
  if (UseCache && FCacheMag == FMagnify) {
    SetStretchBltMode(Canvas, COLORONCOLOR);
    StretchBltWide(Canvas, 0, 0, W, H, FImgCache->Canvas(), RoundToPosition(left * FMagnify),
                   RoundToPosition(top * FMagnify), W, H, SRCCOPY);
    return;
  }
  const int64_t right = RoundToPosition(W / FMagnify + left);
  const int64_t bottom = RoundToPosition(H / FMagnify + top);
  SetStretchBltMode(Canvas, StretchModeFor(FAntiAlias));
  StretchBltWide(Canvas, 0, 0, W, H, GrafBmp->Canvas(), left, top, right - left, bottom - top,
                 SRCCOPY);
}

}  // namespace marovia
