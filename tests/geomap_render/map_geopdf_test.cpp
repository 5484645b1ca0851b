// Printed maps as georeferenced PDF pages, checked by readers that share no
// code with the writer: GDAL (gdalinfo, gdaltransform) places the page on
// the earth as map software would; qpdf rewrites the file with the newest
// version of every object, from which a reader written here from the
// format's description takes each page's viewports and interpolates in
// their points. Both are compared with the map's own conversion of the
// image position printed at each place. qpdf --check and poppler's pdfinfo
// and pdftoppm say the file is still a valid PDF.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "marovia/geomap/geomap.h"
#include "marovia/platform/printers.h"
#include "render_fixture.h"
#include "support/gdal_tools.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace marovia::test {
namespace {

constexpr int kDpi = 100;
constexpr double kPageWPt = 210 / 25.4 * 72, kPageHPt = 297 / 25.4 * 72;  // A4

std::string Sample(const std::string& Name) {
  return std::string(MAROVIA_SAMPLES_DIR) + "/atlas/" + Name;
}

// A sample's calibration file, changed by Edit, written as Name in Dir.
std::string EditedSample(const TempDir& Dir, const std::string& Sample_, const std::string& Name,
                         const std::function<void(std::string&)>& Edit) {
  std::ifstream in(Sample(Sample_), std::ios::binary);
  std::string xml{std::istreambuf_iterator<char>(in), {}};
  Edit(xml);
  return Dir.Write(Name, xml);
}

void Replace(std::string& Text, const std::string& From, const std::string& To) {
  const size_t at = Text.find(From);
  ASSERT_NE(at, std::string::npos) << From;
  Text.replace(at, From.size(), To);
}

// The Alps sample's points under the projected model in web Mercator: the
// map is affine in that CRS's metres.
std::string MercatorMap(const TempDir& Dir) {
  return EditedSample(Dir, "alps_eqc.xml", "mercator.xml", [](std::string& Xml) {
    Replace(Xml, "model=\"equirect\"", "model=\"projected\"");
    Replace(Xml, "<calquads", "<crs>EPSG:3857</crs>\r\n<polyorder>1</polyorder>\r\n<calquads");
  });
}

// The Europe sample's graticule crossings under the thin-plate model
// (written as a file in Dir).
std::string ThinPlateMap(const TempDir& Dir) {
  return EditedSample(Dir, "europe_lcc.xml", "thinplate.xml", [](std::string& Xml) {
    Replace(Xml, "model=\"conicconformal\"", "model=\"thinplate\"");
  });
}

// The Switzerland sample's image calibrated 172 degrees further east, so
// that it reaches across 180 degrees (written as a file in Dir).
std::string CrossingMap(const TempDir& Dir) {
  std::string points;
  for (const int y : {871, 639, 407, 176}) {
    const double lat = 46 + 0.5 * std::round((871 - y) / 232.0);
    for (const auto& [lon, x] :
         {std::pair{178.0, 96}, {179.5, 572}, {181.0, 1047}, {182.5, 1523}}) {
      points += "[" + std::to_string(lat) + "," + std::to_string(lon) + "," + std::to_string(x) +
                "," + std::to_string(y) + "] ";
    }
  }
  return Dir.Write("crossing.xml",
                   "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n"
                   "<geomap sig=\"Quorvant\" vers=\"1.0\" id=\"crossing\" model=\"equirect\" "
                   "map=\"switzerland_eqc.jpg\" caption=\"Across 180\">\r\n"
                   "<corners>\r\n[0,0] [0,0] [0,0] [0,0] \r\n</corners>\r\n"
                   "<ellipsoid>gelWGS84</ellipsoid>\r\n<calquads npoints=\"16\">\r\n" +
                       points + "\r\n</calquads>\r\n</geomap>\r\n");
}

// A window of a map printed on a page: dot (x, y) of the page shows the
// image position TopLeft + ((x, y) - Pos) / Scale.
struct Placed {
  const TGeoMap* Map = nullptr;
  TPoint TopLeft;
  double Scale = 1;
  TPoint Pos;
  int W = 0, H = 0;  // dots
  double ImageX(double x) const { return TopLeft.X + (x - Pos.X) / Scale; }
  double ImageY(double y) const { return TopLeft.Y + (y - Pos.Y) / Scale; }
};

// The map's own position of page dot (x, y), longitude continued near Near.
std::array<double, 2> Exact(const Placed& P, double x, double y, double Near = NAN) {
  const TPixelPosition g = P.Map->Calibration().PixelToGeo(P.ImageX(x), P.ImageY(y));
  EXPECT_TRUE(g.Valid());
  double lon = g.Longit;
  if (!std::isnan(Near)) lon -= 360 * std::round((lon - Near) / 360);
  return {g.Latit, lon};
}

// How many dots of P lie between position (Lat, Long) and page dot (x, y),
// by the map's own derivatives there (its forward conversion alone).
double MissInDots(const Placed& P, double x, double y, double Lat, double Long) {
  const auto at = Exact(P, x, y, Long), ax = Exact(P, x + 1, y, Long),
             ay = Exact(P, x, y + 1, Long);
  const double a = ax[0] - at[0], b = ay[0] - at[0], c = ax[1] - at[1], d = ay[1] - at[1];
  const double dLat = Lat - at[0], dLong = Long - at[1], det = a * d - b * c;
  return std::hypot((d * dLat - b * dLong) / det, (a * dLong - c * dLat) / det);
}

// One viewport as the reader here sees it: its rectangle (points, y up) and
// its points in the unit square and on the earth.
struct Viewport {
  std::vector<double> BBox, Gpts, Lpts;
  int Epsg = 0;
};

std::vector<double> NumbersAfter(const std::string& Text, const std::string& Key) {
  std::vector<double> out;
  const size_t at = Text.find(Key + " [");
  if (at == std::string::npos) return out;
  std::istringstream in(Text.substr(at + Key.size() + 2, Text.find(']', at) - at - Key.size() - 2));
  for (double v; in >> v;) out.push_back(v);
  return out;
}

// The viewports of every page, from qpdf's rewriting of the file (pages in
// order, marked "%% Page n", each page dictionary written out whole).
std::vector<std::vector<Viewport>> ReadViewports(const TempDir& Dir, const std::string& Pdf) {
  const CommandResult r = RunCommand("qpdf --qdf --object-streams=disable '" + Pdf + "' '" +
                                     Dir.File("flat.pdf") + "'");
  EXPECT_EQ(r.Status, 0) << r.Err;
  const std::string text = Dir.Read("flat.pdf");
  std::vector<std::vector<Viewport>> pages;
  const std::regex page("%% Page [0-9]+\n");
  std::vector<size_t> starts;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), page); it != std::sregex_iterator();
       ++it) {
    starts.push_back(size_t(it->position()));
  }
  for (size_t p = 0; p < starts.size(); ++p) {
    const std::string body =
        text.substr(starts[p], (p + 1 < starts.size() ? starts[p + 1] : text.size()) - starts[p]);
    std::vector<Viewport> vps;
    for (size_t at = body.find("/Type /Viewport"); at != std::string::npos;
         at = body.find("/Type /Viewport", at + 1)) {
      // qpdf sorts a dictionary's keys: the viewport's entries follow its
      // /BBox, which comes before its /Type.
      const size_t from = body.rfind("/BBox", at);
      const std::string vp = body.substr(from, at - from);
      Viewport v{NumbersAfter(vp, "/BBox"), NumbersAfter(vp, "/GPTS"), NumbersAfter(vp, "/LPTS")};
      std::smatch m;
      if (std::regex_search(vp, m, std::regex("/EPSG ([0-9]+)"))) v.Epsg = std::stoi(m[1]);
      vps.push_back(v);
    }
    pages.push_back(vps);
  }
  return pages;
}

