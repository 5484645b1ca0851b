// Table of 271 geodetic datums and the seven-parameter Helmert shift between
// any two of them.
//
// Each datum carries its parameters to the common frame of datum 269
// (WORLD GEODETIC SYSTEM 1984), in the position-vector convention:
//   X' = DX + k (X - Rz Y + Ry Z), Y' = DY + k (Rz X + Y - Rx Z),
//   Z' = DZ + k (-Ry X + Rx Y + Z),  k = 1 + Scale 1e-6, rotations in
// radians. A datum whose Scale and rotations are all 0 is a three-parameter
// shift.
#pragma once

#include <cstddef>

#include "marovia/geobasics/ellipsoids.h"
#include "marovia/platform/shortstring.h"

namespace marovia {

struct TDatumData {
  TShortString<33> Name;    // datum name, Windows-1252
  TShortString<35> Region;  // country or region of the parameter set
  TGeoEllipsoid Ellipsoid;
  double DX, DY, DZ;        // translation to the common frame, metres
  double Scale;             // scale difference, parts per million
  double RotX, RotY, RotZ;  // rotations, arc seconds
};
static_assert(sizeof(TDatumData) == 128, "record layout: 34 + 36 + 1 bytes, padding, 7 doubles");

inline constexpr int DatumCount = 271;
inline constexpr int DatumWGS84 = 269;  // the common frame

// The table, datum number n at index n - 1.
extern const TDatumData DatumData[DatumCount];

// The datum numbered n (1..271), or nullptr for any other number.
const TDatumData* GetDatumData(int number);

// Status codes of HelmertTransform.
inline constexpr int htOK = 0;
inline constexpr int htInvalidSource = -1;
inline constexpr int htInvalidTarget = -2;
inline constexpr int htInvalidLatitude = -3;
inline constexpr int htInvalidLongitude = -4;

// Shifts a position (degrees, metres above the source ellipsoid) from datum
// source to datum target, through the common frame: the target's parameters
// are applied negated, which is close to but not exactly the inverse shift.
//
// Result: 0, or the last failing check in this order: -1 source outside
// 1..271, -2 target outside 1..271, -3 latitude outside [-90, 90] or NaN,
// -4 longitude outside [-180, 180] or NaN. With an invalid datum number the
// outputs are left unchanged; with an invalid latitude or longitude the shift
// is still computed.
int HelmertTransform(int source, double lat, double lon, double height, int target, double& outLat,
                     double& outLon, double& outHeight);

}  // namespace marovia
