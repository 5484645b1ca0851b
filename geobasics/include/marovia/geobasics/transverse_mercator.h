// Transverse Mercator on a catalogue ellipsoid: meridian arc and the forward
// and inverse series, in radians and unscaled metres (no scale factor, no
// false origin; the UTM functions add those).
//
// The series are carried to the eighth power of the longitude difference and
// the fifth power of the third flattening; within 3 degrees of the central
// meridian they agree with an exact Transverse Mercator to well under 0.1 mm.
// Accuracy falls off quickly beyond about 5 degrees from the central meridian.
//
// The series themselves are evaluated to within 1e-9 m (and 1e-12 degrees
// back) of their exact values, by vector code that the UTM batches share
// (utm_batch.h), so a single point and a batch give the same bits. An
// ellipsoid outside the catalogue raises EZYLGeoBasicsError.
#pragma once

#include "marovia/geobasics/ellipsoids.h"

namespace marovia {

// Length of the meridian arc from the equator to latitude phi (radians,
// negative south), metres. 45 degrees on WGS 84 gives 4984944.378 m.
double ArcLengthOfMeridian(double phi, TGeoEllipsoid ellipsoid);

// Forward Transverse Mercator. lat, lon and the central meridian lon0 in
// radians; x (east of lon0) and y (north of the equator) in unscaled metres.
void LatLongToTM(double lat, double lon, double lon0, TGeoEllipsoid ellipsoid, double& x,
                 double& y);

// Inverse Transverse Mercator: x, y in unscaled metres, lon0 in radians;
// lat and lon in radians.
void TMToLatLong(double x, double y, double lon0, TGeoEllipsoid ellipsoid, double& lat,
                 double& lon);

}  // namespace marovia
