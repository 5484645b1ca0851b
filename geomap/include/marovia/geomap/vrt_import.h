// GDAL virtual rasters (.vrt) over one map image: placed by a GeoTransform
// in their SRS, or by ground control points (GCPList) in its projection,
// as ExportVrt and GDAL's tools write them.
//
//   <VRTDataset rasterXSize="W" rasterYSize="H">
//     <SRS dataAxisToSRSAxisMapping="1,2">WKT, PROJ string or code</SRS>
//     <GeoTransform>X0, dX/dx, dX/dy, Y0, dY/dx, dY/dy</GeoTransform>
//     <GCPList Projection="..." dataAxisToSRSAxisMapping="2,1">
//       <GCP Id="1" Pixel="x" Line="y" X="..." Y="..." Z="0"/> ...
//     </GCPList>
//     <VRTRasterBand ...><SimpleSource><SourceFilename relativeToVRT="1">
//       image.png</SourceFilename> ...
//   </VRTDataset>
//
// X and Y are easting and northing, or longitude and latitude (a mapping
// "1,2" on a CRS whose first axis is latitude swaps them). The image is
// the first source file, relative to the .vrt when relativeToVRT is 1; a
// source whose size differs from the raster's is refused. Ground control
// points choose the model by their count, as GDAL's transformer does: 3 to
// 5 affine, 6 to 9 second order, 10 or more a thin-plate spline through
// them (gdaltransform -tps). Pixel convention:
// GDAL's pixel/line, this library's pixels.
#pragma once

#include <string>
#include <string_view>

#include "marovia/geomap/map_interop.h"

namespace marovia {

// Imports FileName. Raises EZYLGeoMapError naming the file and what is
// wrong or missing (no georeferencing, an unknown CRS, no source image,
// an image of another size), EInOutError when it cannot be read.
TImportedMap ImportVrt(const std::string& FileName);

// The calibration of .vrt bytes, without looking for the image (fuzz
// target, tests); ImageName is the source file name resolved against
// FileName's folder.
TImportedMap ParseVrt(std::string_view Bytes, const std::string& FileName);

}  // namespace marovia
