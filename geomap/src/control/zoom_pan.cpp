// Zoom history, magnification, fitting and centring the view, and
// resampling the map image.
#include <algorithm>
#include <cmath>

#include "marovia/geomap/geomap.h"
#include "marovia/platform/stretchblt.h"
#include "marovia/platform/strutils.h"
#include "render/map_view.h"

namespace marovia {

namespace {

// Slot (1..16) of the entry StackIx steps back from the newest (0).
int32_t ZoomSlot(int32_t StackIx, int32_t StackPoi) {
  int32_t s = StackIx + StackPoi - 1;
  if (s < 1) s += 16;
  return s;
}

}  // namespace

void TGeoMap::ZoomStateOnStack() {
  if (InState(csLoading)) return;
  FZoomStack[static_cast<size_t>(FZStackPoi - 1)] = {FTopLeft.X, FTopLeft.Y, FMagnify};
  FZStackPoi = FZStackPoi == 16 ? 1 : FZStackPoi + 1;
}

TgmZoomStackEntry TGeoMap::GetZoomStackEntry(int32_t StackIx) const {
  if (StackIx < -15 || StackIx > 0) return {};
  return FZoomStack[static_cast<size_t>(ZoomSlot(StackIx, FZStackPoi) - 1)];
}

void TGeoMap::ZoomHistory(int32_t Index) {
  if (Index < -15 || Index > 0) return;
  const TgmZoomStackEntry e = FZoomStack[static_cast<size_t>(ZoomSlot(Index, FZStackPoi) - 1)];
  if (e.Empty()) return;
  FTopLeft = TPoint{e.Left, e.Top};
  FMagnify = ClampedMagnification(e.MagF);
  Paint();
}

void TGeoMap::ClearZoomHistory() {
  FZoomStack.fill(TgmZoomStackEntry{});
  FZStackPoi = 1;
  ZoomStateOnStack();
}

double TGeoMap::ClampedMagnification(double Value) const {
  if (std::isnan(Value)) return FMagnify;
  return std::clamp(Value, kMinMagnification, kMaxMagnification);
}

void TGeoMap::SetMagnification(double Magnification) {
  if (std::isnan(Magnification)) return;
  FMagnify = ClampedMagnification(Magnification);
  Paint();
}

void TGeoMap::ZoomFitPage() {
  if (FMapImgWidth <= 0 || FMapImgHeight <= 0) return;
  const double fit = std::min(static_cast<double>(Width()) / FMapImgWidth,
                              static_cast<double>(Height()) / FMapImgHeight);
  FMagnify = ClampedMagnification(fit);
  SetTopLeft(TPoint{0, 0});
}

void TGeoMap::PanMapToFillWindow() {
  const double limX = FMapImgWidth - Width() / FMagnify;
  const double limY = FMapImgHeight - Height() / FMagnify;
  if (FTopLeft.X > limX) FTopLeft.X = RoundSaturated(limX);
  if (FTopLeft.Y > limY) FTopLeft.Y = RoundSaturated(limY);
  // A map smaller than the window sits at the top left.
  FTopLeft.X = std::max(FTopLeft.X, 0);
  FTopLeft.Y = std::max(FTopLeft.Y, 0);
}

void TGeoMap::BringMapPixelToCenter(TPoint APoint) {
  FTopLeft.X = SaturatedSum(APoint.X, -int64_t{RoundSaturated(Width() / FMagnify / 2)});
  FTopLeft.Y = SaturatedSum(APoint.Y, -int64_t{RoundSaturated(Height() / FMagnify / 2)});
  PanMapToFillWindow();
  Paint();
}

void TGeoMap::BringLocationToCenter(double Latitude, double Longitude) {
  int32_t x = 0, y = 0;
  if (!CalcPixelCoords(Latitude, Longitude, x, y)) return;
  const int64_t hx = RoundSaturated(Width() / FMagnify / 2);
  const int64_t hy = RoundSaturated(Height() / FMagnify / 2);
  const int64_t bw = ImageSource().Width;
  const int64_t bh = ImageSource().Height;
  const int64_t cx = std::min(int64_t{x} - hx, bw - 2 * hx);
  const int64_t cy = std::min(int64_t{y} - hy, bh - 2 * hy);
  FTopLeft.X = SaturatedSum(std::max<int64_t>(cx, 0), 0);
  FTopLeft.Y = SaturatedSum(std::max<int64_t>(cy, 0), 0);
  Paint();
}

void TGeoMap::ResizeMap(int32_t LongerEdgeLength) {
  const int32_t longer = FMapImgWidth < FMapImgHeight ? FMapImgHeight : FMapImgWidth;
  if (longer <= 0) return;  // no map image
  ResizeMap(static_cast<double>(LongerEdgeLength) / longer);
}

void TGeoMap::ResizeMap(double Magnification) {
  // Without a map image (never loaded, or its file was missing) there is
  // nothing to resize: the hidden bitmap may still hold a stale picture,
  // and the calibration's pixels belong to no image.
  if (FMapImgWidth <= 0 || FMapImgHeight <= 0) return;
  RefuseOnTiledMap("resize the map image");
  if (!std::isfinite(Magnification) || Magnification <= 0)
    RaiseError("cannot resize the map image by " + FloatToStr(Magnification));
  // The new size is checked before anything changes: an image above the
  // limit or without pixels is refused.
  const double w = GrafBmp->Width() * Magnification;
  const double h = GrafBmp->Height() * Magnification;
  if (w >= 2147483647.0 || h >= 2147483647.0)
    CheckMapImageSize(INT64_MAX / 2, INT64_MAX / 2, kMaxMapPixels);  // the limit's message
  const int32_t newW = Round32(w);
  const int32_t newH = Round32(h);
  CheckMapImageSize(newW, newH, kMaxMapPixels);
  if (newW < 1 || newH < 1)
    RaiseError("cannot resize the map image by " + FloatToStr(Magnification) +
               ": it would have no pixels");

  FCacheMag = 0;
  TBitmap resized;
  resized.SetPixelFormat(pf24bit);
  resized.SetSize(newW, newH);
  SetStretchBltMode(resized.Canvas(), FAntiAlias ? HALFTONE : COLORONCOLOR);
  StretchBlt(resized.Canvas(), 0, 0, newW, newH, GrafBmp->Canvas(), 0, 0, GrafBmp->Width(),
             GrafBmp->Height(), SRCCOPY);
  GrafBmp->Assign(resized);

  auto scale = [&](int32_t v) { return RoundSaturated(Magnification * v); };
  for (int32_t i = 0; i < FCalibData.NumCalLines; ++i) {
    TCalibLine& line = FCalibData.CalLines[static_cast<size_t>(i)];
    for (int32_t k = 0; k < line.NumPoints; ++k) {
      TPoint& p = line.CalPoints[static_cast<size_t>(k)];
      p = TPoint{scale(p.X), scale(p.Y)};
    }
  }
  for (int32_t i = 0; i < FCalibData.NumCalQuads; ++i) {
    TCalQuad& q = FCalibData.CalQuads[static_cast<size_t>(i)];
    q.MapX = scale(q.MapX);
    q.MapY = scale(q.MapY);
  }
  RecalcCalibration();

  FMapImgWidth = newW;
  FMapImgHeight = newH;
  SyncCalibImageSize();
  AuxBmp->SetHeight(newH);
  AuxBmp->SetWidth(newW);
  FTopLeft = TPoint{0, 0};
  Paint();
}

}  // namespace marovia
