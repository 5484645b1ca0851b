// What a drawn view leaves out or shows doubtfully, told to the user as
// warnings: the view is still written and the exit status stays.
#pragma once

#include <string>
#include <vector>

#include "map_view.h"

namespace marovia::geomaptool {

// A calibration point whose fitted pixel lies this far (pixels) or more
// from where it was clicked makes the whole calibration suspect.
constexpr double kSuspectResidualPixels = 20;

// One line each (without the file name): a grid step so fine that the
// control draws no line of it, calibration points with a suspect residual.
std::vector<std::string> ViewWarnings(const TGeoMap& Map, const TViewRequest& View);

}  // namespace marovia::geomaptool
