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
#include "render/map_view.h"

namespace marovia {

using render::RoundToPosition;
using render::TMapView;

namespace {

int StretchModeFor(bool AntiAlias) {
  return AntiAlias ? HALFTONE : COLORONCOLOR;
}

// Destination pixel i of a run of DN pixels scaled from SN source pixels
// starting at S0 takes source pixel S0 + floor((2i + 1) * SN / (2 * DN)) (the
// one its centre falls on, the platform's rule). The destination pixels
// [First, Last) are those whose source lies within [0, SrcLimit), and only
// those are written by the copy.
struct Run {
  int64_t First = 0, Last = 0;
};

Run CoveredRun(int64_t S0, int64_t SN, int64_t DN, int64_t SrcLimit) {
  if (SN <= 0 || DN <= 0) return {};
  auto source = [&](int64_t i) {
    return S0 + static_cast<int64_t>((2 * static_cast<__int128>(i) + 1) * SN /
                                     (2 * static_cast<__int128>(DN)));
  };
  // First index whose source reaches Limit (the mapping is nondecreasing).
  auto firstReaching = [&](int64_t Limit) {
    int64_t lo = 0, hi = DN;
    while (lo < hi) {
      const int64_t mid = lo + (hi - lo) / 2;
      if (source(mid) >= Limit)
        hi = mid;
      else
        lo = mid + 1;
    }
    return lo;
  };
  return Run{firstReaching(0), firstReaching(SrcLimit)};
}

}  // namespace

void TGeoMap::FillBackground(TCanvas& Canvas, int W, int H, const TRect& Covered) {
  Canvas.Brush().SetColor(FColorBakGnd);
  Canvas.Pen().SetColor(FColorBakGnd);
  if (Covered.Right <= Covered.Left || Covered.Bottom <= Covered.Top) {
    Canvas.Rectangle(0, 0, W, H);
    return;
  }
  // Only around the image: what it covers is overwritten by it anyway.
  Canvas.FillRect(Rect(0, 0, W, Covered.Top));
  Canvas.FillRect(Rect(0, Covered.Bottom, W, H));
  Canvas.FillRect(Rect(0, Covered.Top, Covered.Left, Covered.Bottom));
  Canvas.FillRect(Rect(Covered.Right, Covered.Top, W, Covered.Bottom));
}

TRect TGeoMap::MapImageCoverage(const TMapView& View, bool UseCache) const {
  // Tiles of a coarser level fall on the view at rounded places: the whole
  // view is filled first.
  if (View.Image.Pyramid) return TRect{};
  const int W = View.Width, H = View.Height;
  const double mag = View.Magnify;
  Run x, y;
  if (UseCache && FCacheMag == mag) {
    x = CoveredRun(RoundToPosition(View.TopLeft.X * mag), W, W, FImgCache->Width());
    y = CoveredRun(RoundToPosition(View.TopLeft.Y * mag), H, H, FImgCache->Height());
  } else {
    const int64_t left = View.TopLeft.X, top = View.TopLeft.Y;
    x = CoveredRun(left, View.SourceRight() - left, W, View.Image.Width);
    y = CoveredRun(top, View.SourceBottom() - top, H, View.Image.Height);
  }
  if (x.First >= x.Last || y.First >= y.Last) return TRect{};
  return Rect(static_cast<int>(x.First), static_cast<int>(y.First), static_cast<int>(x.Last),
              static_cast<int>(y.Last));
}

void TGeoMap::RefreshImageCache() {
  // A tiled image is never scaled whole: its pyramid holds the small views.
  if (FPyramid) return;
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

void TGeoMap::DrawMapImage(TCanvas& Canvas, const TMapView& View, bool UseCache) {
  const int W = View.Width, H = View.Height;
  const int64_t left = View.TopLeft.X, top = View.TopLeft.Y;
  if (UseCache && FCacheMag == View.Magnify) {
    SetStretchBltMode(Canvas, COLORONCOLOR);
    StretchBltWide(Canvas, 0, 0, W, H, FImgCache->Canvas(), RoundToPosition(left * View.Magnify),
                   RoundToPosition(top * View.Magnify), W, H, SRCCOPY);
    return;
  }
  if (View.Image.Pyramid) {
    DrawTiledImage(Canvas, View);
    return;
  }
  if (View.Image.Bitmap == nullptr) return;
  SetStretchBltMode(Canvas, StretchModeFor(FAntiAlias));
  StretchBltWide(Canvas, 0, 0, W, H, View.Image.Bitmap->Canvas(), left, top,
                 View.SourceRight() - left, View.SourceBottom() - top, SRCCOPY);
}

}  // namespace marovia
