// World files: the six numbers beside a map image that place it in a CRS
// by an affine transform (.jgw .jpgw .pgw .pngw .tfw .tifw .bpw .wld).
//
// Format, one number a line:
//   line 1  A  x size of a pixel (CRS units per column)
//   line 2  D  rotation term: change of Y per column
//   line 3  B  rotation term: change of X per row
//   line 4  E  y size of a pixel, negative for north up
//   line 5  C  X of the CENTRE of the top left pixel
//   line 6  F  Y of the CENTRE of the top left pixel
// so that the centre of pixel (column i, row j) lies at
//   X = A i + B j + C,  Y = D i + E j + F.
// Pixel convention: a world file names the centre of the top left pixel,
// half a pixel in from the corner that this library's pixel (0, 0) and
// GDAL's geotransform name. The corner is at X = C - A/2 - B/2,
// Y = F - D/2 - E/2.
//
// The file carries no CRS: it comes from the caller, a .prj file (WKT)
// beside the image, or the image's .aux.xml (its <SRS> element). Export
// writes the CRS into the image's .aux.xml, where GDAL looks first.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "marovia/geomap/map_interop.h"

namespace marovia {

// The world file names tried beside an image, in order: the extension's
// first and last letter and "w" (map.png -> map.pgw), the extension's first
// three letters and "w", the extension and "w", then ".wld"; each also in
// upper case.
std::vector<std::string> WorldFileNames(const std::string& ImageName);

// The six numbers of a world file's bytes, in file order (A D B E C F).
// Raises EZYLGeoMapError naming FileName and the line when a line is not a
// number, a number is missing, or the transform is degenerate. Lines after
// the sixth are ignored, blank lines after them too.
std::array<double, 6> ParseWorldFile(std::string_view Bytes, const std::string& FileName);

// The image of the world file WorldFileName: the image extensions that
// name it (.pgw -> .png), tried beside it; "" when none is there.
std::string ImageOfWorldFile(const std::string& WorldFileName);

// Imports the map image ImageName through the world file beside it. The
// CRS is CrsText when given, else the image's .aux.xml, else the .prj file
// beside it; without one the import is refused naming the files looked for.
// WGS 84 latitude/longitude gives the equirect model, a WGS 84 UTM zone the
// utm model, any other projected CRS the projected model of order 1 (its
// coordinates in the CRS's own unit), latitude/longitude on another datum
// or in other units positions moved to WGS 84 through PROJ. The
// image's size is read from its header. Raises EZYLGeoMapError (EInOutError
// for a file that cannot be read).
TImportedMap ImportWorldFile(const std::string& ImageName, const std::string& CrsText = "");

// Writes the world file of an affine calibration (equirect, utm, projected
// of order 1) for the map image ImageName, and the CRS into ImageName +
// ".aux.xml". WorldFileName "" takes the first of WorldFileNames. Refuses
// any other model with EZYLGeoMapError naming it; nothing is written then.
void ExportWorldFile(const TMapCalibration& Cal, const std::string& ImageName,
                     const std::string& WorldFileName = "");

}  // namespace marovia
