// Maps made by other software through one entry, by content (see
// map_import.h).
#include <algorithm>
#include <fstream>

#include "interop/interop_support.h"
#include "marovia/geomap/control_points.h"
#include "marovia/geomap/geotiff_import.h"
#include "marovia/geomap/iiif_annotation.h"
#include "marovia/geomap/kml_import.h"
#include "marovia/geomap/map_file_format.h"
#include "marovia/geomap/map_import.h"
#include "marovia/geomap/vrt_import.h"
#include "marovia/geomap/world_file.h"
#include "marovia/platform/sysutils.h"

namespace marovia {

using namespace interop;

namespace {

enum class TKind { Tiff, Zip, Kml, Vrt, MapFile, Points, Annotation, Image, Unknown };

// The first bytes of a file (a few kilobytes tell every format apart).
std::string Head(const std::string& FileName) {
  std::ifstream in(FileName, std::ios::binary);
  if (!in) throw EInOutError(FileName, "cannot open the file for reading");
  std::string bytes(4096, '\0');
  in.read(bytes.data(), std::streamsize(bytes.size()));
  bytes.resize(size_t(in.gcount()));
  return bytes;
}

TKind KindOf(const std::string& Head) {
  const auto starts = [&](std::string_view m) { return Head.rfind(m, 0) == 0; };
  if (starts("II*\0") || starts("MM\0*") || starts("II+\0") || starts("MM\0+")) return TKind::Tiff;
  if (starts("PK\x03\x04")) return TKind::Zip;
  if (starts("\x89PNG") || starts("\xFF\xD8\xFF") || starts("BM") || starts("GIF8"))
    return TKind::Image;
  if (Head.find("<kml") != std::string::npos || Head.find(":kml") != std::string::npos)
    return TKind::Kml;
  if (Head.find("<VRTDataset") != std::string::npos) return TKind::Vrt;
  if (IsGeoreferenceAnnotation(Head)) return TKind::Annotation;
  const std::string firstLine = Head.substr(0, Head.find('\n'));
  if (firstLine.find("Map Data File") != std::string::npos) return TKind::MapFile;
  if (Head.find("#CRS:") != std::string::npos ||
      LowerCase(Head).find("mapx,mapy") != std::string::npos)
    return TKind::Points;
  return TKind::Unknown;
}

// The world file names tried beside an image, for messages.
std::string WorldFilesTried(const std::string& Image) {
  std::string s;
  for (const std::string& w : WorldFileNames(Image)) {
    if (LowerCase(w) != w) continue;  // each name is also tried in upper case
    s += (s.empty() ? "" : ", ") + ExtractFileName(w);
  }
  return s + " (and in upper case)";
}

// The control-point lists a georeferencer leaves beside an image.
std::vector<std::string> PointsFilesBeside(const std::string& Image) {
  return {Image + ".points", ChangeFileExt(Image, ".points")};
}

TImportedMap FromImage(const std::string& Image, const TImportOptions& Options,
                       const std::string& TiffComplaint) {
  bool hasWorldFile = false;
  for (const std::string& w : WorldFileNames(Image)) hasWorldFile = hasWorldFile || FileExists(w);
  if (hasWorldFile) return ImportWorldFile(Image, Options.CrsText);
  for (const std::string& points : PointsFilesBeside(Image))
    if (FileExists(points)) return ImportControlPoints(points, Image, Options.CrsText);
  throw EZYLGeoMapError(Image + ": " + (TiffComplaint.empty() ? "" : TiffComplaint + "; ") +
                        "no world file beside it (looked for " + WorldFilesTried(Image) +
                        ") and no control-point list (looked for " +
                        ExtractFileName(PointsFilesBeside(Image)[0]) + " and " +
                        ExtractFileName(PointsFilesBeside(Image)[1]) + ")");
}

TImportedMap FromTiff(const std::string& File, const TImportOptions& Options) {
  try {
    return ImportGeoTiff(File);
  } catch (const EZYLGeoMapError& e) {
    // A TIFF without GeoTIFF keys may have its georeferencing beside it;
    // the GeoTIFF's own complaint is kept for the message.
    std::string complaint = e.what();
    const std::string prefix = "Cannot import GeoTIFF file \"" + File + "\": ";
    if (complaint.rfind(prefix, 0) == 0)
      complaint = "not usable as a GeoTIFF: " + complaint.substr(prefix.size());
    bool beside = false;
    for (const std::string& w : WorldFileNames(File)) beside = beside || FileExists(w);
    for (const std::string& p : PointsFilesBeside(File)) beside = beside || FileExists(p);
    if (!beside) return FromImage(File, Options, complaint);
    return FromImage(File, Options, "");
  }
}

bool IsWorldFileName(const std::string& File) {
  static const char* const kExtensions[] = {".jgw", ".jpgw", ".pgw", ".pngw", ".tfw", ".tifw",
                                            ".bpw", ".bmpw", ".gfw", ".gifw", ".wld"};
  const std::string ext = LowerCase(ExtractFileExt(File));
  return std::any_of(std::begin(kExtensions), std::end(kExtensions),
                     [&](const char* e) { return ext == e; });
}

}  // namespace

bool IsImportableMapFile(const std::string& File) {
  std::string head;
  try {
    head = Head(File);
  } catch (const EInOutError&) {
    return false;
  }
  return KindOf(head) != TKind::Unknown || IsWorldFileName(File);
}

TImportedMap ImportMap(const std::string& FileName, const TImportOptions& Options) {
  switch (KindOf(Head(FileName))) {
    case TKind::Tiff:
      return FromTiff(FileName, Options);
    case TKind::Zip:
    case TKind::Kml:
      return ImportKml(FileName, Options.ImageFolder);
    case TKind::Vrt:
      return ImportVrt(FileName);
    case TKind::MapFile:
      return ImportMapFile(FileName);
    case TKind::Points:
      return ImportControlPoints(FileName, "", Options.CrsText);
    case TKind::Annotation:
      return ImportGeoreferenceAnnotation(FileName);
    case TKind::Image:
      return FromImage(FileName, Options, "");
    case TKind::Unknown:
      break;
  }
  if (IsWorldFileName(FileName)) {
    const std::string image = ImageOfWorldFile(FileName);
    if (image.empty())
      throw EZYLGeoMapError(FileName + ": no map image beside the world file (looked for " +
                            ExtractFileName(ChangeFileExt(FileName, "")) +
                            " with .png, .jpg, .jpeg, .tif, .tiff, .bmp, .gif)");
    return ImportWorldFile(image, Options.CrsText);
  }
  throw EZYLGeoMapError(FileName +
                        ": not a map this library imports (a GeoTIFF, an image with a world file "
                        "or control-point list beside it, a world file, .map, .points, KML, KMZ "
                        "or VRT)");
}

}  // namespace marovia
