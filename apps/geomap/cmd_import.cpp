// geomap import: reads the calibration of a map made by other software (a
// GeoTIFF, a world file beside its image, a .map file, a .points
// control-point list, a KML/KMZ ground overlay, a GDAL virtual raster) and
// writes it as a calibration file of this library.
//
// The format follows from the file's content (ImportMap); the file's image
// is found by the format's own rules and named in the calibration without
// a folder, so it must stay beside the calibration.
#include <ostream>

#include "arguments.h"
#include "cli_text.h"
#include "commands.h"
#include "geomap_cli.h"
#include "marovia/geomap/calxml.h"
#include "marovia/geomap/map_import.h"
#include "marovia/platform/files.h"
#include "marovia/platform/strutils.h"
#include "marovia/platform/sysutils.h"

namespace marovia::geomaptool {

int RunImport(std::span<const std::string> Args, std::ostream& Out, std::ostream& Err) {
  static const TOptionDef kOptions[] = {{"output", 'o', true}, {"crs", 0, true}, {"id", 0, true}};
  const TArguments args(Args, kOptions);
  if (args.Positional().size() != 1) throw TUsageError("import needs one file");
  const auto output = args.Value("output");
  if (!output || output->empty()) throw TUsageError("import needs -o CALIBRATION.xml");
  const std::string& file = args.Positional()[0];
  TImportedMap imported;
  try {
    // The image of a KMZ goes beside the calibration, which names it
    // without a folder.
    imported = ImportMap(file, {args.Value("crs").value_or(""), ExtractFilePath(*output)});
  } catch (const std::exception& e) {
    Report(Err, apps::Printable(e.what()) + "; no calibration written");
    return kExitBadInput;
  }
  const std::string id = args.Value("id").value_or(ChangeFileExt(ExtractFileName(*output), ""));
  try {
    SaveCalibrationAsXML(*output, id, imported.Calibration);
  } catch (const std::exception& e) {
    Report(Err, apps::Printable(e.what()));
    return kExitIo;
  }
  Out << apps::Printable(*output) << ": model "
      << CalibModelNames[static_cast<size_t>(imported.Calibration.Model())] << ", image "
      << apps::Printable(imported.ImageName) << "\n";
  if (ExtractFilePath(*output) != ExtractFilePath(imported.ImageName))
    Report(Err, "note: " + apps::Printable(*output) + " names the image " +
                    apps::Printable(ExtractFileName(imported.ImageName)) +
                    " without a folder: keep them side by side");
  return kExitOk;
}

}  // namespace marovia::geomaptool
