// A position typed on the page, as a user writes it, to WGS 84 latitude and
// longitude:
//   48.1374 11.5755          decimal degrees, latitude first (commas or
//   48.1374N, 11.5755E       semicolons between; hemisphere letters before
//                            or after, which also fix which is which)
//   48°8'14.6"N 11°34'31.8"E degrees, minutes, seconds (° ' " or ′ ″), or
//   48 8 14.6 N 11 34 31.8 E the same with blanks, a letter after each
//   32T 465270 5246384       UTM: zone and band, easting, northing (metres)
//   EPSG:25832 691607 5334760  x and y (east first) in a projected CRS that
//                            PROJ knows, in the CRS's units
#pragma once

#include <string_view>

namespace marovia::geomaptool {

struct TTypedPosition {
  double Lat = 0, Lon = 0;
};

// Raises TServeRequestError (serve_request.h) saying what is wrong; an
// unknown CRS with PROJ's words.
TTypedPosition ParseTypedPosition(std::string_view Text);

}  // namespace marovia::geomaptool
