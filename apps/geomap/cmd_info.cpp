// geomap info: the report of each calibration file given (a folder stands
// for its calibration files; another program's map file is imported). The
// calibrations and their images' headers are read: no image is decoded.
#include <filesystem>
#include <ostream>

#include "arguments.h"
#include "cli_text.h"
#include "commands.h"
#include "geomap_cli.h"
#include "map_view.h"
#include "marovia/geomap/map_folder.h"
#include "render_source.h"
#include "residuals.h"

namespace marovia::geomaptool {

int RunInfo(std::span<const std::string> Args, std::ostream& Out, std::ostream& Err) {
  static const TOptionDef kOptions[] = {{"brief", 0, false}, {"max-pixels", 0, true}};
  const TArguments args(Args, kOptions);
  const TMapSourceOptions options = SourceOptionsFromArguments(args);
  if (args.Positional().empty()) throw TUsageError("info needs a calibration file or folder");
  std::vector<std::string> files;
  int status = kExitOk;
  for (const std::string& path : args.Positional()) {
    std::error_code ec;
    if (!std::filesystem::is_directory(path, ec)) {
      files.push_back(path);
      continue;
    }
    const TMapFiles inputs = ScanMapFiles({path});
    for (const std::string& p : inputs.Problems) Report(Err, apps::Printable(p));
    if (!inputs.Problems.empty()) status = kExitBadInput;
    if (inputs.Calibrations.empty()) {
      Report(Err, apps::Printable(path) + ": no calibration files in the folder");
      status = kExitBadInput;
    }
    files.insert(files.end(), inputs.Calibrations.begin(), inputs.Calibrations.end());
  }
  bool first = true;
  for (const std::string& file : files) {
    std::shared_ptr<const TMapSource> source;
    try {
      source = OpenMapArgument(file, options);
    } catch (const std::exception& e) {
      const std::string what = e.what();
      Report(Err,
             apps::Printable(what.find(file) != std::string::npos ? what : file + ": " + what));
      status = kExitBadInput;
      continue;
    }
    if (!first) Out << "\n";
    first = false;
    Out << apps::Printable(file) << "\n";
    const TMapCalibration& cal = source->Calibration();
    PrintCalibration(Out, cal,
                     cal.Data().MapFName.empty() ? source->ImageFile() : cal.Data().MapFName,
                     args.Has("brief"));
  }
  return status;
}

}  // namespace marovia::geomaptool
