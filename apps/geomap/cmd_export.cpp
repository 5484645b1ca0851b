// geomap export: writes a calibration file's map for other software: a
// world file (with the CRS in the image's .aux.xml), a .map file, a .points
// control-point list, a GDAL virtual raster with control points, a KML
// ground overlay, a KMZ archive with the image, a GeoTIFF of the image, or
// a georeference annotation for IIIF viewers with the image as a static
// IIIF image service.
//
// The formats are one table, name to writer; every writer replaces its
// file through a temporary one, so a refused or failed export leaves
// nothing behind.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <ostream>

#include "arguments.h"
#include "cli_text.h"
#include "commands.h"
#include "geomap_cli.h"
#include "map_view.h"
#include "marovia/geomap/control_points.h"
#include "marovia/geomap/geotiff_export.h"
#include "marovia/geomap/iiif_annotation.h"
#include "marovia/geomap/iiif_image.h"
#include "marovia/geomap/kml_export.h"
#include "marovia/geomap/map_file_format.h"
#include "marovia/geomap/vrt_export.h"
#include "marovia/geomap/world_file.h"
#include "marovia/platform/files.h"
#include "render_source.h"

namespace marovia::geomaptool {

namespace {

struct TExportJob {
  const TMapSource& Map;
  std::ostream& Err;
  const TMapCalibration& Cal;
  std::string Image;   // the map image file
  std::string Output;  // the file to write
  int GridN;
  std::string Service;  // --iiif-service: the image's IIIF service
};

// The image as a file beside Output names it: its base name when both are
// in one folder, else its absolute path.
std::string ImageFromOutput(const TExportJob& J) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path image = fs::absolute(J.Image, ec);
  if (fs::absolute(J.Output, ec).parent_path() == image.parent_path())
    return image.filename().string();
  return image.string();
}

// Exports that cannot carry the model say what their readers will see.
void NoteReadBack(const TExportJob& J, const TReadBackError& E) {
  if (!E.Exact) Report(J.Err, "note: " + apps::Printable(J.Output) + ": " + ReadBackNote(E));
}

// The image as an annotation's target names it: ImageFromOutput as a URI
// reference (a relative one, or a file: URI for an absolute path), with the
// bytes a URI cannot hold percent-encoded.
std::string ImageUri(const TExportJob& J) {
  const std::string path = ImageFromOutput(J);
  std::string uri = !path.empty() && path[0] == '/' ? "file://" : "";
  for (const char ch : path) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (std::isalnum(c) || std::strchr("/-._~!$&'()*+,;=:@", ch)) {
      uri += ch;
    } else {
      char b[4];
      std::snprintf(b, sizeof b, "%%%02X", c);
      uri += b;
    }
  }
  return uri;
}

struct TExportFormat {
  const char* Name;
  void (*Write)(const TExportJob&);
};

const TExportFormat kFormats[] = {
    // The world file and the CRS's .aux.xml are the files of an image named
    // like the world file (scan.jgw: scan.jpg), wherever that is.
    {"worldfile",
     [](const TExportJob& j) {
       ExportWorldFile(j.Cal, ChangeFileExt(j.Output, ExtractFileExt(j.Image)), j.Output);
     }},
    {"map",
     [](const TExportJob& j) {
       NoteReadBack(j, ExportMapFile(j.Cal, j.Output, ImageFromOutput(j), std::min(j.GridN, 5)));
     }},
    {"points", [](const TExportJob& j) { ExportControlPoints(j.Cal, j.Output, j.GridN); }},
    // A georeference annotation of the image file, or of its IIIF image
    // service when one is given (viewers take only services).
    {"iiif-annotation",
     [](const TExportJob& j) {
       const TAnnotationTarget target = j.Service.empty()
                                            ? TAnnotationTarget{ImageUri(j), "Image"}
                                            : TAnnotationTarget{j.Service, "ImageService3"};
       NoteReadBack(j, ExportGeoreferenceAnnotation(j.Cal, j.Output, target));
     }},
    {"vrt",
     [](const TExportJob& j) { NoteReadBack(j, ExportVrt(j.Cal, j.Output, j.Image, j.GridN)); }},
    // The image itself as a static IIIF image service (a folder, served at
    // the --iiif-service address), from the image's pyramid.
    {"iiif-image",
     [](const TExportJob& j) {
       const TIiifImageSummary s = ExportIiifImage(*j.Map.Levels(), j.Output, j.Service);
       Report(j.Err, "note: " + apps::Printable(j.Output) + ": " + std::to_string(s.Tiles) +
                         " tiles in " + std::to_string(s.Levels) + " scale factors, " +
                         std::to_string(s.Sizes) + " whole-image sizes");
     }},
    {"kml", [](const TExportJob& j) { ExportKml(j.Cal, j.Output, ImageFromOutput(j)); }},
    {"kmz", [](const TExportJob& j) { ExportKmz(j.Cal, j.Output, j.Image); }},
    // The image itself, with the georeferencing in its tags; maps that are
    // not affine get a grid of control points (at most 14 x 14).
    {"geotiff",
     [](const TExportJob& j) {
       ExportGeoTiff(j.Cal, *j.Map.Bitmap(), j.Output, std::min(j.GridN, 14));
     }},
};

const TExportFormat& FormatNamed(const std::string& Name) {
  std::string names;
  for (const TExportFormat& f : kFormats) {
    if (Name == f.Name) return f;
    names += (names.empty() ? "" : ", ") + std::string(f.Name);
  }
  throw TUsageError("--to '" + apps::Printable(Name) + "' is not one of " + names);
}

}  // namespace

int RunExport(std::span<const std::string> Args, std::ostream& Out, std::ostream& Err) {
  static const TOptionDef kOptions[] = {
      {"to", 0, true},    {"output", 'o', true}, {"gcp-grid", 0, true},    {"max-pixels", 0, true},
      {"bands", 0, true}, {"stretch", 0, true},  {"iiif-service", 0, true}};
  const TArguments args(Args, kOptions);
  if (args.Positional().size() != 1) throw TUsageError("export needs one calibration file");
  const auto to = args.Value("to");
  if (!to) throw TUsageError("export needs --to FORMAT");
  const TExportFormat& format = FormatNamed(*to);
  const auto output = args.Value("output");
  if (!output || output->empty()) throw TUsageError("export needs -o FILE");
  const int grid = args.Integer("gcp-grid", 2, 50).value_or(5);
  if (*to == "iiif-image" && !args.Value("iiif-service"))
    throw TUsageError(
        "--to iiif-image needs --iiif-service URL, the address the folder will be "
        "served at");

  const std::string& file = args.Positional()[0];
  std::shared_ptr<const TMapSource> source;
  try {
    source = OpenMapArgument(file, SourceOptionsFromArguments(args));
  } catch (const std::exception& e) {
    const std::string what = e.what();
    Report(Err, apps::Printable(what.find(file) != std::string::npos ? what : file + ": " + what));
    return kExitBadInput;
  }
  try {
    format.Write({*source, Err, source->Calibration(), source->ImageFile(), *output, grid,
                  args.Value("iiif-service").value_or("")});
  } catch (const EInOutError& e) {
    Report(Err, apps::Printable(e.what()));
    return kExitIo;
  } catch (const std::exception& e) {
    Report(Err, apps::Printable(e.what()) + "; nothing written");
    return kExitBadInput;
  }
  Out << apps::Printable(*output) << "\n";
  return kExitOk;
}

}  // namespace marovia::geomaptool
