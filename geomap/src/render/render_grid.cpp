// Graticule lines and calibration markers of the view, chosen by the
// calibration model:
//
//   model                lines drawn if               parallels  meridians  markers
//   cmParabolicIp        lines                        fitted parabola per line   line points
//   cmBiquadraticPn      lines, >= 6 points           100        100        calibration points
//   cmConicConformal     lines, >= 3 points           100        1 straight calibration points
//   cmMillerCylindrical  lines, >= 3 points           100        100        calibration points
//   cmEquiRect           lines, >= 3 points           10         10         calibration points
//   cmUTM                lines, >= 3 points           10         10         calibration points,
//                        (UTM grid: render_utm_grid.cpp)                    also with the UTM grid
//   cmProjected,         lines, fitted                100        100        calibration points
//   cmThinPlate
//   cmUndefined          never                                              none
//
// "lines" is sgLines or sgPointsAndLines, "points" sgPoints or
// sgPointsAndLines; with sgUTMGrid or sgPointsAndUTMGrid only cmUTM draws.
#include <algorithm>
#include <cmath>

#include "marovia/geomap/geomap.h"
#include "marovia/zylmath/curvefit.h"
#include "render/map_view.h"
#include "render/render_grid_values.h"

namespace marovia {

using render::ForEachGridValue;
using render::TMapView;
using render::ViewPixel;

namespace {

bool ShowsLines(TShowGrat S) {
  return S == sgLines || S == sgPointsAndLines;
}
bool ShowsPoints(TShowGrat S) {
  return S == sgPoints || S == sgPointsAndLines;
}
bool ShowsUTMGrid(TShowGrat S) {
  return S == sgUTMGrid || S == sgPointsAndUTMGrid;
}

// Diamond of radius R around (A, B), drawn as four LineTo; the last one
// ends where the first began, so every corner pixel is drawn once.
void Diamond(TCanvas& Canvas, int A, int B, int R) {
  Canvas.MoveTo(A - R, B);
  Canvas.LineTo(A, B - R);
  Canvas.LineTo(A + R, B);
  Canvas.LineTo(A, B + R);
  Canvas.LineTo(A - R, B);
}

// Calibration point marker: a cross of arm 8 (end points excluded by
// LineTo) in a diamond of radius 8, ringed in white at 9 and again in the
// marker colour at 10, so it shows on dark and light maps alike.
// Scale: device pixels per view pixel; the radii and the pen grow with it.
void DrawMarker(TCanvas& Canvas, TPoint P, TColor Color, double Scale) {
  const int a = P.X, b = P.Y;
  auto r = [&](int Radius) { return Scale == 1 ? Radius : ViewPixel(Radius * Scale); };
  Canvas.Pen().SetColor(Color);
  Canvas.MoveTo(a - r(8), b);
  Canvas.LineTo(a + r(8), b);
  Canvas.MoveTo(a, b - r(8));
  Canvas.LineTo(a, b + r(8));
  Diamond(Canvas, a, b, r(8));
  Canvas.Pen().SetColor(clWhite);
  Diamond(Canvas, a, b, r(9));
  Canvas.Pen().SetColor(Color);
  Diamond(Canvas, a, b, r(10));
}

// Lines per degree for a graticule over Extent degrees: 1 / Spacing when a
// spacing is set; otherwise the power of ten that puts 1 to 10 lines over
// the extent (1 line per degree for extents of 1 degree and more). 0 when
// no line can be placed (an empty or non-finite extent).
double LinesPerDegree(double Spacing, double Extent) {
  if (Spacing > 0) return 1 / Spacing;
  double c = 1, f = std::fabs(Extent);
  if (!(f > 0) || !std::isfinite(f)) return 0;
  while (f < 1) {
    c *= 10;
    f *= 10;
  }
  return c;
}

// A curve stepped one image pixel at a time: MoveTo the point at From, then
// LineTo each next point while the parameter is below End. PointAt(t,
// first) gives the control point at parameter t.
template <typename PointAt>
void StepAlongCurve(TCanvas& Canvas, double From, double End, PointAt&& At) {
  if (!std::isfinite(From) || !std::isfinite(End)) return;
  double t = From;
  const TPoint p0 = At(t, true);
  Canvas.MoveTo(p0.X, p0.Y);
  while (t < End) {
    t = t + 1;
    const TPoint p = At(t, false);
    Canvas.LineTo(p.X, p.Y);
  }
}

}  // namespace

void TGeoMap::DrawGrid(TCanvas& Canvas, const TMapView& View) {
  // Lines as wide as one view pixel of the device (1 on screen).
  Canvas.Pen().SetWidth(FOverlayScale == 1 ? 1 : std::max(1, ViewPixel(FOverlayScale)));
  DrawGridLines(Canvas, View);
  Canvas.Pen().SetWidth(1);
}

void TGeoMap::DrawGridLines(TCanvas& Canvas, const TMapView& View) {
  const bool lines = ShowsLines(FShowGrat);
  const bool points = ShowsPoints(FShowGrat);
  const int32_t quads = std::clamp(FCalibData.NumCalQuads, 0, kMaxCalQuads);
  switch (FCalibModel) {
    case cmParabolicIp:
      DrawParabolicCalLines(Canvas, View, lines, points);
      return;
    case cmBiquadraticPn:
      if (lines && quads >= 6) DrawGraticule(Canvas, View, 100, 100);
      break;
    case cmConicConformal:
      if (lines && quads >= 3) DrawGraticule(Canvas, View, 100, 1);
      break;
    case cmMillerCylindrical:
      if (lines && quads >= 3) DrawGraticule(Canvas, View, 100, 100);
      break;
    case cmEquiRect:
      if (lines && quads >= 3) DrawGraticule(Canvas, View, 10, 10);
      break;
    case cmUTM:
      if (lines && quads >= 3) DrawGraticule(Canvas, View, 10, 10);
      if (ShowsUTMGrid(FShowGrat) && quads >= 3) DrawUTMGrid(Canvas, View);
      if (FShowGrat == sgPointsAndUTMGrid) DrawCalibPointMarkers(Canvas, View);
      break;
    case cmProjected:
    case cmThinPlate:
      if (lines && FCalib.Converts()) DrawGraticule(Canvas, View, 100, 100);
      break;
    default:
      return;
  }
  if (points) DrawCalibPointMarkers(Canvas, View);
}

// Parallels and meridians at LinesPerDegree spacing between the corner
// extremes, each a polyline of the given number of segments through the
// model's pixels (so curved projections show curved lines). The conic
// model's meridians are straight: one segment from LatMin to LatMax.
void TGeoMap::DrawGraticule(TCanvas& Canvas, const TMapView& View, int ParallelSegments,
                            int MeridianSegments) {
  Canvas.Pen().SetColor(FColorGratLine);
  // A map across 180 degrees draws its meridians on from 180 (181 is 179 W).
  const TCornerArray c = ContinuousCorners(FCalibData.Corners);
  const double latMin = std::min(c[gcoBottomLeft].Latit, c[gcoBottomRight].Latit);
  const double latMax = std::max(c[gcoTopLeft].Latit, c[gcoTopRight].Latit);
  const double longMin = std::min(c[gcoTopLeft].Longit, c[gcoBottomLeft].Longit);
  const double longMax = std::max(c[gcoTopRight].Longit, c[gcoBottomRight].Longit);

  const int np = ParallelSegments;
  ForEachGridValue(latMin, latMax, LinesPerDegree(FGratLineDist, latMax - latMin), [&](double v) {
    const TPoint p0 = GeoToControl(View, v, longMin);
    Canvas.MoveTo(p0.X, p0.Y);
    for (int k = 1; k <= np; ++k) {
      const TPoint p = GeoToControl(View, v, longMin + k * (longMax - longMin) / np);
      Canvas.LineTo(p.X, p.Y);
    }
  });

  const int nm = MeridianSegments;
  ForEachGridValue(longMin, longMax, LinesPerDegree(FGratLineDist, longMax - longMin),
                   [&](double v) {
                     const TPoint p0 = GeoToControl(View, latMin, v);
                     Canvas.MoveTo(p0.X, p0.Y);
                     for (int k = 1; k <= nm; ++k) {
                       // The conic's single segment ends at LatMax itself.
                       const double lat = nm == 1 ? latMax : latMin + k * (latMax - latMin) / nm;
                       const TPoint p = GeoToControl(View, lat, v);
                       Canvas.LineTo(p.X, p.Y);
                     }
                   });
}

// Each calibration line of the line model is drawn as its own fitted
// parabola, stepping one image pixel at a time across the visible width
// (parallels) or height (meridians), and its points get markers.
void TGeoMap::DrawParabolicCalLines(TCanvas& Canvas, const TMapView& View, bool Lines,
                                    bool Points) {
  TCurveFit fit;
  const int32_t numLines = std::clamp(FCalibData.NumCalLines, 0, kMaxCalLines);
  for (int32_t l = 0; l < numLines; ++l) {
    const TCalibLine& line = FCalibData.CalLines[static_cast<size_t>(l)];
    const int32_t numPoints = std::clamp(line.NumPoints, 0, kMaxLinePoints);
    if (Lines) {
      Canvas.Pen().SetColor(FColorGratLine);
      fit.Init();
      const bool parallel = line.LineType == gtlParallel;
      // Parallels fit y over x, meridians x over y.
      for (int32_t p = 0; p < numPoints; ++p) {
        const TPoint& cp = line.CalPoints[static_cast<size_t>(p)];
        if (parallel)
          fit.EnterStatValue(cp.X, cp.Y);
        else
          fit.EnterStatValue(cp.Y, cp.X);
      }
      double k0 = 0, k1 = 0, k2 = 0, q = 0;
      fit.CalcParabolFit(k0, k1, k2, q);
      if (parallel) {
        StepAlongCurve(Canvas, View.TopLeft.X, View.TopLeft.X + View.Width / View.Magnify,
                       [&](double x, bool first) {
                         const double y =
                             first ? k2 * x * x + k1 * x + k0 : k1 * x + k0 + k2 * x * x;
                         return View.ImageToControl(x, ViewPixel(y));
                       });
      } else {
        StepAlongCurve(Canvas, View.TopLeft.Y, View.TopLeft.Y + View.Height / View.Magnify,
                       [&](double y, bool) {
                         return View.ImageToControl(ViewPixel(k0 + k1 * y + k2 * y * y), y);
                       });
      }
    }
    if (Points) {
      for (int32_t p = 0; p < numPoints; ++p) {
        const TPoint& cp = line.CalPoints[static_cast<size_t>(p)];
        DrawMarker(Canvas, View.ImageToControl(cp.X, cp.Y), FColorGratPoints, FOverlayScale);
      }
    }
  }
}

void TGeoMap::DrawCalibPointMarkers(TCanvas& Canvas, const TMapView& View) {
  const int32_t quads = std::clamp(FCalibData.NumCalQuads, 0, kMaxCalQuads);
  for (int32_t i = 0; i < quads; ++i) {
    const TCalQuad& q = FCalibData.CalQuads[static_cast<size_t>(i)];
    DrawMarker(Canvas, View.ImageToControl(q.MapX, q.MapY), FColorGratPoints, FOverlayScale);
  }
}

}  // namespace marovia
