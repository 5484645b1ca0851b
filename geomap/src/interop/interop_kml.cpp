// KML ground overlays and KMZ archives (see kml_export.h). The archive is
// built in memory by libzip and written like every other export, through a
// temporary file renamed over the target.
#include <zip.h>

#include <cmath>
#include <fstream>
#include <memory>

#include "interop/interop_support.h"
#include "marovia/geomap/kml_export.h"
#include "marovia/platform/sysutils.h"

namespace marovia {

using namespace interop;

namespace {

std::string Coord(double Lon, double Lat) {
  return FormatNumber(Lon) + "," + FormatNumber(Lat);
}

// The LatLonBox of an equirect map whose pixel axes are at right angles in
// degrees; "" for any other.
std::string LatLonBox(const TMapCalibration& Cal) {
  std::string why;
  const auto a = AffineGeoref(Cal, why);
  if (!a || !a->Geographic) return std::string();
  const auto& g = a->G;
  // Column and row steps in (longitude, latitude): u along x, v along y
  // (down). A box rotated by t counter-clockwise has u = sx (cos t, sin t)
  // and v = sy (sin t, -cos t).
  const double ux = g[1], uy = g[4], vx = g[2], vy = g[5];
  const double su = std::hypot(ux, uy), sv = std::hypot(vx, vy);
  if (!(su > 0 && sv > 0)) return std::string();
  if (std::fabs(ux * vx + uy * vy) > 1e-9 * su * sv || ux * vy - uy * vx >= 0) return std::string();
  const double w = Cal.ImageWidth(), h = Cal.ImageHeight();
  const double cx = g[0] + g[1] * w / 2 + g[2] * h / 2;
  const double cy = g[3] + g[4] * w / 2 + g[5] * h / 2;
  const double rotation = std::atan2(uy, ux) * 180 / M_PI;
  std::string box = "      <LatLonBox>\n";
  box += "        <north>" + FormatNumber(cy + sv * h / 2) + "</north>\n";
  box += "        <south>" + FormatNumber(cy - sv * h / 2) + "</south>\n";
  box += "        <east>" + FormatNumber(cx + su * w / 2) + "</east>\n";
  box += "        <west>" + FormatNumber(cx - su * w / 2) + "</west>\n";
  if (rotation != 0) box += "        <rotation>" + FormatNumber(rotation) + "</rotation>\n";
  return box + "      </LatLonBox>\n";
}

std::string LatLonQuad(const TMapCalibration& Cal) {
  const double w = Cal.ImageWidth(), h = Cal.ImageHeight();
  const double xs[4] = {0, w, w, 0}, ys[4] = {h, h, 0, 0};
  std::string quad = "      <gx:LatLonQuad>\n        <coordinates>";
  for (int i = 0; i < 4; ++i) {
    const TPixelPosition p = Cal.PixelToGeo(xs[i], ys[i]);
    if (!p.Valid()) throw EZYLGeoMapError("the calibration does not convert the image's corners");
    quad += (i ? " " : "") + Coord(p.Longit, p.Latit);
  }
  return quad + "</coordinates>\n      </gx:LatLonQuad>\n";
}

std::string ReadBinary(const std::string& Name) {
  std::ifstream in(Name, std::ios::binary);
  if (!in) throw EInOutError(Name, "cannot open the file for reading");
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw EInOutError(Name, "read error");
  return bytes;
}

struct TZipSourceFree {
  void operator()(zip_source_t* s) const { zip_source_free(s); }
};

}  // namespace

std::string KmlGroundOverlay(const TMapCalibration& Cal, const std::string& ImageHref) {
  if (!Cal.Converts()) throw EZYLGeoMapError("the calibration is not fitted");
  std::string place = LatLonBox(Cal);
  if (place.empty()) place = LatLonQuad(Cal);
  const std::string name =
      Cal.Data().Caption.empty() ? ExtractFileName(ImageHref) : Cal.Data().Caption;
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<kml xmlns=\"http://www.opengis.net/kml/2.2\" "
         "xmlns:gx=\"http://www.google.com/kml/ext/2.2\">\n"
         "  <Document>\n    <GroundOverlay>\n      <name>" +
         EscapeXMLValue(name) + "</name>\n      <Icon>\n        <href>" +
         EscapeXMLValue(ImageHref) + "</href>\n      </Icon>\n" + place +
         "    </GroundOverlay>\n  </Document>\n</kml>\n";
}

void ExportKml(const TMapCalibration& Cal, const std::string& FileName,
               const std::string& ImageHref) {
  std::string kml;
  try {
    kml = KmlGroundOverlay(Cal, ImageHref);
  } catch (const EZYLGeoMapError& e) {
    throw EZYLGeoMapError(FileName + ": " + e.what());
  }
  WriteFileReplacing(FileName, kml);
}

void ExportKmz(const TMapCalibration& Cal, const std::string& FileName,
               const std::string& ImageName) {
  const std::string href = ExtractFileName(ImageName);
  std::string kml;
  try {
    kml = KmlGroundOverlay(Cal, href);
  } catch (const EZYLGeoMapError& e) {
    throw EZYLGeoMapError(FileName + ": " + e.what());
  }
  const std::string image = ReadBinary(ImageName);
  auto fail = [&](const char* what) -> void {
    throw EZYLGeoMapError(FileName + ": cannot build the KMZ archive (" + what + ")");
  };
  zip_error_t error;
  zip_error_init(&error);
  std::unique_ptr<zip_source_t, TZipSourceFree> buffer(
      zip_source_buffer_create(nullptr, 0, 0, &error));
  if (!buffer) fail("no buffer");
  zip_t* archive = zip_open_from_source(buffer.get(), ZIP_TRUNCATE, &error);
  if (archive == nullptr) fail("cannot open");
  zip_source_keep(buffer.get());  // the archive's close would free it
  // The document comes first: readers take the first .kml in the archive.
  zip_source_t* doc = zip_source_buffer(archive, kml.data(), kml.size(), 0);
  zip_source_t* img = zip_source_buffer(archive, image.data(), image.size(), 0);
  bool ok = doc != nullptr && zip_file_add(archive, "doc.kml", doc, ZIP_FL_ENC_UTF_8) >= 0;
  if (!ok && doc != nullptr) zip_source_free(doc);
  const bool imgOk =
      ok && img != nullptr && zip_file_add(archive, href.c_str(), img, ZIP_FL_ENC_UTF_8) >= 0;
  if (!imgOk && img != nullptr) zip_source_free(img);
  if (!ok || !imgOk) {
    zip_discard(archive);
    fail("cannot add a member");
  }
  if (zip_close(archive) != 0) {
    zip_discard(archive);
    fail("cannot close");
  }
  zip_stat_t st;
  if (zip_source_stat(buffer.get(), &st) != 0 || zip_source_open(buffer.get()) != 0)
    fail("cannot read back");
  std::string bytes(static_cast<std::size_t>(st.size), '\0');
  const zip_int64_t got = zip_source_read(buffer.get(), bytes.data(), st.size);
  zip_source_close(buffer.get());
  if (got < 0 || static_cast<zip_uint64_t>(got) != st.size) fail("cannot read back");
  WriteFileReplacing(FileName, bytes);
}

}  // namespace marovia
