// What the map exchange formats need to know about a CRS given as text (an
// authority code, a PROJ string, WKT from a .prj or .aux.xml file): whether
// it is WGS 84 latitude/longitude, a WGS 84 UTM zone or something else, and
// its WKT for the files that carry one. Internal to the map control.
#pragma once

#include <string>

namespace marovia::interop {

enum TCrsKind {
  ckGeographicWgs84,  // latitude/longitude on WGS 84: the equirect model
  ckUtmWgs84,         // a UTM zone on WGS 84: the utm model
  ckProjected,        // any other projected CRS: the projected model
  ckOtherGeographic   // latitude/longitude on another datum or in other units
};

struct TCrsInfo {
  TCrsKind Kind = ckProjected;
  int Zone = 0;  // ckUtmWgs84: 1..60
  bool South = false;
};

// Classifies Text through PROJ. Raises EZYLGeoMapError naming Where and the
// text (its first 80 characters) when PROJ does not know it or it is no
// geographic or projected CRS.
TCrsInfo ClassifyCrs(const std::string& Text, const std::string& Where);

// Whether Text is a projected CRS on the WGS 84 datum (positions converted
// to WGS 84 need no datum shift to reach its metres), and its EPSG code (0
// when it has none). Raises like ClassifyCrs.
bool ProjectedOnWgs84(const std::string& Text, const std::string& Where, int& Epsg);

// The CRS as WKT in the flavour GDAL writes into .prj and .aux.xml files,
// and whether its first axis is latitude (then data in longitude, latitude
// order needs the axis mapping "2,1"). Raises like ClassifyCrs.
std::string CrsAsWkt(const std::string& Text, const std::string& Where, bool& LatitudeFirst);

}  // namespace marovia::interop
