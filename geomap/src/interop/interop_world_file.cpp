// World files: import beside an image, and export with the CRS in the
// image's .aux.xml (see world_file.h for the format and its half-pixel
// convention).
#include <algorithm>
#include <cmath>
#include <memory>

#include "calibration/crs_projection.h"
#include "files/replace_file.h"
#include "interop/interop_crs.h"
#include "interop/interop_support.h"
#include "marovia/geomap/world_file.h"
#include "marovia/platform/files.h"

namespace marovia {

using namespace interop;

namespace {

std::string ExtensionOf(const std::string& Name) {
  const std::string stem = ChangeFileExt(Name, "");
  return stem.size() < Name.size() ? Name.substr(stem.size() + 1) : std::string();
}

// The content of the first <SRS> element of an .aux.xml file; "" without.
std::string SrsOfAuxXml(const std::string& FileName) {
  std::string all;
  for (const std::string& line : ReadLines(FileName)) all += line + "\n";
  const std::size_t open = all.find("<SRS");
  if (open == std::string::npos) return std::string();
  const std::size_t start = all.find('>', open);
  const std::size_t end = all.find("</SRS>", open);
  if (start == std::string::npos || end == std::string::npos || end < start)
    FailAt(FileName, 0, "the <SRS> element is not closed");
  return std::string(
      Trim(DecodeXMLReferences(std::string_view(all).substr(start + 1, end - start - 1))));
}

// The CRS of an image: given, from its .aux.xml, or from the .prj beside.
std::string FindCrs(const std::string& ImageName, const std::string& Given) {
  if (!Given.empty()) return Given;
  const std::string aux = ImageName + ".aux.xml";
  if (FileExists(aux)) {
    const std::string srs = SrsOfAuxXml(aux);
    if (!srs.empty()) return srs;
  }
  const std::string stem = ChangeFileExt(ImageName, "");
  for (const std::string& prj : {stem + ".prj", stem + ".PRJ", ImageName + ".prj"}) {
    if (!FileExists(prj)) continue;
    std::string wkt;
    for (const std::string& line : ReadLines(prj)) wkt += line;
    wkt = std::string(Trim(wkt));
    if (wkt.empty()) FailAt(prj, 1, "the .prj file is empty");
    return wkt;
  }
  throw EZYLGeoMapError(
      ImageName + ": the world file gives no CRS, and none was given, nor found in " +
      ExtractFileName(aux) + " or " + ExtractFileName(stem) + ".prj beside the image");
}

}  // namespace

std::vector<std::string> WorldFileNames(const std::string& ImageName) {
  const std::string stem = ChangeFileExt(ImageName, "");
  const std::string ext = LowerCase(ExtensionOf(ImageName));
  std::vector<std::string> tails;
  if (ext.size() >= 2) tails.push_back(std::string{ext.front(), ext.back(), 'w'});
  if (ext.size() >= 3) tails.push_back(ext.substr(0, 3) + "w");
  if (!ext.empty()) tails.push_back(ext + "w");
  tails.push_back("wld");
  std::vector<std::string> names;
  for (const std::string& t : tails) {
    const std::string lower = stem + "." + t;
    if (std::find(names.begin(), names.end(), lower) == names.end()) {
      names.push_back(lower);
      names.push_back(stem + "." + UpperCase(t));
    }
  }
  return names;
}

std::array<double, 6> ParseWorldFile(std::string_view Bytes, const std::string& FileName) {
  const std::vector<std::string> lines = SplitLines(Bytes, FileName);
  std::array<double, 6> v{};
  for (std::size_t i = 0; i < 6; ++i) {
    if (i >= lines.size())
      FailAt(FileName, i + 1,
             "a world file has six lines, this one ends after " + std::to_string(lines.size()));
    const auto n = ParseNumber(lines[i]);
    if (!n) FailAt(FileName, i + 1, "not a number: \"" + lines[i].substr(0, 40) + "\"");
    v[i] = *n;
  }
  for (std::size_t i = 6; i < lines.size(); ++i)
    if (!Trim(lines[i]).empty()) FailAt(FileName, i + 1, "a world file has only six lines");
  // A D B E: the pixel's two edge vectors must span the plane.
  if (!(std::fabs(v[0] * v[3] - v[2] * v[1]) > 0))
    FailAt(FileName, 1, "the transform is degenerate (its pixels have no area)");
  return v;
}

std::string ImageOfWorldFile(const std::string& WorldFileName) {
  static const std::vector<std::string> kImageExtensions = {"png",  "jpg", "jpeg", "tif",
                                                            "tiff", "bmp", "gif"};
  const std::string stem = ChangeFileExt(WorldFileName, "");
  for (const std::string& ext : kImageExtensions) {
    for (const std::string& candidate : {stem + "." + ext, stem + "." + UpperCase(ext)}) {
      if (!FileExists(candidate)) continue;
      const std::vector<std::string> worlds = WorldFileNames(candidate);
      if (std::find(worlds.begin(), worlds.end(),
                    WorldFileName.substr(0, stem.size()) + "." + ExtensionOf(WorldFileName)) !=
          worlds.end())
        return candidate;
    }
  }
  return std::string();
}

TImportedMap ImportWorldFile(const std::string& ImageName, const std::string& CrsText) {
  std::string worldName;
  for (const std::string& candidate : WorldFileNames(ImageName))
    if (FileExists(candidate)) {
      worldName = candidate;
      break;
    }
  if (worldName.empty())
    throw EZYLGeoMapError(ImageName + ": no world file beside the image (looked for " +
                          ExtractFileName(WorldFileNames(ImageName).front()) + " and the like)");
  std::string bytes;
  for (const std::string& line : ReadLines(worldName)) bytes += line + "\n";
  const std::array<double, 6> w = ParseWorldFile(bytes, worldName);
  const double A = w[0], D = w[1], B = w[2], E = w[3], C = w[4], F = w[5];
  // From the centre of the top left pixel to its corner.
  const std::array<double, 6> g = {C - A / 2 - B / 2, A, B, F - D / 2 - E / 2, D, E};

  const std::string crs = FindCrs(ImageName, CrsText);
  int32_t width = 0, height = 0;
  ImageSize(ImageName, ImageName, width, height);
  TImportedMap result{CalibrationFromGeotransform(g, crs, width, height, worldName), ImageName};
  result.Calibration.Data().MapFName = ExtractFileName(ImageName);
  result.Calibration.Data().Caption = ExtractFileName(ChangeFileExt(ImageName, ""));
  return result;
}

void ExportWorldFile(const TMapCalibration& Cal, const std::string& ImageName,
                     const std::string& WorldFileName) {
  const std::string target =
      WorldFileName.empty() ? WorldFileNames(ImageName).front() : WorldFileName;
  std::string why;
  const auto a = AffineGeoref(Cal, why);
  if (!a) throw EZYLGeoMapError(target + ": a world file holds only affine calibrations; " + why);
  const auto& g = a->G;
  // The corner of the top left pixel to its centre.
  const double values[6] = {
      g[1], g[4], g[2], g[5], g[0] + g[1] / 2 + g[2] / 2, g[3] + g[4] / 2 + g[5] / 2};
  std::string world;
  for (const double v : values) world += FormatNumber(v) + "\n";
  bool latFirst = false;
  const std::string wkt = CrsAsWkt(a->Crs, target, latFirst);
  const std::string aux = "<PAMDataset>\n  <SRS dataAxisToSRSAxisMapping=\"" +
                          std::string(latFirst ? "2,1" : "1,2") + "\">" + EscapeXMLValue(wkt) +
                          "</SRS>\n</PAMDataset>\n";
  // Both files are written before either replaces its target.
  TFileReplacement worldFile(target);
  TFileReplacement auxFile(ImageName + ".aux.xml");
  worldFile.File().Write(world);
  auxFile.File().Write(aux);
  worldFile.Commit();
  auxFile.Commit();
}

}  // namespace marovia