// Position of page dot (x, y) interpolated bilinearly in the grid of V's
// points; the points must form a full grid in the unit square.
std::array<double, 2> Interpolated(const Viewport& V, double x, double y) {
  std::vector<double> us, vs;
  for (size_t k = 0; k + 1 < V.Lpts.size(); k += 2) {
    us.push_back(V.Lpts[k]);
    vs.push_back(V.Lpts[k + 1]);
  }
  const auto unique = [](std::vector<double> a) {
    std::sort(a.begin(), a.end());
    a.erase(std::unique(a.begin(), a.end()), a.end());
    return a;
  };
  const std::vector<double> cu = unique(us), cv = unique(vs);
  EXPECT_EQ(cu.size() * cv.size(), us.size()) << "the points are no full grid";
  const auto node = [&](size_t i, size_t j) {
    for (size_t k = 0; k < us.size(); ++k)
      if (us[k] == cu[i] && vs[k] == cv[j])
        return std::array<double, 2>{V.Gpts[2 * k], V.Gpts[2 * k + 1]};
    return std::array<double, 2>{NAN, NAN};
  };
  // Dot to unit square: x right, y down on the page; v up.
  const double u = (x * 72.0 / kDpi - V.BBox[0]) / (V.BBox[2] - V.BBox[0]);
  const double v = (kPageHPt - y * 72.0 / kDpi - V.BBox[1]) / (V.BBox[3] - V.BBox[1]);
  const auto cell = [](const std::vector<double>& c, double t) {
    const auto above = std::upper_bound(c.begin(), c.end(), t) - c.begin();
    return static_cast<size_t>(
        std::clamp<std::ptrdiff_t>(above - 1, 0, std::ptrdiff_t(c.size()) - 2));
  };
  const size_t i = cell(cu, u), j = cell(cv, v);
  const double a = (u - cu[i]) / (cu[i + 1] - cu[i]), b = (v - cv[j]) / (cv[j + 1] - cv[j]);
  std::array<double, 2> out{};
  for (int c = 0; c < 2; ++c) {
    out[c] = (1 - b) * ((1 - a) * node(i, j)[c] + a * node(i + 1, j)[c]) +
             b * ((1 - a) * node(i, j + 1)[c] + a * node(i + 1, j + 1)[c]);
  }
  return out;
}

