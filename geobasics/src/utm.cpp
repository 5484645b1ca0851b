// UTM single points, each one lane of the vectorised Transverse Mercator
// kernels (tm_kernel.h), so that they give the bits of the batches.
#include "marovia/geobasics/utm.h"

#include "geo_constants.h"
#include "tm_kernel.h"

namespace marovia {

using namespace geodetail;

void LatLongToUTM(double lat, double lon, TGeoEllipsoid ellipsoid, int& zone, double& easting,
                  double& northing) {
  TmForwardJob job;
  job.Grid = TmGrid::kUtmOwnZone;
  job.Count = 1;
  job.Lat = &lat;
  job.Lon = &lon;
  job.Zone = &zone;
  job.X = &easting;
  job.Y = &northing;
  TmForward(TmKernelConstsOf(ellipsoid), job);
}

void LatLongToUTMInZone(double lat, double lon, int zone, bool southhemi, TGeoEllipsoid ellipsoid,
                        double& easting, double& northing) {
  TmForwardJob job;
  job.Grid = TmGrid::kUtmGivenZone;
  job.Count = 1;
  job.Lat = &lat;
  job.Lon = &lon;
  job.ZoneMeridian = ZoneMeridianDegrees(zone);
  job.South = southhemi;
  job.X = &easting;
  job.Y = &northing;
  TmForward(TmKernelConstsOf(ellipsoid), job);
}

void UTMToLatLong(double easting, double northing, int zone, bool southhemi,
                  TGeoEllipsoid ellipsoid, double& lat, double& lon) {
  TmInverseJob job;
  job.Grid = TmGrid::kUtmGivenZone;
  job.Count = 1;
  job.X = &easting;
  job.Y = &northing;
  job.ZoneMeridian = ZoneMeridianDegrees(zone);
  job.FalseNorthing = southhemi ? UTM_FalseNorthing : 0.0;
  job.Lat = &lat;
  job.Lon = &lon;
  TmInverse(TmKernelConstsOf(ellipsoid), job);
}

}  // namespace marovia
