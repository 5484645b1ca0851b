// The mouse trace: reading its points as positions, clearing it, and drawing
// it into the composed view. The points are recorded by the mouse handlers.
//
// Each point holds image coordinates, a colour and a flag word: cpStrokeEnd
// on a point ends its stroke (no segment to the next point), cpXorMode on a
// point draws the segment ending there in XOR mode.
#include <algorithm>

#include "marovia/geomap/geomap.h"
#include "render/map_view.h"
#include "render/render_pixels.h"

namespace marovia {

using render::ViewPixel;

void TGeoMap::ClearMouseTrace() {
  FNumMTrace = 0;
  Paint();
}

TColoredPoint TGeoMap::GetMTracePoint(int32_t idx) const {
  if (idx < 1 || idx > FNumMTrace) {
    TColoredPoint none;
    none.Flags = cpInvalid;
    return none;
  }
  TColoredPoint p = FMTrace[static_cast<size_t>(idx - 1)];
  const TPoint pixel{ViewPixel(p.X), ViewPixel(p.Y)};
  bool valid = false;
  const double lon = CalcLongitude(pixel, valid);
  if (valid) {
    const double lat = CalcLatitude(pixel, valid);
    if (valid) {
      p.X = lon;
      p.Y = lat;
      return p;
    }
  }
  p.Flags = cpInvalid;  // X and Y keep the image coordinates
  return p;
}

// Draws the segments of every stroke; x and y are not used. The canvas's
// pen colour, width and style and its brush style are left as found, and the
// pen mode is back to copy.
void TGeoMap::DrawMouseTrace(int32_t, int32_t, TBitmap& Bitmap) {
  DrawMouseTrace(ControlView(), Bitmap);
}

void TGeoMap::DrawMouseTrace(const render::TMapView& View, TBitmap& Bitmap) {
  TCanvas& canvas = Bitmap.Canvas();
  const TColor penColor = canvas.Pen().Color();
  const int penWidth = canvas.Pen().Width();
  const TPenStyle penStyle = canvas.Pen().Style();
  const TBrushStyle brushStyle = canvas.Brush().Style();
  const int32_t n = std::min<int32_t>(FNumMTrace, static_cast<int32_t>(FMTrace.size()));
  for (int32_t i = 1; i < n; ++i) {
    const TColoredPoint& from = FMTrace[static_cast<size_t>(i - 1)];
    const TColoredPoint& to = FMTrace[static_cast<size_t>(i)];
    if (from.Flags & cpStrokeEnd) continue;
    canvas.Pen().SetColor(to.Color);
    canvas.Pen().SetMode(to.Flags & cpXorMode ? pmXor : pmCopy);
    const TPoint a = View.ImageToControl(from.X, from.Y);
    const TPoint b = View.ImageToControl(to.X, to.Y);
    canvas.MoveTo(a.X, a.Y);
    canvas.LineTo(b.X, b.Y);
    canvas.Pen().SetMode(pmCopy);
  }
  canvas.Pen().SetColor(penColor);
  canvas.Pen().SetWidth(penWidth);
  canvas.Pen().SetStyle(penStyle);
  canvas.Brush().SetStyle(brushStyle);
}

}  // namespace marovia
