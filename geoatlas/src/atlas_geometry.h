// Longitudes around the antimeridian, shared by the atlas's entries and
// queries.
#pragma once

#include <vector>

#include "marovia/geomap/calib_types.h"

namespace marovia::atlasgeo {

// Longitude brought into -180..180 (180 stays 180, -180 stays -180).
double WrapLongitude(double Long);
// Longitude moved by whole turns to within 180 degrees of Reference.
double NearLongitude(double Long, double Reference);
// The positions with their longitudes made one continuous run from the
// first (each within 180 degrees of the one before).
void UnwrapLongitudes(std::vector<TCoords>& Positions);
// Even-odd rule in latitude and longitude.
bool InsidePolygon(double Lat, double Long, const std::vector<TCoords>& Polygon);

}  // namespace marovia::atlasgeo
