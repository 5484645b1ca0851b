// KML ground overlays of a calibrated map, and KMZ archives holding one
// with its image.
//
// An equirect map whose pixel columns and rows meet at right angles in
// degrees is written as a LatLonBox (north, south, east, west of the
// unrotated image and its rotation in degrees counter-clockwise about the
// centre); any other map as a gx:LatLonQuad of its four image corners
// (lower left, lower right, upper right, upper left; longitude,latitude).
// Pixel convention: the box and the quad are the outer CORNERS of the
// image (pixel (0, 0) here is the top left corner), WGS 84 degrees.
#pragma once

#include <string>

#include "marovia/geomap/map_calibration.h"

namespace marovia {

// The KML document of the overlay with ImageHref as the icon's link.
// Raises EZYLGeoMapError when the calibration does not convert the
// image's corners.
std::string KmlGroundOverlay(const TMapCalibration& Cal, const std::string& ImageHref);

// Writes the KML document FileName linking to ImageHref.
void ExportKml(const TMapCalibration& Cal, const std::string& FileName,
               const std::string& ImageHref);

// Writes FileName as a zip archive of "doc.kml" and the map image (file
// ImageName, stored under its base name, to which the KML links).
void ExportKmz(const TMapCalibration& Cal, const std::string& FileName,
               const std::string& ImageName);

}  // namespace marovia
