// The page beside a directory of web tiles: a slippy map of the tiles with
// the atlas's landmarks as markers, a scale bar and the outlines of the
// maps as a layer that can be switched off. The map library is copied
// beside the page, so the page needs nothing from the internet.
#pragma once

#include <string>
#include <vector>

#include "marovia/geomap/tile_store.h"

namespace marovia {

class TAtlasTiles;
struct TTrackData;

// Where the map library's files (leaflet.js, leaflet.css, images/) are
// taken from: $MAROVIA_LEAFLET_DIR, else the system's packaged copy.
std::string LeafletSourceDir();

// Writes Dir/index.html (the landmarks of LandmarkFiles, the maps'
// outlines and the tracks, routes, waypoints and shapes of Tracks, when
// given, as GeoJSON layers inside it) and Dir/leaflet/. Landmark files that cannot be
// read, or a missing map library, are reported in Problems (the page is
// still written; without the library it shows nothing). Raises EInOutError
// when the page cannot be written.
void WriteTilePage(const std::string& Dir, const TAtlasTiles& Tiles,
                   const std::vector<std::string>& LandmarkFiles, const TTileSetInfo& Info,
                   std::vector<std::string>& Problems, const TTrackData* Tracks = nullptr);

}  // namespace marovia
