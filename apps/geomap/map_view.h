// A view of a calibrated map: its size, centre, magnification and what is
// drawn over the map, the options that describe it, and the choice of the
// atlas map that covers a view best.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "arguments.h"
#include "cli_text.h"
#include "marovia/geomap/geomap.h"

namespace marovia::geomaptool {

struct TViewRequest {
  int Width = 800;  // pixels
  int Height = 600;
  // The position at the view's centre; the image centre when absent.
  std::optional<apps::TLatLon> Center;
  // Control pixels per image pixel; when absent 1 with a centre, otherwise
  // the whole image fitted into the view.
  std::optional<double> Magnification;
  TShowGrat Grid = sgNone;
  double GridStepDegrees = 0;  // 0: chosen by the map control
  int UtmStepMetres = 0;       // 0: chosen by the map control
  bool AntiAlias = true;
  // Captions placed without overlap (--labels place, the default); false
  // draws every caption where its offsets put it (--labels all).
  bool PlaceLabels = true;
  // Largest map image taken (--max-pixels); above kMaxMapPixels the image
  // is read as tiles.
  int64_t MaxPixels = kMaxMapPixels;
};

// The options --size, --center, --mag, --grid, --grid-step, --utm-step,
// --labels, --no-antialias and --max-pixels, for the commands that draw a
// view.
extern const TOptionDef kViewOptions[9];
// The value of --max-pixels (kMaxMapPixels when absent); TUsageError for a
// value that is not a whole number from kMaxMapPixels to kMaxTiledMapPixels.
int64_t MaxPixelsFromArguments(const TArguments& Args);
// Raises TUsageError for a bad value.
TViewRequest ViewFromArguments(const TArguments& Args);

// The grid names of --grid: none, points, lines, lines+points, utm,
// utm+points.
std::optional<TShowGrat> GridFromName(const std::string& Name);

// Sizes Map to the view, sets what is drawn and places the view, then
// paints once. A grid step of 0 becomes the round step that suits the
// view's magnification (lines 60 to 150 pixels apart). Raises TViewError when the centre is not on
// the map.
class TViewError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
void ApplyView(TGeoMap& Map, const TViewRequest& View);

// Share (0..1) of the view that the map image would fill on Map.
double ViewCoverage(const TGeoMap& Map, const TViewRequest& View);

// Among the calibrations whose map contains the view's centre: the finest
// map whose image fills at least kFilledView of the view; when none does,
// the map that fills most of it (among equal shares the finer). The view's
// magnification is taken on each map's own pixels. Calibrations that cannot
// be loaded are reported in Problems and passed over. Empty when no map
// contains the centre.
constexpr double kFilledView = 0.9;
std::string ChooseAtlasMap(const std::vector<std::string>& Calibrations, const TViewRequest& View,
                           std::vector<std::string>& Problems);

}  // namespace marovia::geomaptool
