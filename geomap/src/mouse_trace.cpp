// The freehand mouse trace: its points and its drawing.
#include <cmath>

#include "marovia/geomap/geomap.h"

namespace marovia {

namespace {

// Trace points hold image pixels as doubles; they were stored from pixels,
// so they are whole numbers well inside the 32-bit range.
TPoint TracePixel(const TColoredPoint& p) {
  return TPoint{static_cast<int32_t>(std::lround(p.X)), static_cast<int32_t>(std::lround(p.Y))};
}

}  // namespace

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
  const TPoint px = TracePixel(p);
  bool valid = false;
  const double lon = CalcLongitude(px.X, px.Y, valid);
  if (valid) {
    const double lat = CalcLatitude(px.X, px.Y, valid);
    if (valid) {
      p.X = lon;
      p.Y = lat;
      return p;
    }
  }
  p.Flags = cpInvalid;
  return p;
}

void TGeoMap::DrawMouseTrace(int32_t /*x*/, int32_t /*y*/, TBitmap& Bitmap) {
  TCanvas& c = Bitmap.Canvas();
  const TColor color = c.Pen().Color();
  const int width = c.Pen().Width();
  const TPenStyle style = c.Pen().Style();
  const TBrushStyle brush = c.Brush().Style();
  for (int32_t i = 2; i <= FNumMTrace; ++i) {
    const TColoredPoint& a = FMTrace[static_cast<size_t>(i - 2)];
    const TColoredPoint& b = FMTrace[static_cast<size_t>(i - 1)];
    if ((a.Flags & cpStrokeEnd) != 0) continue;
    c.Pen().SetColor(b.Color);
    c.Pen().SetMode((b.Flags & cpXorMode) != 0 ? pmXor : pmCopy);
    const TPoint pa = MapImageToControl(TracePixel(a));
    const TPoint pb = MapImageToControl(TracePixel(b));
    c.MoveTo(pa.X, pa.Y);
    c.LineTo(pb.X, pb.Y);
    c.Pen().SetMode(pmCopy);
  }
  c.Pen().SetColor(color);
  c.Pen().SetWidth(width);
  c.Pen().SetStyle(style);
  c.Brush().SetStyle(brush);
}

}  // namespace marovia
