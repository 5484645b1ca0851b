// UTM forward and inverse on top of the Transverse Mercator series.
#include "marovia/geobasics/utm.h"

#include "geo_constants.h"
#include "marovia/geobasics/transverse_mercator.h"

namespace marovia {

using namespace geodetail;

void LatLongToUTM(double lat, double lon, TGeoEllipsoid ellipsoid, int& zone, double& easting,
                  double& northing) {
  char16_t band = u' ';
  GeoToUTMZone(lat, lon, zone, band);
  double x = 0.0;
  double y = 0.0;
  LatLongToTM(DegToRad(lat), DegToRad(lon), UTMCentralMeridian(zone), ellipsoid, x, y);
  easting = x * UTM_k0 + UTM_FalseEasting;
  northing = y * UTM_k0;
  if (northing < 0.0) northing += UTM_FalseNorthing;
}

void UTMToLatLong(double easting, double northing, int zone, bool southhemi,
                  TGeoEllipsoid ellipsoid, double& lat, double& lon) {
  const double x = (easting - UTM_FalseEasting) / UTM_k0;
  const double y = southhemi ? (northing - UTM_FalseNorthing) / UTM_k0 : northing / UTM_k0;
  double latRad = 0.0;
  double lonRad = 0.0;
  TMToLatLong(x, y, UTMCentralMeridian(zone), ellipsoid, latRad, lonRad);
  lat = RadToDeg(latRad);
  lon = RadToDeg(lonRad);
}

}  // namespace marovia
