#include "view_warnings.h"

#include <algorithm>
#include <cmath>

#include "cli_text.h"
#include "marovia/geomap/grid_steps.h"

namespace marovia::geomaptool {

namespace {

bool DrawsGraticule(TShowGrat G) {
  return G == sgLines || G == sgPointsAndLines;
}
bool DrawsUTMGrid(TShowGrat G) {
  return G == sgUTMGrid || G == sgPointsAndUTMGrid;
}

// Lines a step gives over an extent, in the direction with more of them.
double LineCount(double ExtentA, double ExtentB, double Step) {
  return std::max(std::fabs(ExtentA), std::fabs(ExtentB)) / Step;
}

}  // namespace

std::vector<std::string> ViewWarnings(const TGeoMap& Map, const TViewRequest& View) {
  std::vector<std::string> out;
  const TCornerArray& c = Map.CalibData().Corners;
  if (DrawsGraticule(View.Grid) && View.GridStepDegrees > 0) {
    const double lat = std::max(c[gcoTopLeft].Latit, c[gcoTopRight].Latit) -
                       std::min(c[gcoBottomLeft].Latit, c[gcoBottomRight].Latit);
    const double lon = std::max(c[gcoTopRight].Longit, c[gcoBottomRight].Longit) -
                       std::min(c[gcoTopLeft].Longit, c[gcoBottomLeft].Longit);
    const double n = LineCount(lat, lon, View.GridStepDegrees);
    if (n > kMaxGridLines) {
      out.push_back("--grid-step " + apps::Fixed(View.GridStepDegrees, 6) + " gives " +
                    apps::Fixed(n, 0) + " graticule lines over the map, more than " +
                    apps::Fixed(kMaxGridLines, 0) + ": none is drawn (the view suits " +
                    apps::Fixed(Map.GratLineDistFor(Map.Magnification()), 6) + ")");
    }
  }
  if (DrawsUTMGrid(View.Grid) && View.UtmStepMetres > 0 && Map.CalibModel() == cmUTM) {
    const double res = Map.CalibData().Resolution;
    const double n =
        LineCount(Map.MapImgWidth() * res, Map.MapImgHeight() * res, View.UtmStepMetres);
    if (res > 0 && n > kMaxGridLines) {
      out.push_back("--utm-step " + std::to_string(View.UtmStepMetres) + " gives " +
                    apps::Fixed(n, 0) + " grid lines over the map, more than " +
                    apps::Fixed(kMaxGridLines, 0) + ": none is drawn");
    }
  }
  if (DrawsUTMGrid(View.Grid) && Map.CalibModel() != cmUTM) {
    out.push_back("the UTM grid needs a utm calibration: none is drawn");
  }
  for (const TCalibResidual& r : Map.CalibResiduals()) {
    const double d = std::hypot(r.dX, r.dY);
    if (r.Valid && d >= kSuspectResidualPixels) {
      out.push_back("calibration point " + std::to_string(r.Index) + " lies " + apps::Fixed(d, 1) +
                    " pixels from where the fitted calibration puts it: the map's positions "
                    "may be wrong (see geomap info)");
    }
  }
  return out;
}

}  // namespace marovia::geomaptool
