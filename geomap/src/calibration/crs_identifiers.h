// Identifiers a CRS's own definition contradicts. Internal to the map
// control.
#pragma once

#include <string>

#include "calibration/proj_support.h"

namespace marovia {

// Crs, read from Text; or Text read again without any identifier where
// Crs's geodetic system or datum carries one that PROJ's database defines
// otherwise ("EPSG:4979" on a prime meridian of 5°, datum "EPSG:6326" on
// another ellipsoid or with a prime meridian of another name). Null stays
// null.
//
// PROJ trusts such identifiers when it searches for a transformation: one
// labelled as a realisation of WGS 84 sent the search through every datum
// linked to WGS 84, 1 700 candidate transformations built and kept, seconds
// for a text of 700 bytes and again for every copy. The definition is what
// the text states; without the labels PROJ finds the transformation it
// finds for the definition alone. None of the 10 229 WKT 1 and WKT 2
// texts of the database's projected systems loses its labels.
TPjPtr WithoutContradictedIds(PJ_CONTEXT* Ctx, TPjPtr Crs, const std::string& Text);

}  // namespace marovia
