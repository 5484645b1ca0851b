// Composition of the view: Paint, the fixed order of the composition steps,
// and the control's own view.
//
// The steps, each in its own file:
//   render_image.cpp      background fill, scaled-image cache, the map image
//   render_grid.cpp       graticule lines by model, calibration lines, markers
//   render_utm_grid.cpp   the UTM grid
//   render_mgrs_grid.cpp  the MGRS grid
//   render_overlays.cpp   the overlay layers (tracks, waypoints, databases)
//   render_landmarks.cpp  landmarks, sampling, captions, the highlight
//                         (render_captions.cpp, label_placement.cpp)
//   mouse_trace.cpp       the mouse trace
#include <cmath>

#include "marovia/geomap/geomap.h"
#include "marovia/platform/image_pyramid.h"
#include "marovia/zylbase/drawframe.h"
#include "render/map_view.h"

namespace marovia {

using render::TMapView;

void TGeoMap::Paint() {
  if (FSuppressPaint) return;
  ConstructInternalMapImg();
  const TRect r = Rect(0, 0, Width(), Height());
  Canvas().SetCopyMode(cmSrcCopy);
  Canvas().CopyRect(r, AuxBmp->Canvas(), r);
}

render::TImageSource TGeoMap::ImageSource() const {
  if (FPyramid)
    return render::TImageSource{nullptr, FPyramid.get(), FPyramid->Width(), FPyramid->Height()};
  return render::TImageSource{GrafBmp.get(), nullptr, GrafBmp->Width(), GrafBmp->Height()};
}

TMapView TGeoMap::ControlView() const {
  return TMapView{FTopLeft, FMagnify, Width(), Height(), ImageSource()};
}

void TGeoMap::ConstructInternalMapImg() {
  const TMapView view = ControlView();
  // Rendering only ever grows AuxBmp; image changes set it to the image size.
  if (AuxBmp->Height() < view.Height) AuxBmp->SetHeight(view.Height);
  if (AuxBmp->Width() < view.Width) AuxBmp->SetWidth(view.Width);
  ComposeView(*AuxBmp, view, true, true);
}

void TGeoMap::ComposeView(TBitmap& Target, const TMapView& View, bool UseCache, bool ControlFrame) {
  const int W = View.Width, H = View.Height;
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
    FillBackground(canvas, W, H, MapImageCoverage(View, UseCache));
    DrawMapImage(canvas, View, UseCache);
    ClipMapImageToBorder(canvas, View);
    if (OnBeforeRenderData) OnBeforeRenderData(this, canvas);
    if (FShowGrat != sgNone) DrawGrid(canvas, View);
    if (FShowMGRSGrid) DrawMGRSGrid(canvas, View);
    if (!FOverlayLayers.empty()) DrawOverlayLayers(canvas, View);
    DrawLandMarks(canvas, View);
    if (OnDataRendered) OnDataRendered(this, canvas);
    if (FPositionLayer) DrawPositionLayer(canvas, View);
    DrawHighLightedLandMark(canvas, View);
  }
  DrawMouseTrace(View, Target);
  if (ControlFrame)
    DrawFrame(canvas, FFrameStyle, 0, 0, W - 1, H - 1, FColWhiteLine, clSilver, FColGrayLine,
              FColBlackLine, clBlack);
}

void TGeoMap::SetPositionLayer(std::shared_ptr<const TPositionLayer> Layer) {
  FPositionLayer = std::move(Layer);
  Paint();
}

TPoint TGeoMap::GeoToControl(const TMapView& View, double Lat, double Long) const {
  int32_t x = 0, y = 0;
  CalcPixelCoords(Lat, Long, x, y);
  return View.ImageToControl(x, y);
}

}  // namespace marovia
