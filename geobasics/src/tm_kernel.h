// The Transverse Mercator series as one vectorised kernel per direction (not
// installed). The single-point functions (transverse_mercator.cpp, utm.cpp)
// and the batches (utm_batch.cpp) all run these kernels, the single points
// on one lane, so a position converts to the same bits whichever way it is
// converted. The instruction set is chosen once per process from what the
// processor offers.
//
// How the written series is evaluated:
//   - the multiple-angle sums of the meridian arc and of the footpoint
//     latitude by Clenshaw summation, from one sine/cosine pair;
//   - the powers of the longitude difference (forward) and of the easting
//     (inverse) by Horner's rule;
//   - the terms that reach millions of metres (alpha phi, the scale factor,
//     the false northing, degrees to radians) in double-double arithmetic,
//     so that a northing is within a few nanometres of the series evaluated
//     exactly, not only within a few units in its last place.
#pragma once

#include <cstddef>

#include "marovia/geobasics/ellipsoids.h"

namespace marovia::geodetail {

// An ellipsoid's constants of the series, computed once in extended
// precision.
struct TmKernelConsts {
  double A2OverB;           // a^2 / b: N = a^2 / (b sqrt(1 + eta^2))
  double BOverA2;           // b / a^2: 1 / N
  double Ep2;               // second eccentricity squared (a^2 - b^2) / b^2
  double AlphaHi, AlphaLo;  // alpha = (a + b)/2 (1 + n^2/4 + n^4/64), split in two
  double InvAlpha;          // 1 / alpha
  double Arc[4];            // meridian arc: coefficients of sin 2phi, 4phi, 6phi, 8phi
  double Foot[4];           // footpoint latitude: the same for the scaled northing
};

// The constants of a catalogue ellipsoid (a table made on first use);
// EZYLGeoBasicsError for a value outside the catalogue.
const TmKernelConsts& TmKernelConstsOf(TGeoEllipsoid ellipsoid);

enum class TmGrid {
  kTransverseMercator,  // radians in, unscaled metres out, about Lon0
  kUtmOwnZone,          // degrees; each position in the zone it lies in
  kUtmGivenZone,        // degrees; every position in one zone and hemisphere
};

// Geographic to grid, Count positions.
struct TmForwardJob {
  TmGrid Grid = TmGrid::kTransverseMercator;
  std::size_t Count = 0;
  const double* Lat = nullptr;  // radians (kTransverseMercator) or degrees
  const double* Lon = nullptr;
  double Lon0 = 0;          // kTransverseMercator: central meridian, radians
  double ZoneMeridian = 0;  // kUtmGivenZone: central meridian, degrees
  bool South = false;       // kUtmGivenZone: northings carry the false northing
  int* Zone = nullptr;      // kUtmOwnZone: each position's zone, 0 outside the UTM area
  double* X = nullptr;      // easting, or x unscaled
  double* Y = nullptr;      // northing, or y unscaled
};

// Grid to geographic, Count points. Meridians and FalseNorthings, when
// given, hold per point what ZoneMeridian and FalseNorthing give to all.
struct TmInverseJob {
  TmGrid Grid = TmGrid::kTransverseMercator;  // kTransverseMercator or kUtmGivenZone
  std::size_t Count = 0;
  const double* X = nullptr;  // easting, or x unscaled
  const double* Y = nullptr;  // northing, or y unscaled
  double Lon0 = 0;            // kTransverseMercator: central meridian, radians
  double ZoneMeridian = 0;    // kUtmGivenZone: central meridian, degrees
  double FalseNorthing = 0;   // kUtmGivenZone: 0 or 10000000
  const double* Meridians = nullptr;
  const double* FalseNorthings = nullptr;
  double* Lat = nullptr;  // radians (kTransverseMercator) or degrees
  double* Lon = nullptr;
};

// Run on the best instruction set of the processor. Outputs must not
// overlap inputs.
void TmForward(const TmKernelConsts& k, const TmForwardJob& job);
void TmInverse(const TmKernelConsts& k, const TmInverseJob& job);

}  // namespace marovia::geodetail
