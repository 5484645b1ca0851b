// The coordinate reference system a GeoTIFF's GeoKeys define, built whole:
// an EPSG code where the file gives one, otherwise the full definition from
// the keys (datum, ellipsoid, prime meridian, units, the projection method
// with its parameters), bound to WGS 84 through the file's TOWGS84 shift
// when it carries one. Internal to the GeoTIFF import.
//
// Every coordinate transformation the GeoTIFF keys define and PROJ knows is
// mapped to its EPSG method:
//
//   GeoTIFF transformation           PROJ conversion
//   1  TransverseMercator            Transverse Mercator (9807)
//   3  ObliqueMercator (Hotine)      Hotine Oblique Mercator variant A (9812)
//   4  ObliqueMercator_Laborde       Laborde Oblique Mercator (9813)
//   7  Mercator                      Mercator variant A (9804), variant B (9805)
//                                    when a standard parallel is given
//   8  LambertConfConic_2SP          Lambert Conic Conformal 2SP (9802)
//   9  LambertConfConic_1SP          Lambert Conic Conformal 1SP (9801)
//   10 LambertAzimEqualArea          Lambert Azimuthal Equal Area (9820)
//   11 AlbersEqualArea               Albers Equal Area (9822)
//   12 AzimuthalEquidistant          Azimuthal Equidistant
//   13 EquidistantConic              Equidistant Conic
//   14 Stereographic                 Stereographic
//   15 PolarStereographic            Polar Stereographic variant A (9810) at a
//                                    pole, else variant B (9829)
//   16 ObliqueStereographic          Oblique Stereographic (9809)
//   17 Equirectangular               Equidistant Cylindrical (1028)
//   18 CassiniSoldner                Cassini-Soldner (9806)
//   19 Gnomonic, 20 MillerCylindrical, 21 Orthographic (9840), 22 Polyconic
//   (9818), 23 Robinson, 24 Sinusoidal, 25 VanDerGrinten, 26 NewZealandMapGrid
//   (9811), 27 TransvMercator_SouthOriented (9808), 28 CylindricalEqualArea
//   (9835), 9815 HotineObliqueMercatorAzimuthCenter (variant B, 9815)
//
// The three without a counterpart (2 modified Alaska, 5 Rosenmund, 6
// spherical oblique Mercator) are refused by name.
#pragma once

#include <geo_normalize.h>

#include <string>

#include "calibration/proj_support.h"

namespace marovia::interop {

struct TGeoTiffCrs {
  enum TKind {
    Wgs84Geographic,  // latitude/longitude on WGS 84: positions as they are
    OtherGeographic,  // latitude/longitude on another datum or in other units
    Utm,              // WGS 84 / UTM (EPSG 32601..32660, 32701..32760)
    OtherProjected
  } Kind = Wgs84Geographic;
  // "EPSG:nnnn" when the file names the CRS by its code and carries no
  // shift of its own, else the CRS as WKT; empty for Wgs84Geographic.
  std::string Text;
  int Zone = 0;  // Utm
  bool South = false;
};

// The CRS of the keys (Defn as GTIFGetDefn filled it, Model the model type
// key). Raises EZYLGeoMapError with the reason alone (the caller names the
// file) when the keys name neither a code nor a definition, a method PROJ
// has no counterpart for, a code PROJ does not know, another body than the
// Earth, or numbers out of range.
TGeoTiffCrs BuildGeoTiffCrs(PJ_CONTEXT* Ctx, const GTIFDefn& Defn, int Model);

}  // namespace marovia::interop
