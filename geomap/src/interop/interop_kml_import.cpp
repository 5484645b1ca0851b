// KML ground overlays into calibrations (see kml_import.h): the box or quad
// becomes points at the image's corners (and between them for a quad),
// fitted like every other import; KMZ archives through libzip.
#include <zip.h>

#include <array>
#include <cmath>
#include <fstream>
#include <memory>

#include "interop/interop_support.h"
#include "interop/xml_elements.h"
#include "marovia/geomap/kml_import.h"
#include "marovia/platform/sysutils.h"

namespace marovia {

using namespace interop;

namespace {

constexpr double kDegree = M_PI / 180;

[[noreturn]] void Fail(const std::string& File, const std::string& Why) {
  throw EZYLGeoMapError(File + ": " + Why);
}

double BoxValue(std::string_view Box, std::string_view Name, const std::string& File,
                bool Required) {
  const auto text = ElementText(Box, Name);
  if (!text) {
    if (Required) Fail(File, "the LatLonBox has no <" + std::string(Name) + ">");
    return 0;
  }
  const auto v = ParseNumber(*text);
  if (!v)
    Fail(File, "the LatLonBox's <" + std::string(Name) + "> is not a number: \"" +
                   text->substr(0, 40) + "\"");
  return *v;
}

// The four corners of a LatLonBox, in the order of the image's corners
// (top left, top right, bottom left, bottom right), longitude first.
std::array<std::array<double, 2>, 4> BoxCorners(std::string_view Box, const std::string& File) {
  const double north = BoxValue(Box, "north", File, true);
  const double south = BoxValue(Box, "south", File, true);
  double east = BoxValue(Box, "east", File, true);
  const double west = BoxValue(Box, "west", File, true);
  const double rotation = BoxValue(Box, "rotation", File, false);
  if (!(north <= 90 && south >= -90 && north > south))
    Fail(File, "the LatLonBox's north and south are not a band of latitudes");
  if (!(std::fabs(west) <= 360 && std::fabs(east) <= 360 && std::fabs(rotation) <= 360))
    Fail(File, "the LatLonBox's longitudes or rotation are out of range");
  // Across 180 degrees the eastern edge is written below the western one.
  if (east <= west) east += 360;
  if (!(east - west <= 360)) Fail(File, "the LatLonBox spans more than 360 degrees");
  const double cx = (east + west) / 2, cy = (north + south) / 2;
  const double hw = (east - west) / 2, hh = (north - south) / 2;
  const double c = std::cos(rotation * kDegree), s = std::sin(rotation * kDegree);
  std::array<std::array<double, 2>, 4> out{};
  const double dx[4] = {-hw, hw, -hw, hw}, dy[4] = {hh, hh, -hh, -hh};
  for (int k = 0; k < 4; ++k) out[k] = {cx + dx[k] * c - dy[k] * s, cy + dx[k] * s + dy[k] * c};
  return out;
}

// The corners of a gx:LatLonQuad in the same order as BoxCorners.
std::array<std::array<double, 2>, 4> QuadCorners(std::string_view Quad, const std::string& File) {
  const auto text = ElementText(Quad, "coordinates");
  if (!text) Fail(File, "the LatLonQuad has no <coordinates>");
  std::vector<std::array<double, 2>> points;
  size_t at = 0;
  while (at < text->size()) {
    while (at < text->size() && static_cast<unsigned char>((*text)[at]) <= ' ') ++at;
    size_t end = at;
    while (end < text->size() && static_cast<unsigned char>((*text)[end]) > ' ') ++end;
    if (end == at) break;
    const std::vector<std::string> f = SplitFields(std::string_view(*text).substr(at, end - at));
    at = end;
    const auto lon = f.size() >= 2 ? ParseNumber(f[0]) : std::nullopt;
    const auto lat = f.size() >= 2 ? ParseNumber(f[1]) : std::nullopt;
    if (!lon || !lat || !(std::fabs(*lat) <= 90) || !(std::fabs(*lon) <= 360))
      Fail(File, "a LatLonQuad corner is not \"longitude,latitude\"");
    if (points.size() == 4) Fail(File, "the LatLonQuad has more than four corners");
    points.push_back({*lon, *lat});
  }
  if (points.size() != 4)
    Fail(File, "the LatLonQuad has " + std::to_string(points.size()) + " corners, not four");
  // Written counter-clockwise from the lower left; a quad across 180
  // degrees is made continuous east of its first corner.
  for (auto& p : points) {
    while (p[0] - points[0][0] > 180) p[0] -= 360;
    while (p[0] - points[0][0] < -180) p[0] += 360;
  }
  return {points[3], points[2], points[0], points[1]};
}

// The points to fit: the four corners, and for a quad that is no
// parallelogram a 5 x 5 grid of its bilinear stretch.
std::vector<TGroundPoint> OverlayPoints(const std::array<std::array<double, 2>, 4>& c,
                                        int32_t Width, int32_t Height) {
  constexpr int kGrid = 5;
  std::vector<TGroundPoint> points;
  for (int j = 0; j < kGrid; ++j)
    for (int i = 0; i < kGrid; ++i) {
      const double u = double(i) / (kGrid - 1), v = double(j) / (kGrid - 1);
      TGroundPoint p;
      p.X = std::round(Width * u);
      p.Y = std::round(Height * v);
      const double fu = p.X / Width, fv = p.Y / Height;
      for (int k = 0; k < 2; ++k) {
        const double top = c[0][k] + (c[1][k] - c[0][k]) * fu;
        const double bottom = c[2][k] + (c[3][k] - c[2][k]) * fu;
        (k == 0 ? p.Lon : p.Lat) = top + (bottom - top) * fv;
      }
      points.push_back(p);
    }
  return points;
}

// The href of the overlay's icon.
std::string IconHref(std::string_view Overlay, const std::string& File) {
  const auto icon = FindElement(Overlay, "Icon");
  const auto href = icon ? ElementText(icon->Content, "href") : std::nullopt;
  if (!href || href->empty()) Fail(File, "the GroundOverlay names no image (<Icon><href>)");
  return *href;
}

std::string ReadWhole(const std::string& Name) {
  std::ifstream in(Name, std::ios::binary);
  if (!in) throw EInOutError(Name, "cannot open the file for reading");
  std::string bytes;
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    bytes.append(buffer, static_cast<size_t>(in.gcount()));
    if (bytes.size() > kMaxExchangeFileBytes) break;
  }
  if (in.bad()) throw EInOutError(Name, "read error");
  return bytes;
}

// The file name a href stands for: a URL's last part, a path as written.
std::string HrefFileName(const std::string& Href) {
  std::string name = Href;
  const size_t scheme = name.find("://");
  if (scheme != std::string::npos) {
    name = name.substr(scheme + 3);
    const size_t query = name.find_first_of("?#");
    if (query != std::string::npos) name.resize(query);
    return ExtractFileName(name);
  }
  return name;
}

struct TZipClose {
  void operator()(zip_t* z) const { zip_discard(z); }
};
struct TZipFileClose {
  void operator()(zip_file_t* f) const { zip_fclose(f); }
};
using TZip = std::unique_ptr<zip_t, TZipClose>;

// Members of a KMZ are read up to this size each: a map image of a few
// hundred megapixels compresses far below it.
constexpr zip_uint64_t kMaxMemberBytes = zip_uint64_t{1} << 31;

std::string ReadMember(zip_t* Archive, zip_int64_t Index, const std::string& File) {
  zip_stat_t st;
  if (zip_stat_index(Archive, zip_uint64_t(Index), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE))
    Fail(File, "a member of the archive cannot be read");
  if (st.size > kMaxMemberBytes) Fail(File, "a member of the archive is larger than 2 GiB");
  std::unique_ptr<zip_file_t, TZipFileClose> f(zip_fopen_index(Archive, zip_uint64_t(Index), 0));
  if (!f) Fail(File, "a member of the archive cannot be opened");
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const zip_int64_t n = zip_fread(f.get(), buffer, sizeof buffer);
    if (n < 0) Fail(File, "a member of the archive is damaged");
    if (n == 0) break;
    bytes.append(buffer, size_t(n));
    if (bytes.size() > st.size) Fail(File, "a member of the archive is longer than it says");
  }
  return bytes;
}