// Dots over a printed window: its corners and a 12 x 12 grid between them
// at steps that fall between the georeferenced points.
std::vector<std::array<double, 2>> DotsOf(const Placed& P) {
  std::vector<std::array<double, 2>> d;
  for (int j = 0; j <= 12; ++j)
    for (int i = 0; i <= 12; ++i) d.push_back({P.Pos.X + P.W * i / 12.0, P.Pos.Y + P.H * j / 12.0});
  for (size_t k = 0; k < d.size(); ++k) {
    if (k % 13 != 0 && k % 13 != 12 && k > 13 && k < 13 * 12) {
      d[k][0] += 0.37 * P.W / 12;
      d[k][1] += 0.61 * P.H / 12;
    }
  }
  return d;
}

// Positions GDAL gives to page dots of page Page, as latitude, longitude.
// GDAL rasterises the page at the resolution asked for, rounded to whole
// pixels a side (827 x 1169 for A4 at 100 dpi): dots are scaled into that.
std::vector<std::array<double, 2>> GdalPositions(const std::string& Pdf, int Page,
                                                 const std::vector<std::array<double, 2>>& Dots) {
  const std::string dataset = "PDF:" + std::to_string(Page) + ":" + Pdf;
  const double w = std::round(kPageWPt * kDpi / 72), h = std::round(kPageHPt * kDpi / 72);
  std::vector<std::array<double, 2>> pixels;
  for (const auto& d : Dots) {
    pixels.push_back({d[0] * 72.0 / kDpi * w / kPageWPt, d[1] * 72.0 / kDpi * h / kPageHPt});
  }
  std::vector<std::array<double, 2>> out;
  for (const auto& p :
       GdalTransform(dataset, "--config GDAL_PDF_DPI " + std::to_string(kDpi) + " -t_srs EPSG:4326",
                     pixels)) {
    out.push_back({p[1], p[0]});
  }
  return out;
}

void ExpectValidPdf(const std::string& Pdf, int Pages) {
  const CommandResult check = RunCommand("qpdf --check '" + Pdf + "'");
  EXPECT_EQ(check.Status, 0) << check.Out << check.Err;
  const CommandResult info = RunCommand("pdfinfo '" + Pdf + "'");
  EXPECT_NE(info.Out.find("Pages:           " + std::to_string(Pages)), std::string::npos)
      << info.Out << info.Err;
  const CommandResult render =
      RunCommand("pdftoppm -r 20 -f " + std::to_string(Pages) + " '" + Pdf + "' page");
  EXPECT_EQ(render.Status, 0) << render.Err;
  EXPECT_EQ(render.Err, "");
}

