// .map calibration files of GPS map software, as GDAL's MAP driver reads
// them: comma-separated lines, Windows-1252 text.
//
//   line 1   signature "... Map Data File Version 2.2"
//   line 2   title (the caption here)
//   line 3   the image file: relative to the .map file, or absolute; an
//            absolute path that does not exist falls back on its base name
//            beside the .map file
//   line 4   "1 ,Map Code,"
//   line 5   datum: name first ("WGS 84"), further fields unused
//   then     "Map Projection,NAME,..." and "Projection Setup,lat0,lon0,k,
//            false easting,false northing,parallel 1,parallel 2,..."
//            (NAME: Latitude/Longitude, Mercator, Transverse Mercator,
//            Lambert Conformal Conic, Sinusoidal, Albers Equal Area, or
//            "(UTM) Universal Transverse Mercator")
//   Point01..Point30, 17 fields:
//            Point01,xy,X,Y,in,deg,LATDEG,LATMIN,N|S,LONDEG,LONMIN,E|W,
//            grid,ZONE,EASTING,NORTHING,N|S
//            X, Y empty: an unused point. Latitude and longitude when
//            given, else the grid easting and northing in the projection.
//   MMPXY,n,X,Y       border polygon vertex n in pixels
//   MMPLL,n,LON,LAT   the same vertex in degrees
//   IWH,Map Image Width/Height,W,H
// Pixel convention: X, Y are this library's pixels (and GDAL's pixel/line)
// with no half-pixel shift.
//
// Import takes the datum through this library's datum table (positions on
// another datum are shifted to WGS 84), and the model from the projection:
// Latitude/Longitude gives equirect (or, when the points do not lie on an
// affine transform, a second-order or thin-plate model), UTM on WGS 84 the
// utm model, the other named projections the projected model with the
// projection as a PROJ string, an unknown projection a polynomial or
// thin-plate model on the points' latitudes and longitudes. The MMPXY
// border becomes the calibration's border when it is more than the image's
// outline.
#pragma once

#include <string>
#include <string_view>

#include "marovia/geomap/map_interop.h"

namespace marovia {

// The first line this writer gives a .map file: the format's signature and
// the version whose lines it writes. GDAL and the other readers identify
// the format by it.
extern const std::string_view kMapFileSignature;

// Imports a .map file. The image's size comes from the IWH line, else from
// the image's header. Raises EZYLGeoMapError naming the file and line for
// damaged input, an unknown datum or too few points; EInOutError when the
// file cannot be read.
TImportedMap ImportMapFile(const std::string& FileName);

// The calibration of .map bytes for an image of the given size (IWH, when
// present, wins), without looking for the image: what ImportMapFile does
// after reading, for the fuzz target and tests.
TImportedMap ParseMapFile(std::string_view Bytes, const std::string& FileName, int32_t Width,
                          int32_t Height);

// Writes the calibration as a .map file for the image ImageName (written as
// given on the image line), and answers what a reader will see of it.
// Readers fit a polynomial through the points (affine below 6 points,
// second order from 6), so:
//   - a utm map (WGS 84) is written under UTM with its zone, eastings and
//     northings (GridN x GridN grid, GridN * GridN <= 30): exact;
//   - a projected map whose CRS the format names (Transverse Mercator,
//     Mercator, Lambert Conformal Conic, Albers Equal Area, Sinusoidal, on
//     WGS 84 in metres) under that projection: exact for order 1 and 2;
//   - anything else under the frame (latitude/longitude, or a conformal
//     projection fitted to the map's extent) and the layout of at most 30
//     points whose reader's polynomial strays least from the calibration
//     over the whole image; the answer then holds that read-back error.
// A border is written as MMPXY/MMPLL lines, else the image's outline.
TReadBackError ExportMapFile(const TMapCalibration& Cal, const std::string& FileName,
                             const std::string& ImageName, int GridN = 5);

}  // namespace marovia
