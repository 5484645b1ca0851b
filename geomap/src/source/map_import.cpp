// Choosing the importer of another program's map file by its extension.
#include "marovia/geomap/map_import.h"

#include "marovia/geomap/control_points.h"
#include "marovia/geomap/geotiff_import.h"
#include "marovia/geomap/map_file_format.h"
#include "marovia/geomap/world_file.h"
#include "marovia/platform/files.h"
#include "marovia/platform/strutils.h"

namespace marovia {

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
  return nullptr;
}

}  // namespace

bool IsImportableMapFile(const std::string& File) {
  return ImporterFor(File) != nullptr;
}

TImportedMap ImportMap(const std::string& File, const std::string& Crs) {
  const TImporter import = ImporterFor(File);
  if (!import)
    throw EZYLGeoMapError(File +
                          ": not a format the import knows (.map, .points, a world file or an "
                          "image beside one)");
  return import(File, Crs);
}

std::shared_ptr<const TMapSource> OpenMapFile(const std::string& File,
                                              const TMapSourceOptions& Options) {
  if (!SameText(ExtractFileExt(File), ".xml") && IsImportableMapFile(File))
    return TMapSource::FromImport(ImportMap(File), Options);
  return TMapSource::Open(File, "", Options);
}

}  // namespace marovia
