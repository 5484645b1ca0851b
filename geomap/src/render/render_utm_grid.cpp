// The UTM grid of a map calibrated with cmUTM: northing and easting lines at
// a spacing in metres, each a straight line through the two points where it
// crosses the image's left and right columns (northings) or top and bottom
// rows (eastings), clipped to the image's extent in control coordinates.
//
// Automatic spacing: the 1-2-5 value nearest to a tenth of the map's
// northing extent, and at least one metre. Northing lines run up to one
// spacing beyond the top-left northing; easting lines stop before the
// bottom-right easting.
#include <cmath>

#include "marovia/geobasics/utm.h"
#include "marovia/geomap/geomap.h"
#include "marovia/zylmath/math1.h"
#include "marovia/zylmath/sline.h"
#include "render/map_view.h"
#include "render/render_grid_values.h"

namespace marovia {

using render::ForEachGridValue;
using render::TMapView;
using render::ViewPixel;

namespace {

struct UTMPoint {
  double Easting = 0;
  double Northing = 0;
};

UTMPoint CornerUTM(const TCoords& Corner, TGeoEllipsoid Ellipsoid) {
  UTMPoint u;
  int zone = 0;  // the grid uses the calibration's zone; the corner's is ignored
  LatLongToUTM(Corner.Latit, Corner.Longit, Ellipsoid, zone, u.Easting, u.Northing);
  return u;
}

// Lines per metre.
double LinesPerMetre(int32_t Spacing, double NorthingExtent) {
  if (Spacing > 0) return 1.0 / Spacing;
  double c = 1 / Round125(std::fabs(NorthingExtent) / 10);
  if (c > 1) c = 1;
  return c;
}

}  // namespace

void TGeoMap::DrawUTMGrid(TCanvas& Canvas, const TMapView& View) {
  Canvas.Pen().SetColor(FColorGratLine);
  const TCornerArray& corners = FCalibData.Corners;
  const UTMPoint tl = CornerUTM(corners[gcoTopLeft], FCalibData.Ellipsoid);
  const UTMPoint bl = CornerUTM(corners[gcoBottomLeft], FCalibData.Ellipsoid);
  const UTMPoint br = CornerUTM(corners[gcoBottomRight], FCalibData.Ellipsoid);
  const double c = LinesPerMetre(FUTMGridDist, tl.Northing - bl.Northing);

  TSLine line;
  // The image's extent on the view, wherever the view is panned to.
  const double boxLeft = -static_cast<double>(View.TopLeft.X) * View.Magnify;
  const double boxTop = -static_cast<double>(View.TopLeft.Y) * View.Magnify;
  const double boxRight = boxLeft + FMapImgWidth * View.Magnify;
  const double boxBottom = boxTop + FMapImgHeight * View.Magnify;
  auto drawClipped = [&](TPoint P0, TPoint P1) {
    line.LineFrom2Points(P0.X, P0.Y, P1.X, P1.Y);
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    if (!line.ClipBox(boxLeft, boxTop, boxRight, boxBottom, x1, y1, x2, y2)) return;
    Canvas.MoveTo(ViewPixel(x1), ViewPixel(y1));
    Canvas.LineTo(ViewPixel(x2), ViewPixel(y2));
  };

  const double northEnd = tl.Northing + 1 / c;
  ForEachGridValue(bl.Northing, northEnd, c, [&](double v) {
    const int32_t y0 = CalcUTMyFromNorthingX(v, 0);
    const int32_t y1 = CalcUTMyFromNorthingX(v, FMapImgWidth);
    drawClipped(View.ImageToControl(0, y0), View.ImageToControl(FMapImgWidth, y1));
  });
  ForEachGridValue(bl.Easting, br.Easting, c, [&](double v) {
    const int32_t x0 = CalcUTMxFromEastingY(v, 0);
    const int32_t x1 = CalcUTMxFromEastingY(v, FMapImgHeight);
    drawClipped(View.ImageToControl(x0, 0), View.ImageToControl(x1, FMapImgHeight));
  });
}

}  // namespace marovia
