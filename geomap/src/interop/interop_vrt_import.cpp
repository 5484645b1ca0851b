// GDAL virtual rasters into calibrations (see vrt_import.h).
#include <array>
#include <cmath>

#include "interop/interop_crs.h"
#include "interop/interop_support.h"
#include "interop/xml_elements.h"
#include "marovia/geomap/vrt_import.h"
#include "marovia/platform/sysutils.h"

namespace marovia {

using namespace interop;

namespace {

[[noreturn]] void Fail(const std::string& File, const std::string& Why) {
  throw EZYLGeoMapError(File + ": " + Why);
}

int32_t RasterSize(std::string_view Tag, const char* Name, const std::string& File) {
  const auto text = TagAttribute(Tag, Name);
  const auto v = text ? ParseNumber(*text) : std::nullopt;
  if (!v || !(*v >= 1 && *v <= 2147483647.0) || *v != std::floor(*v))
    Fail(File, std::string("the VRTDataset has no usable ") + Name);
  return static_cast<int32_t>(*v);
}

// Whether X of the file is latitude: a mapping "1,2" on a CRS whose first
// axis is latitude. Without a mapping GDAL writes easting (longitude)
// first.
bool LatitudeFirst(const std::optional<std::string>& Mapping, const std::string& Crs,
                   const std::string& File) {
  if (!Mapping || Trim(*Mapping) != "1,2") return false;
  bool latitudeFirst = false;
  CrsAsWkt(Crs, File, latitudeFirst);
  return latitudeFirst;
}

double GcpValue(std::string_view Tag, const char* Name, const std::string& File, int Index) {
  const auto text = TagAttribute(Tag, Name);
  const auto v = text ? ParseNumber(*text) : std::nullopt;
  if (!v)
    Fail(File, "GCP " + std::to_string(Index) + " has no number " + Name +
                   (text ? " (\"" + text->substr(0, 40) + "\")" : std::string()));
  return *v;
}

// The first source image, resolved against the .vrt's folder.
std::string SourceImage(std::string_view Doc, const std::string& File, int32_t W, int32_t H) {
  const auto source = FindElement(Doc, "SourceFilename");
  if (!source) Fail(File, "the VRT names no source image (SourceFilename)");
  const std::string name = Trim(DecodeXMLReferences(source->Content));
  if (name.empty()) Fail(File, "the VRT's SourceFilename is empty");
  const auto relative = TagAttribute(source->Tag, "relativeToVRT");
  // A source rectangle other than the whole raster is a mosaic or a crop.
  const auto band = FindElement(Doc, "SimpleSource");
  const auto complexSource = FindElement(Doc, "ComplexSource");
  const std::string_view src = band ? band->Content : complexSource ? complexSource->Content : "";
  for (const char* rect : {"SrcRect", "DstRect"})
    if (const auto r = FindElement(src, rect)) {
      const auto x = TagAttribute(r->Tag, "xOff"), y = TagAttribute(r->Tag, "yOff");
      const auto xs = TagAttribute(r->Tag, "xSize"), ys = TagAttribute(r->Tag, "ySize");
      const auto num = [](const std::optional<std::string>& t) {
        return t ? ParseNumber(*t) : std::nullopt;
      };
      if (num(x).value_or(0) != 0 || num(y).value_or(0) != 0 || num(xs).value_or(W) != W ||
          num(ys).value_or(H) != H)
        Fail(File, std::string("the VRT's source covers only part of the raster (") + rect +
                       "); only a VRT over one whole image is a map here");
    }
  return relative && Trim(*relative) == "1" ? ExtractFilePath(File) + name : name;
}

}  // namespace

TImportedMap ParseVrt(std::string_view Bytes, const std::string& FileName) {
  if (Bytes.size() > kMaxExchangeFileBytes)
    Fail(FileName, "longer than " + std::to_string(kMaxExchangeFileBytes) + " bytes");
  const std::string doc = WithoutComments(Bytes);
  const auto root = FindElement(doc, "VRTDataset");
  if (!root) Fail(FileName, "not a GDAL virtual raster (no VRTDataset)");
  const int32_t w = RasterSize(root->Tag, "rasterXSize", FileName);
  const int32_t h = RasterSize(root->Tag, "rasterYSize", FileName);
  const std::string image = SourceImage(root->Content, FileName, w, h);

  TImportedMap result;
  const auto geotransform = ElementText(root->Content, "GeoTransform");
  const auto gcpList = FindElement(root->Content, "GCPList");
  if (geotransform) {
    const auto srs = FindElement(root->Content, "SRS");
    const std::string crs = srs ? Trim(DecodeXMLReferences(srs->Content)) : std::string();
    if (crs.empty()) Fail(FileName, "the VRT has a GeoTransform but no SRS");
    const std::vector<std::string> f = SplitFields(*geotransform);
    std::array<double, 6> g{};
    if (f.size() != 6)
      Fail(FileName, "the GeoTransform holds " + std::to_string(f.size()) + " numbers, not 6");
    for (size_t k = 0; k < 6; ++k) {
      const auto v = ParseNumber(f[k]);
      if (!v) Fail(FileName, "the GeoTransform's number " + std::to_string(k + 1) + " is not one");
      g[k] = *v;
    }
    if (!(std::fabs(g[1] * g[5] - g[2] * g[4]) > 0))
      Fail(FileName, "the GeoTransform is degenerate (its pixels have no area)");
    if (LatitudeFirst(TagAttribute(srs->Tag, "dataAxisToSRSAxisMapping"), crs, FileName))
      g = {g[3], g[4], g[5], g[0], g[1], g[2]};
    result.Calibration = CalibrationFromGeotransform(g, crs, w, h, FileName);
  } else if (gcpList) {
    const auto projection = TagAttribute(gcpList->Tag, "Projection");
    const std::string crs = projection ? Trim(*projection) : std::string();
    if (crs.empty()) Fail(FileName, "the GCPList has no Projection");
    const bool swap =
        LatitudeFirst(TagAttribute(gcpList->Tag, "dataAxisToSRSAxisMapping"), crs, FileName);
    std::vector<TCrsPoint> points;
    for (size_t at = 0;;) {
      const auto gcp = FindElement(gcpList->Content, "GCP", at);
      if (!gcp) break;
      at = gcp->End;
      const int index = static_cast<int>(points.size()) + 1;
      TCrsPoint p;
      p.X = GcpValue(gcp->Tag, "Pixel", FileName, index);
      p.Y = GcpValue(gcp->Tag, "Line", FileName, index);
      p.E = GcpValue(gcp->Tag, "X", FileName, index);
      p.N = GcpValue(gcp->Tag, "Y", FileName, index);
      if (swap) std::swap(p.E, p.N);
      points.push_back(p);
    }
    TPointFrame frame;
    const std::vector<TGroundPoint> ground = GroundPointsInCrs(points, crs, FileName, frame);
    result.Calibration = CalibrationByCount(ground, frame, w, h, FileName);
  } else {
    Fail(FileName, "the VRT is not georeferenced (neither a GeoTransform nor a GCPList)");
  }
  result.ImageName = image;
  result.Calibration.Data().MapFName = ExtractFileName(image);
  result.Calibration.Data().Caption = ExtractFileName(ChangeFileExt(FileName, ""));
  return result;
}

TImportedMap ImportVrt(const std::string& FileName) {
  std::string bytes;
  for (const std::string& line : ReadLines(FileName)) bytes += line + "\n";
  TImportedMap result = ParseVrt(bytes, FileName);
  if (!FileExists(result.ImageName))
    Fail(FileName, "its source image " + result.ImageName + " is not there");
  int32_t w = 0, h = 0;
  ImageSize(result.ImageName, FileName, w, h);
  if (w != result.Calibration.ImageWidth() || h != result.Calibration.ImageHeight())
    Fail(FileName, "its source image " + result.ImageName + " is " + std::to_string(w) + " x " +
                       std::to_string(h) + " pixels, the VRT " +
                       std::to_string(result.Calibration.ImageWidth()) + " x " +
                       std::to_string(result.Calibration.ImageHeight()));
  return result;
}

}  // namespace marovia
