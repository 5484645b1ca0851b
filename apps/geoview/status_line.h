// The text of the viewer's status line.
#pragma once

#include <optional>
#include <string>

#include "marovia/geobasics/ellipsoids.h"
#include "marovia/geomap/position.h"

namespace marovia::geoview {

struct TPointerPosition {
  double Lat = 0;  // degrees
  double Lon = 0;
};

// The pointer's latitude and longitude in degrees and minutes, its UTM
// zone, band, easting and northing and its MGRS reference to the metre (on
// Ellipsoid), the magnification and the map's caption. Without a position
// (the pointer is off the map, or the map cannot convert there) the
// position fields are left out.
std::string StatusLine(const std::optional<TPointerPosition>& Pointer, TGeoEllipsoid Ellipsoid,
                       double Magnification, const std::string& Caption);

// The live position's part of the status line: "GPS 3D fix, 18.5 km/h,
// 8 satellites" while receiving (what the source does not give is left
// out), "GPS connecting", "GPS lost: Why", and nothing for no source.
std::string GpsStatus(const std::optional<TPositionFix>& Fix, std::optional<TSourceState> State,
                      const std::string& Why);

}  // namespace marovia::geoview