// Writes the image taken from an archive, unless the same bytes are there.
void WriteImage(const std::string& Target, const std::string& Bytes, const std::string& File) {
  if (FileExists(Target)) {
    if (ReadWhole(Target) == Bytes) return;
    Fail(File, "the archive's image would replace a different file " + Target +
                   "; import into another folder");
  }
  WriteFileReplacing(Target, Bytes);
}

TImportedMap ImportKmz(const std::string& FileName, const std::string& ImageFolder) {
  int error = 0;
  TZip archive(zip_open(FileName.c_str(), ZIP_RDONLY, &error));
  if (!archive) Fail(FileName, "not a readable KMZ (zip) archive");
  const zip_int64_t n = zip_get_num_entries(archive.get(), 0);
  zip_int64_t doc = -1;
  for (zip_int64_t i = 0; i < n && doc < 0; ++i) {
    const char* name = zip_get_name(archive.get(), zip_uint64_t(i), 0);
    if (name != nullptr && LowerCase(ExtractFileExt(name)) == ".kml") doc = i;
  }
  if (doc < 0) Fail(FileName, "the archive holds no .kml document");
  std::string kml = ReadMember(archive.get(), doc, FileName);
  std::string docName = zip_get_name(archive.get(), zip_uint64_t(doc), 0);
  // A super-overlay (as GDAL writes a small image) links from its document
  // to the document holding the overlay; one of several levels of tiles
  // is no single map image.
  constexpr int kMaxLinks = 8;
  for (int depth = 0;; ++depth) {
    const std::string text = WithoutComments(kml);
    const bool linked = FindElement(text, "NetworkLink").has_value();
    if (FindElement(text, "GroundOverlay")) {
      if (linked)
        Fail(FileName, "a super-overlay of several levels of tiles, not one map image (" + docName +
                           " holds an overlay and links to finer ones)");
      break;
    }
    const auto link = FindElement(text, "Link");
    const auto next = link ? ElementText(link->Content, "href") : std::nullopt;
    if (!next || depth == kMaxLinks) Fail(FileName, "the document holds no GroundOverlay");
    const std::string member = ExtractFilePath(docName) + *next;
    const zip_int64_t at = zip_name_locate(archive.get(), member.c_str(), ZIP_FL_NOCASE);
    if (at < 0)
      Fail(FileName,
           "the document links to " + next->substr(0, 80) + ", which the archive does not hold");
    kml = ReadMember(archive.get(), at, FileName);
    docName = member;
  }
  const std::string overlayText = WithoutComments(kml);
  const auto overlay = FindElement(overlayText, "GroundOverlay");
  const std::string href = IconHref(overlay->Content, FileName);
  // Members are named relative to the document's folder in the archive.
  const std::string member = ExtractFilePath(docName) + HrefFileName(href);
  const zip_int64_t image = zip_name_locate(archive.get(), member.c_str(), ZIP_FL_NOCASE);
  if (image < 0)
    Fail(FileName, "the archive holds no image \"" + member + "\" (the overlay's href \"" +
                       href.substr(0, 80) + "\")");
  const std::string bytes = ReadMember(archive.get(), image, FileName);
  const std::string folder = ImageFolder.empty() ? ExtractFilePath(FileName) : ImageFolder;
  // Named after the archive: members of different archives share names
  // (GDAL's super-overlays all hold 0/0/0.jpg).
  const std::string target = (folder.empty() || folder.back() == '/' ? folder : folder + "/") +
                             ExtractFileName(ChangeFileExt(FileName, ExtractFileExt(member)));
  WriteImage(target, bytes, FileName);
  int32_t width = 0, height = 0;
  ImageSize(target, FileName, width, height);
  TImportedMap result = ParseKmlOverlay(kml, FileName, width, height);
  result.ImageName = target;
  result.Calibration.Data().MapFName = ExtractFileName(target);
  return result;
}

}  // namespace

