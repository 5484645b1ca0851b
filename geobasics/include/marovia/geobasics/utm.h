// Universal Transverse Mercator: zones and latitude bands, and conversion
// between geographic positions (degrees) and UTM easting and northing
// (metres) on a catalogue ellipsoid.
//
// Grid: scale 0.9996 on the central meridian, false easting 500000 m, false
// northing 10000000 m in the southern hemisphere. Zone z (1..60) is 6 degrees
// wide about the central meridian 6z - 183 degrees. Bands C..X (no I, no O)
// are 8 degrees high from 80 S; X covers 72 N to 84 N inclusive. Norway
// (band V, 3 E to 12 E, zone 32) and Svalbard (band X, zones 31, 33, 35, 37)
// are the two exceptions to the regular zones.
#pragma once

#include <string>

#include "marovia/geobasics/ellipsoids.h"

namespace marovia {

inline constexpr double UTM_k0 = 0.9996;
inline constexpr double UTM_FalseEasting = 500000.0;
inline constexpr double UTM_FalseNorthing = 10000000.0;  // southern hemisphere only

// Central meridian of a zone in radians; 0 for a zone outside 1..60.
double UTMCentralMeridian(int zone);

// Zone and band of a position (degrees). Outside the UTM area (latitude
// below -80 or above 84, longitude outside [-180, 180), or NaN) the zone is
// 0 and the band a blank (U+0020).
void GeoToUTMZone(double lat, double lon, int& zone, char16_t& band);
// The same as text, zone then band ("32U"); empty outside the UTM area.
std::string GeoToUTMZone(double lat, double lon);

// Geographic (degrees) to UTM. The hemisphere is not returned: southern
// northings carry the false northing, a northing of exactly 0 (equator) does
// not. Outside the UTM area the zone is 0 and the position is projected
// about the Greenwich meridian; callers test for zone 0.
//
// The series is evaluated to within 1e-9 m (northings and eastings) and
// 1e-12 degrees of its exact value; the single points and the batches
// (utm_batch.h) run the same vector code and give the same bits. An
// ellipsoid outside the catalogue raises EZYLGeoBasicsError.
void LatLongToUTM(double lat, double lon, TGeoEllipsoid ellipsoid, int& zone, double& easting,
                  double& northing);

// Geographic (degrees) to UTM of a given zone and hemisphere, as a map
// calibrated on one zone's grid needs it: the position is projected about
// that zone's central meridian whatever zone it lies in (the grid goes on
// beyond the zone's strip, losing accuracy beyond about 5 degrees from the
// meridian), and the northing carries the false northing exactly when
// southhemi is set, north of the equator too. A zone outside 1..60 is taken
// as central meridian 0, as UTMToLatLong does.
void LatLongToUTMInZone(double lat, double lon, int zone, bool southhemi, TGeoEllipsoid ellipsoid,
                        double& easting, double& northing);

// UTM to geographic (degrees). southhemi says whether the northing carries
// the southern false northing. A zone outside 1..60 is taken as central
// meridian 0.
void UTMToLatLong(double easting, double northing, int zone, bool southhemi,
                  TGeoEllipsoid ellipsoid, double& lat, double& lon);

}  // namespace marovia
