// Zoom history, magnification, centring and resampling. (Being written.)
#include <algorithm>
#include <cmath>

#include "marovia/geomap/geomap.h"

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
  FMagnify = e.MagF;
  Paint();
}

void TGeoMap::ClearZoomHistory() {
  FZoomStack.fill(TgmZoomStackEntry{});
  FZStackPoi = 1;
  ZoomStateOnStack();
}

void TGeoMap::SetMagnification(double Magnification) {
  if (std::isnan(Magnification)) return;
  FMagnify = std::clamp(Magnification, kMinMagnification, kMaxMagnification);
  Paint();
}

void TGeoMap::ResizeMap(double) {}
void TGeoMap::ResizeMap(int32_t) {}
void TGeoMap::ZoomFitPage() {}
void TGeoMap::PanMapToFillWindow() {}
void TGeoMap::BringMapPixelToCenter(TPoint) {}
void TGeoMap::BringLocationToCenter(double, double) {}

}  // namespace marovia
