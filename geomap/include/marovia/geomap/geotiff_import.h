// The calibration of a GeoTIFF file, read from its georeferencing tags and
// GeoKeys.
//
// Georeferencing, the first of these the file holds:
//   ModelTransformation   an affine matrix from raster to model space;
//   one ModelTiepoint     plus ModelPixelScale: north-up affine;
//   several ModelTiepoints (3 or more): ground control points.
// Raster positions in the file count from the top-left corner of the top-left
// pixel when the raster type is PixelIsArea (the default); under PixelIsPoint
// they count from its centre, so they are moved by half a pixel (a position
// (i, j) of the file is pixel (i + 0.5, j + 0.5) of the calibration), as GDAL
// reads such files.
//
// The coordinate reference system is built whole from the GeoKeys (see
// interop/geotiff_crs.h): the EPSG code where the file gives one (in the
// file's own linear unit when it names another), otherwise the definition
// the keys give (datum, ellipsoid, prime meridian, units, every GeoTIFF
// projection method), bound to WGS 84 through GeogTOWGS84GeoKey when the
// file carries it. Then:
//   WGS 84 geographic (EPSG 4326)              -> cmEquiRect
//   WGS 84 / UTM (EPSG 32601..32660, 32701..32760) -> cmUTM, zone and hemisphere
//   any other projected CRS                    -> cmProjected (PolyOrder 1), CrsText
//                                                 "EPSG:nnnn", or the CRS as WKT
//   any other geographic CRS                   -> a grid of positions moved to
//                                                 WGS 84 through PROJ, fitted by the
//                                                 simplest model that meets them
//                                                 within a hundredth of a pixel
// An affine georeferencing is sampled at the four corners and the centre of
// the image and the model fitted to those points, so the calibration
// converts as the file does.
//
// Control points choose the model by their count, as GDAL chooses a
// polynomial's order: 3..5 points an affine fit, 6..9 a second-order one,
// 10 or more (any number) a thin-plate spline through the points. Affine
// and second-order fits are made in the CRS's own coordinates: cmEquiRect
// and cmBiquadraticPn for WGS 84 degrees (and other geographic CRSs, moved
// to WGS 84), cmProjected of order 1 or 2 for projected CRSs (UTM
// included). Control points keep their positions between pixels (the
// calibration's full-precision points).
//
// Border: a neatline in the file's metadata field (the item "NEATLINE", a
// WKT polygon in the model's coordinates, as GDAL writes it) becomes the
// calibration's border, in pixels, for an affine georeferencing; a neatline
// that cannot be read is left out rather than refused.
#pragma once

#include <string>

#include "marovia/geomap/map_interop.h"

namespace marovia {

// Reads FileName (a TIFF or BigTIFF file with GeoTIFF tags) and answers its
// fitted calibration, with the image size set, and the file's name as the
// map image. Raises EZYLGeoMapError naming the file and what is wrong: not a
// TIFF file, no GeoKeys, no georeferencing, a CRS the keys cannot build
// (naming what is missing: no method, a method without a PROJ counterpart,
// another body than the Earth), fewer than 3 control points, or a fit that
// fails.
TImportedMap ImportGeoTiff(const std::string& FileName);

}  // namespace marovia
