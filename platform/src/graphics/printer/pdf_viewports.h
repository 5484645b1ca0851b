// The georeferencing of a PDF page as page dictionary entries: a viewport
// array (/VP) with one viewport per georeferenced rectangle, each with a
// geospatial measure dictionary.
//
//   /VP [ << /Type /Viewport
//            /BBox [x1 y1 x2 y2]            the rectangle, in points, y up
//            /Name (text)
//            /Measure << /Type /Measure /Subtype /GEO
//                        /Bounds [0 0 0 1 1 1 1 0]   the whole BBox
//                        /GPTS [lat long lat long ...]
//                        /LPTS [u v u v ...]  the same points in the unit
//                                             square of BBox: (0, 0) at its
//                                             lower left, (1, 1) upper right
//                        /GCS << /Type /GEOGCS /EPSG 4326 /WKT (...) >>
//                                (or /PROJCS, the map's projection)
//                        /PDU [(KM) (SQKM) (DEG)] >> >> ... ]
//
// Latitudes and longitudes are written to 1e-9 degrees (0.1 mm), unit
// square positions to 1e-9 of the rectangle (far below a dot of any page).
#pragma once

#include <string>
#include <vector>

#include "marovia/platform/printers.h"

namespace marovia::print {

// The /VP entry for Georeferences of a page PageHeightPt points high whose
// device pixels are PointsPerPixel points wide and high; "" when there are
// none.
std::string PdfViewportEntries(const std::vector<TPageGeoreference>& Georeferences,
                               double PointsPerPixel, double PageHeightPt);

// Catalog entries that declare the geospatial extension the viewports use.
std::string PdfGeospatialCatalogEntries();

// Text (UTF-8) as a PDF text string: a literal string when it is printable
// ASCII, else UTF-16BE with its byte order mark in hexadecimal.
std::string PdfTextString(const std::string& Text);

}  // namespace marovia::print
