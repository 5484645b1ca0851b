// Identifiers a CRS's own definition contradicts. Internal to the map
// control.
#pragma once

#include "calibration/proj_support.h"

namespace marovia {

// Crs, or Crs read again without any identifier where its geodetic system
// or datum carries one whose ellipsoid or prime meridian differs from its
// own ("EPSG:4979" on a prime meridian of 5°, datum "EPSG:6326" on another
// ellipsoid). Null stays null.
//
// PROJ trusts such identifiers when it searches for a transformation: one
// labelled as a realisation of WGS 84 sent the search through every datum
// linked to WGS 84, 1 700 candidate transformations built and kept, seconds
// for a text of 700 bytes and again for every copy. The definition is what
// the text states; without the labels PROJ finds the transformation it
// finds for the definition alone, in milliseconds.
TPjPtr WithoutContradictedIds(PJ_CONTEXT* Ctx, TPjPtr Crs);

}  // namespace marovia
