// A GDAL virtual raster (.vrt) that names the map image and carries the
// calibration as ground control points: a GCPList with its projection and
// one GCP per point, then the image's bands.
//
// Pixel convention: GCP Pixel/Line are GDAL's pixel/line coordinates, whose
// origin is the top left CORNER of the top left pixel, the same numbers as
// this library's pixels. GCP X/Y are longitude/latitude (WGS 84; the
// projection carries the axis mapping "2,1"), the easting/northing of a UTM
// map's zone, or the metres of a projected model's CRS.
#pragma once

#include <string>

#include "marovia/geomap/map_calibration.h"
#include "marovia/geomap/map_interop.h"

namespace marovia {

// Writes FileName. The GCPs are the calibration points of a thin-plate
// model (so that a thin-plate transformer through them is the same spline),
// else a GridN x GridN grid sampled from the model (2 <= GridN <= 50). The
// image is named relative to the .vrt when it lies in the same folder tree,
// else by its absolute path; Bands bands of bytes (3: red, green, blue).
// Answers what GDAL's default reader (a polynomial through the GCPs, of
// order 2 from 6 GCPs) sees of it: exact for the affine models.
TReadBackError ExportVrt(const TMapCalibration& Cal, const std::string& FileName,
                         const std::string& ImageName, int GridN = 5, int Bands = 3);

}  // namespace marovia
