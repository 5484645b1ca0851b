// Transverse Mercator series: meridian arc, footpoint latitude, forward and
// inverse projection. The terms are summed in increasing powers, exactly as
// written, so results are reproducible to the last bit.
#include "marovia/geobasics/transverse_mercator.h"

#include <cmath>

#include "geo_constants.h"
#include "tm_series.h"

namespace marovia {

using namespace geodetail;

double ArcLengthOfMeridian(double phi, TGeoEllipsoid ellipsoid) {
  return ArcLength(phi, TmSeriesOf(ellipsoid));
}

void LatLongToTM(double lat, double lon, double lon0, TGeoEllipsoid ellipsoid, double& x,
                 double& y) {
  LatLongToTM(lat, lon, lon0, TmSeriesOf(ellipsoid), x, y);
}

void TMToLatLong(double x, double y, double lon0, TGeoEllipsoid ellipsoid, double& lat,
                 double& lon) {
  TMToLatLong(x, y, lon0, TmSeriesOf(ellipsoid), lat, lon);
}

}  // namespace marovia
