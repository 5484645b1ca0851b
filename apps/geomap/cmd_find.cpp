// geomap find LAT,LON FOLDER...: the maps of a collection (folders walked
// down their whole tree) that cover a place, finest first, one a line:
// the calibration file, its resolution and its caption. Only the
// calibrations and their images' headers are read, through the atlas
// index: a collection of thousands of sheets answers in the time it takes
// to read their calibration files.
#include <cstdio>
#include <ostream>

#include "arguments.h"
#include "cli_text.h"
#include "commands.h"
#include "folder_tree.h"
#include "geomap_cli.h"
#include "marovia/geoatlas/atlas_index.h"
#include "marovia/geomap/map_folder.h"

namespace marovia::geomaptool {

int RunFind(std::span<const std::string> Args, std::ostream& Out, std::ostream& Err) {
  const TArguments args(Args, {});
  if (args.Positional().size() < 2)
    throw TUsageError("find needs LAT,LON and the folders of the maps");
  const auto place = apps::ParseLatLon(args.Positional()[0]);
  if (!place)
    throw TUsageError("'" + apps::Printable(args.Positional()[0]) +
                      "' is not LAT,LON in decimal degrees");
  const std::vector<std::string> paths(args.Positional().begin() + 1, args.Positional().end());
  const TMapFiles files = ScanMapFiles(FolderTrees(paths));
  std::vector<std::string> problems = files.Problems;
  const TAtlasIndex index = TAtlasIndex::FromFiles(files.Calibrations, problems);
  for (const std::string& p : problems) Report(Err, apps::Printable(p));
  for (const size_t i : index.Covering(place->Lat, place->Lon)) {
    const TAtlasMap& m = index[i];
    char resolution[32];
    std::snprintf(resolution, sizeof resolution, "%.3f", m.Resolution);
    Out << apps::Printable(m.File) << "\t" << resolution << " m/px\t" << apps::Printable(m.Caption)
        << "\n";
  }
  return problems.empty() ? kExitOk : kExitBadInput;
}

}  // namespace marovia::geomaptool