class GeoPdf : public ::testing::Test {
 protected:
  GeoPdf() {
    Printer().SetResolution(kDpi);
    Printer().SetFileName(pdf);
  }
  ~GeoPdf() override {
    if (Printer().Printing()) Printer().Abort();
    Printer().SetResolution(300);
    Printer().SetFileName("");
  }
  // Prints the window of Map's image from TopLeft, W x H image pixels, at
  // Percent on the open page at Pos.
  Placed Print(TGeoMap& Map, TPoint TopLeft, int W, int H, int Percent, TPoint Pos) {
    Map.CopyToOpenPrinter(TopLeft, Percent, Pos.X, Pos.Y, W, H);
    int32_t pw = 0, ph = 0;
    Map.CalcExtentsOfPrint(Rect(TopLeft.X, TopLeft.Y, TopLeft.X + W, TopLeft.Y + H), Percent, pw,
                           ph);
    return Placed{&Map, TopLeft, Percent / 100.0, Pos, pw, ph};
  }
  // A sample map by name, or a calibration file by its path.
  static std::unique_ptr<MapView> Load(const std::string& Name) {
    auto v = std::make_unique<MapView>();
    v->map.SetSuppressPaint(true);
    // The calibration names its image without a folder.
    v->map.OnMapImageRequest = [](TObject*, std::string& Image) { Image = Sample(Image); };
    const std::string file = Name.find('/') == std::string::npos ? Sample(Name) : Name;
    EXPECT_TRUE(v->map.LoadCalDataFromXML(file, "")) << Name;
    EXPECT_GT(v->map.MapImgWidth(), 0) << Name;
    return v;
  }
  TempDir dir;
  std::string pdf = dir.File("map.pdf");
};

// GDAL's reading of a page against the map, in dots: an affine map
// (plate carree, GDAL reads it in degrees) and a UTM map (GDAL reads it in
// the zone's metres, where the map is affine).
TEST_F(GeoPdf, GdalPlacesAffineMapsWithinADot) {
  if (!HaveCommand("gdalinfo")) GTEST_SKIP() << "GDAL's tools are not installed";
  const struct Case {
    std::string Map;
    TPoint TopLeft;
    int Epsg;
  } cases[] = {{"alps_eqc.xml", {100, 50}, 4326},
               {"zurich_utm32.xml", {300, 200}, 32632},
               {CrossingMap(dir), {100, 50}, 4326},
               {MercatorMap(dir), {100, 50}, 3857}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Map);
    const auto v = Load(c.Map);
    Printer().BeginDoc();
    const Placed placed = Print(v->map, c.TopLeft, 1000, 800, 60, {40, 70});
    Printer().EndDoc();
    ExpectValidPdf(pdf, 1);
    const auto pages = ReadViewports(dir, pdf);
    ASSERT_EQ(pages.size(), 1u);
    ASSERT_EQ(pages[0].size(), 1u);
    EXPECT_EQ(pages[0][0].Epsg, c.Epsg);
    const auto dots = DotsOf(placed);
    const auto gdal = GdalPositions(pdf, 1, dots);
    ASSERT_EQ(gdal.size(), dots.size());
    for (size_t k = 0; k < dots.size(); ++k) {
      EXPECT_LT(MissInDots(placed, dots[k][0], dots[k][1], gdal[k][0], gdal[k][1]), 1.0)
          << "dot " << dots[k][0] << ", " << dots[k][1];
    }
  }
}

