// DrawFrame: 3-D and flat frames drawn ring by ring.
#include "marovia/zylbase/drawframe.h"

#include <algorithm>

namespace marovia {

namespace {

// Far enough outside every surface: clamping to it changes no pixel, and
// one step past it still fits an int.
constexpr int kFar = 1 << 30;

void HLine(TCanvas& C, int y, int x0, int x1) {
  C.MoveTo(x0, y);
  C.LineTo(x1 + 1, y);
}

void VLine(TCanvas& C, int x, int y0, int y1) {
  C.MoveTo(x, y0);
  C.LineTo(x, y1 + 1);
}

// One ring on the pixels (l, t)..(r, b) inclusive: the top row and left
// column in TopLeft, the bottom row and right column (with the corners they
// share with the others) in BottomRight. Answers false once the ring is
// empty.
bool Ring(TCanvas& C, int l, int t, int r, int b, TColor TopLeft, TColor BottomRight) {
  if (r < l || b < t) return false;
  C.Pen().SetColor(TopLeft);
  if (r > l) HLine(C, t, l, r - 1);
  if (b > t) VLine(C, l, t, b - 1);
  C.Pen().SetColor(BottomRight);
  VLine(C, r, t, b);
  HLine(C, b, l, r);
  return true;
}

}  // namespace

void DrawFrame(TCanvas& Canvas, TFrameStyle Style, int Left, int Top, int Right, int Bottom,
               TColor C1, TColor C2, TColor C3, TColor C4, TColor C5) {
  if (Right < Left || Bottom < Top) return;
  struct RingColours {
    TColor TopLeft, BottomRight;
  };
  RingColours rings[2];
  int count = 0;
  switch (Style) {
    case fsNone:
      return;
    case fsLowered:
      rings[0] = {C3, C1};
      rings[1] = {C4, C2};
      count = 2;
      break;
    case fsRaised:
      rings[0] = {C2, C4};
      rings[1] = {C1, C3};
      count = 2;
      break;
    case fsFlat:
      rings[0] = {C5, C5};
      count = 1;
      break;
    case fsEtched:
      rings[0] = {C3, C1};
      rings[1] = {C1, C3};
      count = 2;
      break;
    case fsBump:
      rings[0] = {C1, C3};
      rings[1] = {C3, C1};
      count = 2;
      break;
    default:
      return;
  }
  TPen saved;
  saved.Assign(Canvas.Pen());
  Canvas.Pen().SetStyle(psSolid);
  Canvas.Pen().SetMode(pmCopy);
  Canvas.Pen().SetWidth(1);
  int l = std::clamp(Left, -kFar, kFar), t = std::clamp(Top, -kFar, kFar);
  int r = std::clamp(Right, -kFar, kFar), b = std::clamp(Bottom, -kFar, kFar);
  for (int k = 0; k < count; ++k) {
    if (!Ring(Canvas, l, t, r, b, rings[k].TopLeft, rings[k].BottomRight)) break;
    ++l;
    ++t;
    --r;
    --b;
  }
  Canvas.Pen().Assign(saved);
}

}  // namespace marovia