TImportedMap ParseKmlOverlay(std::string_view Kml, const std::string& FileName, int32_t Width,
                             int32_t Height) {
  if (Kml.size() > kMaxExchangeFileBytes)
    Fail(FileName, "longer than " + std::to_string(kMaxExchangeFileBytes) + " bytes");
  const std::string text = WithoutComments(Kml);
  const auto overlay = FindElement(text, "GroundOverlay");
  if (!overlay) Fail(FileName, "the document holds no GroundOverlay");
  const std::string href = IconHref(overlay->Content, FileName);
  std::array<std::array<double, 2>, 4> corners;
  if (const auto box = FindElement(overlay->Content, "LatLonBox")) {
    corners = BoxCorners(box->Content, FileName);
  } else if (const auto quad = FindElement(overlay->Content, "LatLonQuad")) {
    corners = QuadCorners(quad->Content, FileName);
  } else {
    Fail(FileName, "the GroundOverlay has neither a LatLonBox nor a gx:LatLonQuad");
  }
  if (Width <= 0 || Height <= 0) Fail(FileName, "the image has no size");
  const std::vector<TGroundPoint> points = OverlayPoints(corners, Width, Height);
  TImportedMap result{CalibrationFromPoints(points, TPointFrame{}, Width, Height, FileName, 0.01),
                      href};
  const auto name = ElementText(overlay->Content, "name");
  result.Calibration.Data().Caption = name ? *name : ExtractFileName(ChangeFileExt(href, ""));
  result.Calibration.Data().MapFName = ExtractFileName(HrefFileName(href));
  return result;
}

