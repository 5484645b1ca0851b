// Transverse Mercator single points: meridian arc, forward and inverse
// projection, each one lane of the vectorised kernels (tm_kernel.h).
#include "marovia/geobasics/transverse_mercator.h"

#include "tm_kernel.h"

namespace marovia {

using namespace geodetail;

double ArcLengthOfMeridian(double phi, TGeoEllipsoid ellipsoid) {
  // The northing on the central meridian is the arc itself: every other
  // term of the series carries a power of the longitude difference.
  double x = 0.0, y = 0.0;
  LatLongToTM(phi, 0.0, 0.0, ellipsoid, x, y);
  return y;
}

void LatLongToTM(double lat, double lon, double lon0, TGeoEllipsoid ellipsoid, double& x,
                 double& y) {
  TmForwardJob job;
  job.Grid = TmGrid::kTransverseMercator;
  job.Count = 1;
  job.Lat = &lat;
  job.Lon = &lon;
  job.Lon0 = lon0;
  job.X = &x;
  job.Y = &y;
  TmForward(TmKernelConstsOf(ellipsoid), job);
}

void TMToLatLong(double x, double y, double lon0, TGeoEllipsoid ellipsoid, double& lat,
                 double& lon) {
  TmInverseJob job;
  job.Grid = TmGrid::kTransverseMercator;
  job.Count = 1;
  job.X = &x;
  job.Y = &y;
  job.Lon0 = lon0;
  job.Lat = &lat;
  job.Lon = &lon;
  TmInverse(TmKernelConstsOf(ellipsoid), job);
}

}  // namespace marovia
