// The grid steps that suit a view of the map at a magnification.
#include <algorithm>
#include <cmath>

#include "marovia/geomap/geomap.h"
#include "marovia/geomap/grid_steps.h"

namespace marovia {

double TGeoMap::GratLineDistFor(double Magnification) const {
  if (!(Magnification > 0) || FMapImgWidth <= 0 || FMapImgHeight <= 0) return 0;
  const TCornerArray c = ContinuousCorners(FCalibData.Corners);
  const double latExtent = std::max(c[gcoTopLeft].Latit, c[gcoTopRight].Latit) -
                           std::min(c[gcoBottomLeft].Latit, c[gcoBottomRight].Latit);
  const double longExtent = std::max(c[gcoTopRight].Longit, c[gcoBottomRight].Longit) -
                            std::min(c[gcoTopLeft].Longit, c[gcoBottomLeft].Longit);
  // Lines no closer than the minimum in either direction.
  const double perPixel =
      std::max(std::fabs(latExtent) / FMapImgHeight, std::fabs(longExtent) / FMapImgWidth) /
      Magnification;
  return GraticuleStepFor(perPixel);
}

int32_t TGeoMap::UTMGridDistFor(double Magnification) const {
  if (!(Magnification > 0)) return 0;
  return UTMGridStepFor(FCalibData.Resolution / Magnification);
}

}  // namespace marovia
