// Composition of the view: Paint, the fixed order of the composition steps,
// and the saturated point conversions every step draws through.
//
// The steps, each in its own file:
//   render_image.cpp      background fill, scaled-image cache, the map image
//   render_grid.cpp       graticule lines by model, calibration lines, markers
//   render_utm_grid.cpp   the UTM grid
//   render_landmarks.cpp  landmarks, sampling, captions, the highlight
//                         (render_captions.cpp, label_placement.cpp)
//   mouse_trace.cpp       the mouse trace
#include <cmath>

#include "marovia/geomap/geomap.h"
#include "marovia/zylbase/drawframe.h"
#include "render_pixels.h"

namespace marovia {

using render::ViewPixel;

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
  // Rendering only ever grows AuxBmp; image changes set it to the image size.
  if (AuxBmp->Height() < H) AuxBmp->SetHeight(H);
  if (AuxBmp->Width() < W) AuxBmp->SetWidth(W);
  ComposeView(*AuxBmp, W, H, true, true);
}

void TGeoMap::ComposeView(TBitmap& Target, int W, int H, bool UseCache, bool ControlFrame) {
  TCanvas& canvas = Target.Canvas();
  canvas.Pen().SetStyle(psSolid);
  canvas.Pen().SetMode(pmCopy);
  if ((ControlFrame && InState(csDesigning)) || FMapImgName.empty()) {
    canvas.Brush().SetColor(FColorBakGnd);
    canvas.Pen().SetColor(FColorBakGnd);
    canvas.Rectangle(0, 0, W, H);
    canvas.Font().SetColor(FFrameColor);
    canvas.TextOut(10, 10, FEmptyMsg);
  } else if (!ControlFrame || Visible()) {
    // An invisible control keeps the previous picture below the trace.
    if (UseCache) RefreshImageCache();
    FillBackground(canvas, W, H, MapImageCoverage(W, H, UseCache));
    DrawMapImage(canvas, W, H, UseCache);
    ClipMapImageToBorder(canvas, W, H);
    if (OnBeforeRenderData) OnBeforeRenderData(this, canvas);
    if (FShowGrat != sgNone) DrawGrid(canvas, W, H);
    DrawLandMarks(canvas, W, H);
    if (OnDataRendered) OnDataRendered(this, canvas);
    DrawHighLightedLandMark(canvas, W, H);
  }
  DrawMouseTrace(0, 0, Target);
  if (ControlFrame)
    DrawFrame(canvas, FFrameStyle, 0, 0, W - 1, H - 1, FColWhiteLine, clSilver, FColGrayLine,
              FColBlackLine, clBlack);
}

TPoint TGeoMap::ImageToControlSat(double X, double Y) const {
  return TPoint{ViewPixel((X - FTopLeft.X) * FMagnify), ViewPixel((Y - FTopLeft.Y) * FMagnify)};
}

TPoint TGeoMap::ControlToImageSat(TPoint P) const {
  return TPoint{ViewPixel(ViewPixel(P.X / FMagnify) + static_cast<double>(FTopLeft.X)),
                ViewPixel(ViewPixel(P.Y / FMagnify) + static_cast<double>(FTopLeft.Y))};
}

TPoint TGeoMap::GeoToControl(double Lat, double Long) const {
  int32_t x = 0, y = 0;
  CalcPixelCoords(Lat, Long, x, y);
  return ImageToControlSat(x, y);
}

}  // namespace marovia
