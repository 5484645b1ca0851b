// Control-point lists of desktop GIS georeferencers (.points files): CSV
// text, one point a line.
//
//   #CRS: <the CRS of mapX/mapY as WKT, one line>        optional
//   mapX,mapY,sourceX,sourceY,enable,dX,dY,residual      header
//   8.54,47.37,120.5,-310.25,1,0,0,0                      a point
//
// mapX, mapY: the point in the CRS (longitude and latitude, or easting and
// northing); sourceX, sourceY: its image pixel, x right and y NEGATIVE
// downwards (pixel row 310 is sourceY -310). Pixel convention: the origin
// is the top left corner of the image, as this library's pixels (no
// half-pixel shift). enable 0 leaves the point out; dX, dY and residual are
// the georeferencer's and are written as 0. Lines starting with '#' other
// than #CRS are comments.
#pragma once

#include <string>
#include <string_view>

#include "marovia/geomap/map_interop.h"

namespace marovia {

// Imports a .points file for the image ImageName; "" takes the image the
// way georeferencers name the list: "X.jpg.points" beside "X.jpg", or
// "X.points" beside X with an image extension (the message names every
// name tried when none is there). The CRS is CrsText when given, else the
// #CRS line; without one the import is refused. The model follows from the
// CRS and how the points lie: affine when it meets every point within a
// pixel (or below 6 points), else second order, else thin-plate; any
// number of points, positions between pixels kept. Raises EZYLGeoMapError
// naming the file and line for damaged input.
TImportedMap ImportControlPoints(const std::string& FileName, const std::string& ImageName = "",
                                 const std::string& CrsText = "");

// The same from bytes, for an image of the given size (fuzz target, tests).
TImportedMap ParseControlPoints(std::string_view Bytes, const std::string& FileName, int32_t Width,
                                int32_t Height, const std::string& CrsText = "");

// Writes the calibration's points (of a point model; else a GridN x GridN
// grid sampled from the model) with the CRS of the model: WGS 84
// latitude/longitude, the UTM zone, or the projected model's CRS.
void ExportControlPoints(const TMapCalibration& Cal, const std::string& FileName, int GridN = 5);

}  // namespace marovia
