// UTM conversions over spans of positions: element i of the outputs is
// exactly (to the bit) what LatLongToUTM / UTMToLatLong (utm.h) give for
// element i of the inputs. The ellipsoid's constants are taken once per
// call instead of once per position, which is where a batch saves time; the
// series themselves are the single-point ones.
//
// All spans of a call must have the same length and the ellipsoid must be
// one of the catalogue; otherwise EZYLGeoBasicsError is raised before
// anything is written. Outputs must
// not overlap the inputs. Safe to call from several threads at once.
#pragma once

#include <span>

#include "marovia/geobasics/ellipsoids.h"

namespace marovia {

// Geographic (degrees) to UTM, each position in its own zone (0 outside
// the UTM area, projected about Greenwich as LatLongToUTM does).
void LatLongToUTM(std::span<const double> lat, std::span<const double> lon,
                  TGeoEllipsoid ellipsoid, std::span<int> zone, std::span<double> easting,
                  std::span<double> northing);

// UTM of one zone and hemisphere to geographic (degrees).
void UTMToLatLong(std::span<const double> easting, std::span<const double> northing, int zone,
                  bool southhemi, TGeoEllipsoid ellipsoid, std::span<double> lat,
                  std::span<double> lon);

// Transverse Mercator (radians, as LatLongToTM in transverse_mercator.h)
// about one central meridian lon0: x and y before scale and false origin.
void LatLongToTM(std::span<const double> lat, std::span<const double> lon, double lon0,
                 TGeoEllipsoid ellipsoid, std::span<double> x, std::span<double> y);

}  // namespace marovia
