// The map a drawing command works on: a calibration file, or the map of an
// atlas folder that covers the view best.
#pragma once

#include <iosfwd>
#include <string>

#include "arguments.h"
#include "map_view.h"

namespace marovia::geomaptool {

// Loads Path (a calibration file, or a folder whose map is chosen by
// ChooseAtlasMap) into Map and names the calibration file in Source.
// Problems are reported on Err and set Status to kExitBadInput; answers
// false when there is no map to draw.
bool LoadRenderSource(const std::string& Path, const TViewRequest& View, TGeoMap& Map,
                      std::string& Source, std::ostream& Err, int& Status);

// The map of a drawing command ready to draw: Map (fresh, painting
// suppressed) loaded by LoadRenderSource from the first positional argument,
// the landmarks of --landmarks added and View applied; Source names the
// calibration file. Problems are reported
// on Err and set Status; answers false when there is nothing to draw.
bool PrepareRenderedMap(const TArguments& Args, const TViewRequest& View, TGeoMap& Map,
                        std::string& Source, std::ostream& Err, int& Status);

}  // namespace marovia::geomaptool