TImportedMap ImportKml(const std::string& FileName, const std::string& ImageFolder) {
  const std::string bytes = ReadWhole(FileName);
  if (bytes.size() > kMaxExchangeFileBytes)
    Fail(FileName, "longer than " + std::to_string(kMaxExchangeFileBytes) + " bytes");
  if (bytes.rfind("PK\x03\x04", 0) == 0) return ImportKmz(FileName, ImageFolder);
  const std::string text = WithoutComments(bytes);
  const auto overlay = FindElement(text, "GroundOverlay");
  if (!overlay) Fail(FileName, "the document holds no GroundOverlay");
  const std::string href = IconHref(overlay->Content, FileName);
  // The image beside the document: the href's path, or a URL's file name.
  const std::string local = HrefFileName(href);
  const bool absolute = !local.empty() && local[0] == '/';
  const std::string image = absolute ? local : ExtractFilePath(FileName) + local;
  std::string found = FileExists(image) ? image : std::string();
  if (found.empty() && absolute && FileExists(ExtractFilePath(FileName) + ExtractFileName(local)))
    found = ExtractFilePath(FileName) + ExtractFileName(local);
  if (found.empty())
    Fail(FileName, "the overlay's image \"" + href.substr(0, 120) + "\" is not there (looked for " +
                       image +
                       (absolute ? " and " + ExtractFilePath(FileName) + ExtractFileName(local)
                                 : std::string()) +
                       ")");
  int32_t width = 0, height = 0;
  ImageSize(found, FileName, width, height);
  TImportedMap result = ParseKmlOverlay(bytes, FileName, width, height);
  result.ImageName = found;
  return result;
}

}  // namespace marovia
