// geomap info: the report of each calibration file given (a folder stands
// for its calibration files).
#include <filesystem>
#include <ostream>

#include "arguments.h"
#include "atlas_files.h"
#include "cli_text.h"
#include "commands.h"
#include "geomap_cli.h"
#include "map_loading.h"
#include "map_view.h"
#include "marovia/geomap/geomap.h"
#include "residuals.h"

namespace marovia::geomaptool {

int RunInfo(std::span<const std::string> Args, std::ostream& Out, std::ostream& Err) {
  static const TOptionDef kOptions[] = {{"brief", 0, false}, {"max-pixels", 0, true}};
  const TArguments args(Args, kOptions);
  const int64_t maxPixels = MaxPixelsFromArguments(args);
  if (args.Positional().empty()) throw TUsageError("info needs a calibration file or folder");
  std::vector<std::string> files;
  int status = kExitOk;
  for (const std::string& path : args.Positional()) {
    std::error_code ec;
    if (!std::filesystem::is_directory(path, ec)) {
      files.push_back(path);
      continue;
    }
    const apps::TAtlasInputs inputs = apps::ScanAtlasInputs({path});
    for (const std::string& p : inputs.Problems) Report(Err, p);
    if (!inputs.Problems.empty()) status = kExitBadInput;
    if (inputs.Calibrations.empty()) {
      Report(Err, apps::Printable(path) + ": no calibration files in the folder");
      status = kExitBadInput;
    }
    files.insert(files.end(), inputs.Calibrations.begin(), inputs.Calibrations.end());
  }
  bool first = true;
  for (const std::string& file : files) {
    TGeoMap map(nullptr);
    map.SetName("Map");
    map.SetSuppressPaint(true);
    map.SetMaxMapPixels(maxPixels);
    try {
      apps::LoadCalibratedMap(map, file);
    } catch (const apps::TMapFileError& e) {
      Report(Err, e.what());
      status = kExitBadInput;
      continue;
    }
    if (!first) Out << "\n";
    first = false;
    Out << apps::Printable(file) << "\n";
    PrintCalibration(Out, map.Calibration(), map.MapImgFile(), args.Has("brief"));
  }
  return status;
}

}  // namespace marovia::geomaptool
