#include "render_source.h"

#include <filesystem>

#include "view_warnings.h"

#include "arguments.h"
#include "atlas_files.h"
#include "commands.h"
#include "geomap_cli.h"
#include "map_loading.h"

namespace marovia::geomaptool {

bool LoadRenderSource(const std::string& Path, const TViewRequest& View, TGeoMap& Map,
                      std::string& Source, std::ostream& Err, int& Status) {
  std::error_code ec;
  Source = Path;
  if (std::filesystem::is_directory(Path, ec)) {
    if (!View.Center) throw TUsageError("an atlas folder needs --center LAT,LON");
    const apps::TAtlasInputs inputs = apps::ScanAtlasInputs({Path});
    std::vector<std::string> problems = inputs.Problems;
    Source = ChooseAtlasMap(inputs.Calibrations, View, problems);
    for (const std::string& p : problems) Report(Err, p);
    if (!problems.empty()) Status = kExitBadInput;
    if (Source.empty()) {
      Report(Err, apps::Printable(Path) + ": no map of the atlas contains position " +
                      apps::Fixed(View.Center->Lat, 5) + "," + apps::Fixed(View.Center->Lon, 5));
      Status = kExitBadInput;
      return false;
    }
  }
  Map.SetMaxMapPixels(View.MaxPixels);
  try {
    apps::LoadCalibratedMap(Map, Source);
  } catch (const apps::TMapFileError& e) {
    Report(Err, e.what());
    Status = kExitBadInput;
    return false;
  }
  return true;
}

bool PrepareRenderedMap(const TArguments& Args, const TViewRequest& View, TGeoMap& Map,
                        std::string& Source, std::ostream& Err, int& Status) {
  Map.SetName("Map");
  Map.SetSuppressPaint(true);
  if (!LoadRenderSource(Args.Positional()[0], View, Map, Source, Err, Status)) return false;
  if (const auto landmarks = Args.Value("landmarks")) {
    try {
      apps::LoadLandmarkFile(Map, *landmarks);
    } catch (const apps::TMapFileError& e) {
      Report(Err, e.what());
      Status = kExitBadInput;
    }
  }
  try {
    ApplyView(Map, View);
  } catch (const TViewError& e) {
    Report(Err, apps::Printable(Source) + ": " + e.what());
    Status = kExitBadInput;
    return false;
  }
  for (const std::string& w : ViewWarnings(Map, View))
    Report(Err, "warning: " + apps::Printable(Source) + ": " + w);
  return true;
}

}  // namespace marovia::geomaptool
