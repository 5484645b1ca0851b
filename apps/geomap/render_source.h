// The map a command works on, from its MAP argument: a calibration file,
// another program's map file imported on the fly, or for the drawing
// commands an atlas folder whose map suits the view best.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>

#include "arguments.h"
#include "map_view.h"
#include "marovia/geomap/geomap.h"

namespace marovia::geomaptool {

// A calibration file (.xml, or any file no importer knows), or a map file
// of another program (a GeoTIFF, a .map file, a .points list, an image with
// a world file beside it), as a map source. Raises EInOutError or
// EZYLGeoMapError naming the file.
std::shared_ptr<const TMapSource> OpenMapArgument(const std::string& Path,
                                                  const TMapSourceOptions& Options);

// The map a drawing command draws: OpenMapArgument, or for a folder the
// map of its atlas that suits View best (TAtlasIndex::ForView; a view
// without a centre is refused with TUsageError), passing over maps whose
// pixels cannot be decoded. Problems are reported on Err and set Status to
// kExitBadInput; null when there is nothing to draw.
std::shared_ptr<const TMapSource> OpenRenderSource(const std::string& Path,
                                                   const TViewRequest& View,
                                                   const TMapSourceOptions& Options,
                                                   std::ostream& Err, int& Status);

// The name of a source in messages: its calibration file, else its image.
std::string SourceName(const TMapSource& Source);

// The overlay layers of --track FILE (any track, waypoint or GeoJSON file
// the track readers take; repeatable) and --db BASE (an item database,
// opened read-only; repeatable), added to Map in that order. Files that
// cannot be read are reported on Err and set Status to kExitBadInput.
void AddOverlayArguments(const TArguments& Args, TGeoMap& Map, std::ostream& Err, int& Status);

// The map of a drawing command ready to draw: Map (fresh, painting
// suppressed) takes the source of the first positional argument, the
// landmarks of --landmarks, the layers of --track and --db, and View. Problems are reported on Err
// and set Status; Source is the map drawn, null when there is nothing to draw.
std::shared_ptr<const TMapSource> PrepareRenderedMap(const TArguments& Args,
                                                     const TViewRequest& View, TGeoMap& Map,
                                                     std::ostream& Err, int& Status);

}  // namespace marovia::geomaptool
