// Writing a calibrated map as a GeoTIFF file: the image as tiled (256 x 256),
// DEFLATE-compressed 8-bit RGB, with the georeferencing in GeoTIFF tags.
//
// Pixel convention: raster type PixelIsArea; the file's raster positions are
// ours (the top-left corner of the top-left pixel is 0, 0), as GDAL's
// pixel/line coordinates are.
//
// What the georeferencing becomes, by model:
//   cmEquiRect                     WGS 84 geographic (EPSG 4326), affine
//   cmUTM on WGS 84                WGS 84 / UTM (EPSG 326zz, 327zz), affine
//   cmProjected, PolyOrder 1,      that CRS's EPSG code, affine in its own
//   CRS with an EPSG code           units
//   everything else                a GcpGrid x GcpGrid grid of control points
//                                  over the image (edges included, rounded
//                                  to whole pixels), sampled
//                                  from the model: in the projected CRS for
//                                  cmProjected with an EPSG code, else WGS 84
//                                  latitude and longitude
// An affine map with north up and no rotation is written as a tiepoint and a
// pixel scale, any other as a ModelTransformation matrix.
#pragma once

#include <string>

#include "marovia/geomap/map_calibration.h"

namespace marovia {

class TBitmap;

// Writes Image with Calibration's georeferencing to FileName, under a
// temporary name renamed at the end, so a failed export leaves no file and
// an existing file as it was. GcpGrid: points per side of the control-point
// grid, 2..14 (at most 196 points). Raises EZYLGeoMapError naming the file
// when the calibration does not convert, the image is empty or its size
// differs from the calibration's, a grid point has no position, or GcpGrid
// is out of range; EInOutError when the file cannot be written.
void ExportGeoTiff(const TMapCalibration& Calibration, const TBitmap& Image,
                   const std::string& FileName, int GcpGrid = 5);

}  // namespace marovia
