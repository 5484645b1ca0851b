// Mouse gestures. (Being written.)
#include "marovia/geomap/geomap.h"

namespace marovia {

void TGeoMap::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
}
void TGeoMap::MouseMove(TShiftState Shift, int X, int Y) {
  TCustomControl::MouseMove(Shift, X, Y);
}
void TGeoMap::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
}
bool TGeoMap::MouseBox(int32_t&, int32_t&, int32_t&, int32_t&) {
  return false;
}
void TGeoMap::MouseBoxAbort() {
  FMouseBoxState = mbsIdle;
}
}  // namespace marovia
