// KML ground overlays of other software (and of ExportKml): a map image
// placed on the globe by a LatLonBox, rotated or not, or by a
// gx:LatLonQuad; from a .kml document or a .kmz archive.
//
// The first GroundOverlay of the document is read:
//   Icon/href          the image: a path relative to the document (or a
//                      member of the archive); a URL stands for its file
//                      name beside the document
//   LatLonBox          north, south, east, west of the unrotated image in
//                      WGS 84 degrees and its rotation, degrees counter-
//                      clockwise about the box's centre in longitude and
//                      latitude: an affine map, the equirect model
//   gx:LatLonQuad      the image's lower left, lower right, upper right and
//                      upper left corners ("lon,lat[,alt]"), the image
//                      stretched bilinearly between them: the equirect
//                      model for a parallelogram, else the model that meets
//                      the bilinear stretch within a hundredth of a pixel
// An overlay across 180 degrees (east below west, or a quad whose corners
// straddle it) is taken as one piece east of its western edge; the
// calibration then gives longitudes within -180..180 on both sides.
// Pixel convention: the box and the quad are the image's outer corners.
#pragma once

#include <string>
#include <string_view>

#include "marovia/geomap/map_interop.h"

namespace marovia {

// Imports the ground overlay of a .kml or .kmz file (by its content: a zip
// archive is a KMZ). The image of a KMZ is written into ImageFolder (""
// for the archive's folder) under the archive's name with the image's
// extension (maps.kmz holding 0/0/0.jpg gives maps.jpg), unless a file
// with the same bytes is there already; a different file of that name is
// not overwritten. Raises EZYLGeoMapError naming the file and what is
// missing (no GroundOverlay, no href, no box or quad, an image that is
// not found, with the places looked in), EInOutError when a file cannot be
// read or written.
TImportedMap ImportKml(const std::string& FileName, const std::string& ImageFolder = "");

// The overlay of a KML document's bytes for an image of Width x Height
// pixels, without looking for the image (fuzz target, tests). The result's
// ImageName is the href as written.
TImportedMap ParseKmlOverlay(std::string_view Kml, const std::string& FileName, int32_t Width,
                             int32_t Height);

}  // namespace marovia
