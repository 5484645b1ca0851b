#include "render_source.h"

#include <filesystem>
#include <ostream>

#include "cli_text.h"
#include "commands.h"
#include "geomap_cli.h"
#include "marovia/geoatlas/atlas_index.h"
#include "marovia/geomap/geodb_layer.h"
#include "marovia/geomap/landmark.h"
#include "marovia/geomap/map_folder.h"
#include "marovia/geomap/map_import.h"
#include "marovia/geomap/overlay_layer.h"
#include "marovia/geomap/track_files.h"
#include "marovia/platform/files.h"
#include "marovia/platform/strutils.h"
#include "view_warnings.h"

namespace marovia::geomaptool {

std::shared_ptr<const TMapSource> OpenMapArgument(const std::string& Path,
                                                  const TMapSourceOptions& Options) {
  return OpenMapFile(Path, Options);
}

std::string SourceName(const TMapSource& Source) {
  return Source.CalibrationFile().empty() ? Source.ImageFile() : Source.CalibrationFile();
}

namespace {

// Whether the source's pixels decode (they are decoded now, for the view).
bool PixelsDecode(const TMapSource& Source, std::ostream& Err) {
  try {
    if (Source.Tiled())
      Source.Levels();
    else
      Source.Bitmap();
    return true;
  } catch (const std::exception& e) {
    Report(Err, apps::Printable(SourceName(Source)) + ": " + apps::Printable(e.what()));
    return false;
  }
}

std::shared_ptr<const TMapSource> OpenAtlasSource(const std::string& Folder,
                                                  const TViewRequest& View,
                                                  const TMapSourceOptions& Options,
                                                  std::ostream& Err, int& Status) {
  if (!View.Center) throw TUsageError("an atlas folder needs --center LAT,LON");
  const TMapFiles files = ScanMapFiles({Folder});
  std::vector<std::string> problems = files.Problems;
  const TAtlasIndex index = TAtlasIndex::FromFiles(files.Calibrations, problems);
  for (const std::string& p : problems) Report(Err, apps::Printable(p));
  if (!problems.empty()) Status = kExitBadInput;
  const TCoords c = *View.Center;
  std::vector<std::string> passed;
  std::shared_ptr<const TMapSource> source =
      OpenForView(index, c.Latit, c.Longit, View.Width, View.Height, View.Magnification.value_or(1),
                  Options, passed);
  for (const std::string& p : passed) Report(Err, apps::Printable(p));
  if (!passed.empty()) Status = kExitBadInput;
  if (source) return source;
  Report(Err, apps::Printable(Folder) + ": no map of the atlas contains position " +
                  apps::Fixed(c.Latit, 5) + "," + apps::Fixed(c.Longit, 5));
  Status = kExitBadInput;
  return nullptr;
}

}  // namespace

std::shared_ptr<const TMapSource> OpenRenderSource(const std::string& Path,
                                                   const TViewRequest& View,
                                                   const TMapSourceOptions& Options,
                                                   std::ostream& Err, int& Status) {
  std::error_code ec;
  if (std::filesystem::is_directory(Path, ec))
    return OpenAtlasSource(Path, View, Options, Err, Status);
  try {
    std::shared_ptr<const TMapSource> source = OpenMapArgument(Path, Options);
    if (PixelsDecode(*source, Err)) return source;
  } catch (const std::exception& e) {
    const std::string what = e.what();
    Report(Err, apps::Printable(what.find(Path) != std::string::npos ? what : Path + ": " + what));
  }
  Status = kExitBadInput;
  return nullptr;
}

void AddOverlayArguments(const TArguments& Args, TGeoMap& Map, std::ostream& Err, int& Status) {
  for (const std::string& file : Args.Values("track")) {
    try {
      Map.AddOverlayLayer(std::make_shared<TOverlayLayer>(ReadTrackFile(file), file));
    } catch (const std::exception& e) {
      const std::string what = e.what();
      Report(Err,
             apps::Printable(what.find(file) != std::string::npos ? what : file + ": " + what));
      Status = kExitBadInput;
    }
  }
  for (const std::string& base : Args.Values("db")) {
    try {
      auto db = std::make_shared<TGeoDB>(nullptr);
      db->SetReadOnly(true);
      db->SetDBName(base);
      Map.AddOverlayLayer(std::make_shared<TGeoDBLayer>(std::move(db), base));
    } catch (const std::exception& e) {
      const std::string what = e.what();
      Report(Err,
             apps::Printable(what.find(base) != std::string::npos ? what : base + ": " + what));
      Status = kExitBadInput;
    }
  }
}

std::shared_ptr<const TMapSource> PrepareRenderedMap(const TArguments& Args,
                                                     const TViewRequest& View, TGeoMap& Map,
                                                     std::ostream& Err, int& Status) {
  Map.SetName("Map");
  Map.SetSuppressPaint(true);
  const TMapSourceOptions options = SourceOptionsFromArguments(Args);
  std::shared_ptr<const TMapSource> source =
      OpenRenderSource(Args.Positional()[0], View, options, Err, Status);
  if (!source) return nullptr;
  const std::string name = apps::Printable(SourceName(*source));
  Map.SetMaxMapPixels(options.MaxMapPixels);
  Map.SetMapSource(source);
  if (const auto landmarks = Args.Value("landmarks")) {
    try {
      Map.AssignLandMarks(ReadLandMarkFile(*landmarks));
    } catch (const std::exception& e) {
      const std::string what = e.what();
      Report(Err, apps::Printable(what.find(*landmarks) != std::string::npos
                                      ? what
                                      : *landmarks + ": " + what));
      Status = kExitBadInput;
    }
  }
  AddOverlayArguments(Args, Map, Err, Status);
  try {
    ApplyView(Map, View);
  } catch (const EZYLGeoMapError& e) {
    Report(Err, name + ": " + apps::Printable(e.what()));
    Status = kExitBadInput;
    return nullptr;
  }
  for (const std::string& w : ViewWarnings(Map, View)) Report(Err, "warning: " + name + ": " + w);
  return source;
}

}  // namespace marovia::geomaptool
