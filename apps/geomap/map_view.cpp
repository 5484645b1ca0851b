#include "map_view.h"

#include <cmath>

#include "cli_text.h"
#include "marovia/platform/sample_display.h"
#include "marovia/platform/sysutils.h"

namespace marovia::geomaptool {

const TOptionDef kViewOptions[11] = {
    {"size", 0, true},       {"center", 0, true},   {"mag", 0, true},    {"grid", 0, true},
    {"grid-step", 0, true},  {"utm-step", 0, true}, {"labels", 0, true}, {"no-antialias", 0, false},
    {"max-pixels", 0, true}, {"bands", 0, true},    {"stretch", 0, true}};

// Views larger than this many pixels a side are refused before anything is
// allocated.
constexpr int kMaxViewSide = 8192;

int64_t MaxPixelsFromArguments(const TArguments& Args) {
  const auto n = Args.Number("max-pixels", static_cast<double>(kMaxMapPixels),
                             static_cast<double>(kMaxTiledMapPixels));
  if (!n) return kMaxTiledMapPixels;
  if (*n != std::floor(*n)) throw TUsageError("--max-pixels must be a whole number");
  return static_cast<int64_t>(*n);
}

TMapSourceOptions SourceOptionsFromArguments(const TArguments& Args) {
  TMapSourceOptions options;
  options.MaxMapPixels = MaxPixelsFromArguments(Args);
  const auto bands = Args.Value("bands"), stretch = Args.Value("stretch");
  if (bands || stretch) {
    try {
      options.SampleDisplay = ParseSampleDisplay(bands.value_or(""), stretch.value_or(""));
    } catch (const EConvertError& e) {
      throw TUsageError(std::string("--bands/--stretch: ") + e.what());
    }
    const std::string problem = SampleDisplayProblem(options.SampleDisplay);
    if (!problem.empty()) throw TUsageError("--bands/--stretch: " + problem);
  }
  return options;
}

TViewRequest ViewFromArguments(const TArguments& Args) {
  TViewRequest v;
  if (const auto s = Args.Value("size")) {
    const auto size = apps::ParseSize(*s, 16, kMaxViewSide);
    if (!size) {
      throw TUsageError("--size '" + apps::Printable(*s) +
                        "' is not WIDTHxHEIGHT with sides from 16 to " +
                        std::to_string(kMaxViewSide));
    }
    v.Width = size->Width;
    v.Height = size->Height;
  }
  if (const auto c = Args.Value("center")) {
    const auto center = apps::ParseLatLon(*c);
    if (!center) {
      throw TUsageError("--center '" + apps::Printable(*c) +
                        "' is not LAT,LON in degrees (latitude -90..90, longitude -180..180)");
    }
    v.Center = TCoords{center->Lat, center->Lon};
  }
  v.Magnification = Args.Number("mag", 0.001, 64);
  if (v.Magnification && *v.Magnification <= 0) throw TUsageError("--mag must be above 0");
  if (const auto g = Args.Value("grid")) {
    const auto grid = GridFromName(*g);
    if (!grid) {
      throw TUsageError("--grid '" + apps::Printable(*g) +
                        "' is not one of none, points, lines, lines+points, utm, utm+points");
    }
    v.Grid = *grid;
  }
  v.GridStepDegrees = Args.Number("grid-step", 0, 60).value_or(0);
  v.UtmStepMetres = Args.Integer("utm-step", 0, 10000000).value_or(0);
  v.AntiAlias = !Args.Has("no-antialias");
  if (const auto l = Args.Value("labels")) {
    if (*l != "place" && *l != "all")
      throw TUsageError("--labels '" + apps::Printable(*l) + "' is not place or all");
    v.PlaceLabels = *l == "place";
  }
  return v;
}

}  // namespace marovia::geomaptool
