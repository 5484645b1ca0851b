// Viewports with geospatial measures, as PDF dictionary text.
#include "pdf_viewports.h"

#include <charconv>
#include <cmath>

#include "pdf_document.h"

namespace marovia::print {
namespace {

// WGS 84 in well-known text, beside its EPSG code: readers that know no
// EPSG codes read the text.
constexpr const char* kWgs84Wkt =
    "GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\",SPHEROID[\"WGS 84\",6378137,298.257223563,"
    "AUTHORITY[\"EPSG\",\"7030\"]],AUTHORITY[\"EPSG\",\"6326\"]],PRIMEM[\"Greenwich\",0,"
    "AUTHORITY[\"EPSG\",\"8901\"]],UNIT[\"degree\",0.0174532925199433,"
    "AUTHORITY[\"EPSG\",\"9122\"]],AUTHORITY[\"EPSG\",\"4326\"]]";

constexpr int kDecimals = 9;

// V to kDecimals places without trailing zeros, whatever the locale.
std::string Number(double V) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, V, std::chars_format::fixed, kDecimals);
  std::string s(buf, r.ptr);
  if (s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  return s == "-0" ? "0" : s;
}

void AppendUtf16Unit(std::string& Out, unsigned Unit) {
  static const char* const kHex = "0123456789ABCDEF";
  for (int shift = 12; shift >= 0; shift -= 4) Out += kHex[(Unit >> shift) & 0xF];
}

std::string Viewport(const TPageGeoreference& G, double Ppp, double PageHeightPt) {
  const TRect& a = G.Area;
  std::string bbox = "[" + Number(a.Left * Ppp) + " " + Number(PageHeightPt - a.Bottom * Ppp) +
                     " " + Number(a.Right * Ppp) + " " + Number(PageHeightPt - a.Top * Ppp) + "]";
  std::string gpts, lpts;
  for (const TPageGeoPoint& p : G.Points) {
    gpts += (gpts.empty() ? "" : " ") + Number(p.Lat) + " " + Number(p.Long);
    lpts += (lpts.empty() ? "" : " ") + Number((p.X - a.Left) / a.Width()) + " " +
            Number((a.Bottom - p.Y) / a.Height());
  }
  return "<< /Type /Viewport /BBox " + bbox + " /Name " + PdfTextString(G.Name) +
         "\n/Measure << /Type /Measure /Subtype /GEO /Bounds [0 0 0 1 1 1 1 0]\n/GPTS [" + gpts +
         "]\n/LPTS [" + lpts + "]\n/GCS << /Type " + (G.CrsProjected ? "/PROJCS" : "/GEOGCS") +
         (G.CrsEpsg > 0 ? " /EPSG " + std::to_string(G.CrsEpsg) : std::string()) + " /WKT " +
         PdfTextString(G.CrsWkt.empty() ? kWgs84Wkt : G.CrsWkt) +
         " >>\n/PDU [(KM) (SQKM) (DEG)] >> >>";
}

}  // namespace

std::string PdfViewportEntries(const std::vector<TPageGeoreference>& Georeferences,
                               double PointsPerPixel, double PageHeightPt) {
  if (Georeferences.empty()) return "";
  std::string out = "/VP [";
  for (const TPageGeoreference& g : Georeferences) {
    out += "\n" + Viewport(g, PointsPerPixel, PageHeightPt);
  }
  return out + "\n]";
}

std::string PdfGeospatialCatalogEntries() {
  // Geospatial measures came with extension level 3 of PDF 1.7.
  return "/Version /1.7 /Extensions << /ADBE << /BaseVersion /1.7 /ExtensionLevel 3 >> >>";
}

std::string PdfTextString(const std::string& Text) {
  const std::string text = ValidUtf8(Text);
  bool ascii = true;
  for (const char c : text) ascii = ascii && c >= 0x20 && c < 0x7F;
  if (ascii) {
    std::string out = "(";
    for (const char c : text) {
      if (c == '(' || c == ')' || c == '\\') out += '\\';
      out += c;
    }
    return out + ")";
  }
  std::string out = "<FEFF";
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    const size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    unsigned cp = n == 1 ? b : b & (0x7F >> n);
    for (size_t k = 1; k < n; ++k)
      cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    i += n;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      AppendUtf16Unit(out, 0xD800 + (cp >> 10));
      AppendUtf16Unit(out, 0xDC00 + (cp & 0x3FF));
    } else {
      AppendUtf16Unit(out, cp);
    }
  }
  return out + ">";
}

}  // namespace marovia::print
