// Identifiers a CRS's own definition contradicts. Internal to the map
// control.
#pragma once

#include <string>

#include "calibration/proj_support.h"

namespace marovia {

// Crs, read from Text, with labels and definition agreeing:
// - where Crs's geodetic system or datum carries an identifier that PROJ's
//   database gives another ellipsoid or prime meridian ("EPSG:4979" on a
//   prime meridian of 5°, or of another name), the definition holds: Text
//   is read again without any identifier (a damaged text that PROJ read
//   leniently, and cannot read so again, has its geographic system made
//   again from its own parts);
// - where only the datum's name differs from its identifier's, letter for
//   letter ("WGS\x9f4", "WGS,1984", or a WKT 1 spelling such as
//   "M_poraloko" labelled with the datum of "M'poraloko"), the label holds:
//   the geographic system is made again on the database's datum.
// Null stays null.
//
// PROJ trusts a label whose object differs from the definition when it
// searches for a transformation: a system labelled as a realisation of
// WGS 84 sent the search through every datum linked to WGS 84, 1 700
// candidate transformations built and kept, seconds for a text of 700
// bytes and again for every copy. Agreeing, the search takes milliseconds.
// Of the 10 229 WKT 1 and WKT 2 texts of the database's projected systems,
// two are made again (on the datum their WKT 1 names "M_poraloko") and
// every one converts as before.
TPjPtr WithoutContradictedIds(PJ_CONTEXT* Ctx, TPjPtr Crs, const std::string& Text);

}  // namespace marovia
