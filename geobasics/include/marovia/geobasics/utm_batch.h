// UTM conversions over spans of positions: element i of the outputs is
// exactly (to the bit) what LatLongToUTM / LatLongToUTMInZone /
// UTMToLatLong (utm.h) give for element i of the inputs. Both run the same
// vectorised series, the batches on as many positions at once as the
// processor's vectors hold (chosen once per process), the single points on
// one lane.
//
// All spans of a call must have the same length and the ellipsoid must be
// one of the catalogue; otherwise EZYLGeoBasicsError is raised before
// anything is written. Outputs must
// not overlap the inputs. Safe to call from several threads at once.
#pragma once

#include <cstdint>
#include <span>

#include "marovia/geobasics/ellipsoids.h"

namespace marovia {

// Geographic (degrees) to UTM, each position in its own zone (0 outside
// the UTM area, projected about Greenwich as LatLongToUTM does).
void LatLongToUTM(std::span<const double> lat, std::span<const double> lon, TGeoEllipsoid ellipsoid,
                  std::span<int> zone, std::span<double> easting, std::span<double> northing);

// Geographic (degrees) to UTM of one given zone and hemisphere, as
// LatLongToUTMInZone (utm.h).
void LatLongToUTMInZone(std::span<const double> lat, std::span<const double> lon, int zone,
                        bool southhemi, TGeoEllipsoid ellipsoid, std::span<double> easting,
                        std::span<double> northing);

// UTM of one zone and hemisphere to geographic (degrees).
void UTMToLatLong(std::span<const double> easting, std::span<const double> northing, int zone,
                  bool southhemi, TGeoEllipsoid ellipsoid, std::span<double> lat,
                  std::span<double> lon);

// UTM to geographic (degrees) with a zone and a hemisphere per point
// (southhemi[i] nonzero: the northing carries the false northing).
void UTMToLatLong(std::span<const double> easting, std::span<const double> northing,
                  std::span<const int> zone, std::span<const uint8_t> southhemi,
                  TGeoEllipsoid ellipsoid, std::span<double> lat, std::span<double> lon);

// Transverse Mercator (radians, as LatLongToTM in transverse_mercator.h)
// about one central meridian lon0: x and y before scale and false origin.
void LatLongToTM(std::span<const double> lat, std::span<const double> lon, double lon0,
                 TGeoEllipsoid ellipsoid, std::span<double> x, std::span<double> y);

}  // namespace marovia