// Maps that are affine in nothing a reader knows: the points are the map's
// own positions, and a reader interpolating in their grid misses the map by
// less than a dot anywhere in the window.
TEST_F(GeoPdf, GridOfPointsFollowsMapsThatAreNotAffine) {
  for (const std::string& name :
       {std::string("europe_lcc.xml"), std::string("overview_miller.xml"),
        std::string("zurich_utm32.xml"), CrossingMap(dir), ThinPlateMap(dir)}) {
    SCOPED_TRACE(name);
    const auto v = Load(name);
    Printer().BeginDoc();
    const Placed placed =
        Print(v->map, {0, 0}, v->map.MapImgWidth(), v->map.MapImgHeight(), 40, {30, 50});
    Printer().EndDoc();
    const auto pages = ReadViewports(dir, pdf);
    ASSERT_EQ(pages.size(), 1u);
    ASSERT_EQ(pages[0].size(), 1u);
    const Viewport& vp = pages[0][0];
    ASSERT_EQ(vp.Gpts.size(), vp.Lpts.size());
    EXPECT_GE(vp.Gpts.size(), 2u * 9) << "not just the corners";
    // The rectangle is the printed window's, in points.
    EXPECT_NEAR(vp.BBox[0], placed.Pos.X * 72.0 / kDpi, 1e-6);
    EXPECT_NEAR(vp.BBox[3], kPageHPt - placed.Pos.Y * 72.0 / kDpi, 1e-4);
    // Longitudes run on across 180 degrees, for readers that interpolate.
    double west = INFINITY, east = -INFINITY;
    for (size_t k = 1; k < vp.Gpts.size(); k += 2) {
      west = std::min(west, vp.Gpts[k]);
      east = std::max(east, vp.Gpts[k]);
    }
    EXPECT_LT(east - west, 180);
    // Every point is the map's position of its dot.
    for (size_t k = 0; k + 1 < vp.Lpts.size(); k += 2) {
      const double x = (vp.BBox[0] + vp.Lpts[k] * (vp.BBox[2] - vp.BBox[0])) * kDpi / 72.0;
      const double y =
          (kPageHPt - vp.BBox[1] - vp.Lpts[k + 1] * (vp.BBox[3] - vp.BBox[1])) * kDpi / 72.0;
      const auto e = Exact(placed, x, y, vp.Gpts[k + 1]);
      EXPECT_NEAR(vp.Gpts[k], e[0], 1e-8);
      EXPECT_NEAR(vp.Gpts[k + 1], e[1], 1e-8);
    }
    double worst = 0;
    for (const auto& d : DotsOf(placed)) {
      const auto p = Interpolated(vp, d[0], d[1]);
      worst = std::max(worst, MissInDots(placed, d[0], d[1], p[0], p[1]));
    }
    EXPECT_LT(worst, 1.0);
  }
}

// A document of two pages: each page carries its own map's georeferencing,
// and GDAL reads each page by itself.
TEST_F(GeoPdf, EachPageOfADocumentHasItsOwnGeoreferencing) {
  if (!HaveCommand("gdalinfo")) GTEST_SKIP() << "GDAL's tools are not installed";
  const auto alps = Load("alps_eqc.xml");
  const auto zurich = Load("zurich_utm32.xml");
  Printer().BeginDoc();
  const Placed first = Print(alps->map, {0, 0}, 1600, 1150, 45, {40, 40});
  Printer().NewPage();
  const Placed second = Print(zurich->map, {400, 300}, 800, 600, 80, {100, 300});
  Printer().EndDoc();
  ExpectValidPdf(pdf, 2);
  const auto pages = ReadViewports(dir, pdf);
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].size(), 1u);
  EXPECT_EQ(pages[1].size(), 1u);
  int page = 1;
  for (const Placed& placed : {first, second}) {
    const auto dots = DotsOf(placed);
    const auto gdal = GdalPositions(pdf, page++, dots);
    ASSERT_EQ(gdal.size(), dots.size());
    for (size_t k = 0; k < dots.size(); ++k) {
      EXPECT_LT(MissInDots(placed, dots[k][0], dots[k][1], gdal[k][0], gdal[k][1]), 1.0);
    }
  }
}

// Without a calibration nothing is georeferenced, and the file is the
// printer's own (no update appended); a page without a map stays plain
// beside one with two maps, which has two viewports.
TEST_F(GeoPdf, MapsWithoutCalibrationPrintWithoutViewports) {
  MapView plain;
  plain.map.SetMapImgFile(Sample("alps_eqc.jpg"));
  ASSERT_EQ(plain.map.MapImgWidth(), 1600);
  Printer().BeginDoc();
  Print(plain.map, {0, 0}, 400, 300, 100, {0, 0});
  Printer().EndDoc();
  ExpectValidPdf(pdf, 1);
  EXPECT_EQ(dir.Read("map.pdf").find("/VP"), std::string::npos);
  EXPECT_EQ(dir.Read("map.pdf").find("%%EOF"), dir.Read("map.pdf").rfind("%%EOF"));

  const auto alps = Load("alps_eqc.xml");
  Printer().BeginDoc();
  Print(plain.map, {0, 0}, 400, 300, 100, {0, 0});
  Printer().NewPage();
  Print(alps->map, {0, 0}, 400, 300, 100, {0, 0});
  Print(alps->map, {800, 600}, 400, 300, 100, {0, 400});
  Printer().EndDoc();
  ExpectValidPdf(pdf, 2);
  const auto pages = ReadViewports(dir, pdf);
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].size(), 0u);
  ASSERT_EQ(pages[1].size(), 2u);
  EXPECT_GT(pages[1][0].BBox[1], pages[1][1].BBox[3]) << "the first window lies above";
}

}  // namespace
}  // namespace marovia::test
