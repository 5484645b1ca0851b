// Universal Polar Stereographic: geographic positions (degrees) to UPS x, y
// (metres) and back, on a catalogue ellipsoid.
//
// Grid: scale 0.994 at the pole, false easting and northing 2000000 m. In
// the north, y grows away from the pole towards longitude 180; in the south,
// towards longitude 0. Latitude 0 counts as northern. The inverse solves the
// conformal latitude with at most six Newton steps (far below a micrometre).
#pragma once

#include "marovia/geobasics/ellipsoids.h"

namespace marovia {

inline constexpr double UPS_k0 = 0.994;
inline constexpr double UPS_FalseOrigin = 2000000.0;  // both easting and northing

// x, y of the position; the pole maps to (2000000, 2000000). Longitudes
// 180 and -180 give x exactly 2000000, longitudes 90 and -90 give y exactly
// 2000000.
void LatLongToUPS(double lat, double lon, TGeoEllipsoid ellipsoid, double& x, double& y);

// Position of a UPS point in the given hemisphere.
void UPSToLatLong(double x, double y, bool southhemi, TGeoEllipsoid ellipsoid, double& lat,
                  double& lon);

}  // namespace marovia
