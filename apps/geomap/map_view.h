// The options that describe a view (--size, --center, --mag, --grid,
// --grid-step, --utm-step, --labels, --no-antialias), the image limit
// (--max-pixels) and how image samples are shown (--bands, --stretch), as
// the library's view request and map source options.
#pragma once

#include <cstdint>

#include "arguments.h"
#include "marovia/geomap/map_source.h"
#include "marovia/geomap/view_request.h"

namespace marovia::geomaptool {

// The options of the commands that draw a view.
extern const TOptionDef kViewOptions[11];

// The value of --max-pixels: the largest map image taken (default
// kMaxTiledMapPixels: images above kMaxMapPixels are read through their
// tile pyramid, cached in the user's cache folder). TUsageError for a
// value that is not a whole number from kMaxMapPixels to
// kMaxTiledMapPixels.
int64_t MaxPixelsFromArguments(const TArguments& Args);
// The map source options of a command: the --max-pixels limit and the
// --bands and --stretch display of TIFF samples (TUsageError for a display
// that cannot be read or used).
TMapSourceOptions SourceOptionsFromArguments(const TArguments& Args);

// The view of the options; TUsageError for a bad value.
TViewRequest ViewFromArguments(const TArguments& Args);

}  // namespace marovia::geomaptool
