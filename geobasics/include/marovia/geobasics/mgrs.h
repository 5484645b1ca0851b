// Military Grid Reference System (MGRS) and its civil twin, the US National
// Grid (USNG): a position as a grid zone, a 100 km square and the easting
// and northing within that square, "32UNA7166639109" or, spaced as USNG
// writes it, "32U NA 71666 39109".
//
// Grid zones are the UTM zones and latitude bands of utm.h between 80 S and
// 84 N (84 N itself included, as in GeoToUTMZone), with the Norway and
// Svalbard exceptions; beyond them the polar caps use UPS (ups.h) with the
// bands A and B (south, west and east of the 0/180 meridian plane) and Y
// and Z (north). Zone numbers are written without a leading zero.
//
// 100 km squares (the "AA" lettering):
//   UTM columns  A-H, J-R, S-Z (no I, O) for zones 1, 2, 3 mod 3, from
//                easting 100 km;
//   UTM rows     A-V (no I, O) cycling every 2000 km of northing, from 0 in
//                odd zones and from F in even ones;
//   UPS columns  A: JKLPQRSTUXYZ from 800 km, B: ABCFGHJKLPQR from 2000 km,
//                Y: RSTUXYZ from 1300 km, Z: ABCFGHJ from 2000 km;
//   UPS rows     south A-Z (no I, O) from 800 km, north A-P (no I, O) from
//                1300 km.
// Digits: precision p = 0..5 digits per coordinate, a square of 10^(5-p)
// metres (5: 1 m, 0: the 100 km square alone). The easting and northing
// are truncated, never rounded, so a reference names the square that holds
// the position; the way back gives the square's centre.
//
// Conversions are on a catalogue ellipsoid (the grid is defined on WGS 84;
// others letter the same way). Thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "marovia/geobasics/ellipsoids.h"

namespace marovia {

inline constexpr int MGRS_MaxPrecision = 5;
inline constexpr std::size_t MGRS_MaxLength = 15;  // "32UNA7166639109"
inline constexpr std::size_t USNG_MaxLength = 18;  // "32U NA 71666 39109"

// The reference of a position (degrees) at precision 0..5 (other values
// are clamped), in the compact MGRS form or, when spaced, the USNG form.
// Empty for no position: a latitude outside -90..90, a longitude outside
// -180..180 (180 itself is taken as -180), NaN.
std::string LatLongToMGRS(double lat, double lon, int precision = MGRS_MaxPrecision,
                          TGeoEllipsoid ellipsoid = gelWGS84, bool spaced = false);

// The centre of the square a reference names, degrees; case and blanks do
// not matter, and a zone may have a leading zero. precision receives the
// reference's digits per coordinate. False for text that is not a
// reference, with the reason in why (when given): a malformed text, a zone
// outside 1..60, a band or square letter that does not exist there (a row
// letter that does not occur in the band, for instance).
bool MGRSToLatLong(std::string_view reference, TGeoEllipsoid ellipsoid, double& lat, double& lon,
                   int& precision, std::string* why = nullptr);

// Batches: the UTM part runs the vectorised series (utm_batch.h), the
// letters and digits follow per position; each element is what the single
// conversion gives. All spans of a call must agree in length (text spans
// in whole fields), else EZYLGeoBasicsError before anything is written.

// References into fixed-width fields of `width` characters (at least
// MGRS_MaxLength, or USNG_MaxLength when spaced), padded with NULs; a
// field is all NULs for no position.
void LatLongToMGRS(std::span<const double> lat, std::span<const double> lon, int precision,
                   TGeoEllipsoid ellipsoid, std::span<char> text, std::size_t width,
                   bool spaced = false);

// Positions of references in fixed-width fields (text up to the first NUL
// or the field's end); ok[i] is 0 and the position NaN for a field that is
// not a reference.
void MGRSToLatLong(std::span<const char> text, std::size_t width, TGeoEllipsoid ellipsoid,
                   std::span<double> lat, std::span<double> lon, std::span<uint8_t> ok);

}  // namespace marovia
