// Geographic coordinates with ellipsoidal height and earth-centred cartesian
// coordinates (X towards longitude 0 on the equator, Z towards the north
// pole), on a catalogue ellipsoid. Degrees and metres.
#pragma once

#include "marovia/geobasics/ellipsoids.h"

namespace marovia {

void GeoToCartesian(double lat, double lon, double height, TGeoEllipsoid ellipsoid, double& x,
                    double& y, double& z);

// Closed-form inverse (no iteration), accurate to well under a millimetre
// for points from a few kilometres below to a few thousand kilometres above
// the surface. A point on the polar axis gives latitude +90 (Z >= 0)
// or -90 and longitude 0.
void CartesianToGeo(double x, double y, double z, TGeoEllipsoid ellipsoid, double& lat, double& lon,
                    double& height);

}  // namespace marovia
