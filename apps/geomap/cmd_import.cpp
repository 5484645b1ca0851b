// geomap import: reads the calibration of a map made by other software (a
// world file beside its image, a .map file, a .points control-point list)
// and writes it as a calibration file of this library.
//
// The format follows from the file's extension, through one table; the
// file's image is found by the format's own rules and named in the
// calibration without a folder, so it must stay beside the calibration.
#include <ostream>

#include "arguments.h"
#include "cli_text.h"
#include "commands.h"
#include "geomap_cli.h"
#include "marovia/geomap/calxml.h"
#include "marovia/geomap/control_points.h"
#include "marovia/geomap/geotiff_import.h"
#include "marovia/geomap/map_file_format.h"
#include "marovia/geomap/world_file.h"
#include "marovia/platform/files.h"
#include "marovia/platform/strutils.h"
#include "marovia/platform/sysutils.h"

namespace marovia::geomaptool {

namespace {

using TImporter = TImportedMap (*)(const std::string& File, const std::string& Crs);

struct TImportFormat {
  const char* Extensions;  // ".a.b." lower case, each between dots
  TImporter Import;
};

// A TIFF carries its own georeferencing, or has a world file beside it; the
// GeoTIFF's complaint is the one reported when neither is there.
TImportedMap FromTiff(const std::string& File, const std::string& Crs) {
  try {
    return ImportGeoTiff(File);
  } catch (const EZYLGeoMapError&) {
    try {
      return ImportWorldFile(File, Crs);
    } catch (const EZYLGeoMapError&) {
    }
    throw;
  }
}

TImportedMap FromWorldFile(const std::string& File, const std::string& Crs) {
  const std::string image = ImageOfWorldFile(File);
  if (image.empty()) throw EZYLGeoMapError(File + ": no map image beside the world file");
  return ImportWorldFile(image, Crs);
}

const TImportFormat kFormats[] = {
    {".map.", [](const std::string& f, const std::string&) { return ImportMapFile(f); }},
    {".points.",
     [](const std::string& f, const std::string& crs) { return ImportControlPoints(f, "", crs); }},
    {".jgw.jpgw.pgw.pngw.tfw.tifw.bpw.wld.gfw.", FromWorldFile},
    {".tif.tiff.", FromTiff},
    {".png.jpg.jpeg.bmp.gif.",
     [](const std::string& f, const std::string& crs) { return ImportWorldFile(f, crs); }},
};

TImporter ImporterFor(const std::string& File) {
  const std::string ext = LowerCase(ExtractFileExt(File));
  if (ext.size() > 1)
    for (const TImportFormat& f : kFormats)
      if (std::string(f.Extensions).find(ext + ".") != std::string::npos) return f.Import;
  throw TUsageError("import does not know the format of '" + apps::Printable(File) +
                    "' (.map, .points, a world file or an image beside one)");
}

}  // namespace

int RunImport(std::span<const std::string> Args, std::ostream& Out, std::ostream& Err) {
  static const TOptionDef kOptions[] = {{"output", 'o', true}, {"crs", 0, true}, {"id", 0, true}};
  const TArguments args(Args, kOptions);
  if (args.Positional().size() != 1) throw TUsageError("import needs one file");
  const auto output = args.Value("output");
  if (!output || output->empty()) throw TUsageError("import needs -o CALIBRATION.xml");
  const std::string& file = args.Positional()[0];
  const TImporter import = ImporterFor(file);
  TImportedMap imported;
  try {
    imported = import(file, args.Value("crs").value_or(""));
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
