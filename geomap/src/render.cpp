// Composition of the view. (Being written: background, empty message and
// frame only.)
#include "marovia/geomap/geomap.h"
#include "marovia/zylbase/drawframe.h"

namespace marovia {

void TGeoMap::Paint() {
  if (FSuppressPaint) return;
  ConstructInternalMapImg();
  const TRect r = Rect(0, 0, Width(), Height());
  Canvas().SetCopyMode(cmSrcCopy);
  Canvas().CopyRect(r, AuxBmp->Canvas(), r);
}

void TGeoMap::ConstructInternalMapImg() {
  const int W = Width();
  const int H = Height();
  if (AuxBmp->Height() < H) AuxBmp->SetHeight(H);
  if (AuxBmp->Width() < W) AuxBmp->SetWidth(W);
  TCanvas& canvas = AuxBmp->Canvas();
  canvas.Pen().SetStyle(psSolid);
  canvas.Pen().SetMode(pmCopy);
  canvas.Brush().SetColor(FColorBakGnd);
  canvas.Pen().SetColor(FColorBakGnd);
  canvas.Rectangle(0, 0, W, H);
  if (FMapImgName.empty()) {
    canvas.Font().SetColor(FFrameColor);
    canvas.TextOut(10, 10, FEmptyMsg);
  }
  DrawFrame(canvas, FFrameStyle, 0, 0, W - 1, H - 1, FColWhiteLine, clSilver, FColGrayLine,
            FColBlackLine, clBlack);
}

}  // namespace marovia
