// The formats that carry control points or a box: GDAL virtual rasters read
// by gdaltransform with the transformer each model needs (affine, second
// order, thin-plate), KMZ archives read by GDAL's KML super-overlay driver,
// the geometry of KML boxes, and .points lists (their downward-negative
// rows included).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <regex>

#include "marovia/geomap/control_points.h"
#include "marovia/geomap/kml_export.h"
#include "marovia/geomap/vrt_export.h"
#include "support/gdal_tools.h"
#include "support/temp_dir.h"

namespace marovia {
namespace {

using test::GdalTransform;
using test::SamplePixels;

constexpr int kW = 400;
constexpr int kH = 300;

using TTruth = std::function<TCoords(double x, double y)>;

// A calibration of Model fitted to the truth at the given pixels.
TMapCalibration Fitted(TCalibModel Model, const TTruth& Truth,
                       const std::vector<std::array<int, 2>>& Pixels) {
  TCalibData d;
  for (const auto& p : Pixels) {
    const TCoords g = Truth(p[0], p[1]);
    d.CalQuads[static_cast<size_t>(d.NumCalQuads++)] = {g.Latit, g.Longit, p[0], p[1]};
  }
  TMapCalibration cal(Model, d, kW, kH);
  cal.Fit();
  EXPECT_TRUE(cal.Converts()) << cal.FitMessage();
  return cal;
}

std::vector<std::array<int, 2>> Grid(int N) {
  std::vector<std::array<int, 2>> p;
  for (int j = 0; j < N; ++j)
    for (int i = 0; i < N; ++i) p.push_back({kW * i / (N - 1), kH * j / (N - 1)});
  return p;
}

TMapCalibration Equirect() {
  return Fitted(
      cmEquiRect,
      [](double x, double y) {
        return TCoords{48 - 0.004 * y, 5 + 0.005 * x};
      },
      Grid(2));
}

TMapCalibration Biquadratic() {
  return Fitted(
      cmBiquadraticPn,
      [](double x, double y) {
        return TCoords{48 - 0.004 * y + 2e-7 * x * y, 5 + 0.005 * x + 3e-7 * y * y};
      },
      Grid(4));
}

TMapCalibration ThinPlate() {
  std::vector<std::array<int, 2>> pixels;
  for (int i = 0; i < 12; ++i) pixels.push_back({(i * 137) % kW, (i * 89 + 17) % kH});
  return Fitted(
      cmThinPlate,
      [](double x, double y) {
        return TCoords{48 - 0.004 * y + 0.05 * std::sin(x / 60),
                       5 + 0.005 * x + 0.05 * std::cos(y / 50)};
      },
      pixels);
}

// How far (in pixels) a position lies from where the calibration puts
// pixel (x, y), through the calibration's local scale.
double PixelError(const TMapCalibration& Cal, double x, double y, double Lon, double Lat) {
  const TPixelPosition p = Cal.PixelToGeo(x, y);
  const TPixelPosition px = Cal.PixelToGeo(x + 1, y);
  const TPixelPosition py = Cal.PixelToGeo(x, y + 1);
  // Solve [dLon/dx dLon/dy; dLat/dx dLat/dy] d = (Lon, Lat) - p.
  const double a = px.Longit - p.Longit, b = py.Longit - p.Longit;
  const double c = px.Latit - p.Latit, d = py.Latit - p.Latit;
  const double u = Lon - p.Longit, v = Lat - p.Latit;
  const double det = a * d - b * c;
  return std::hypot((d * u - b * v) / det, (a * v - c * u) / det);
}

struct TVrtCase {
  const char* Name;
  std::function<TMapCalibration()> Make;
  const char* Transformer;
  double AtPoints, Between;  // pixels
};

class VrtExport : public ::testing::TestWithParam<TVrtCase> {};

TEST_P(VrtExport, GdaltransformThroughTheControlPointsAgreesWithTheModel) {
  test::TempDir dir;
  test::GdalBlankImage(dir.File("map.png"), kW, kH, "-of PNG");
  const TMapCalibration cal = GetParam().Make();
  const std::string vrt = dir.File("map.vrt");
  ExportVrt(cal, vrt, dir.File("map.png"));
  const test::CommandResult info = test::RunCommand("gdalinfo '" + vrt + "'");
  ASSERT_EQ(info.Status, 0) << info.Err;
  EXPECT_NE(info.Out.find("GCP Projection"), std::string::npos);
  // The control points themselves, then 200 pixels over the image.
  std::vector<std::array<double, 2>> points;
  const std::vector<std::array<double, 2>> samples = SamplePixels(kW, kH);
  if (cal.Model() == cmThinPlate)
    for (int i = 0; i < cal.Data().NumCalQuads; ++i)
      points.push_back({static_cast<double>(cal.Data().CalQuads[static_cast<size_t>(i)].MapX),
                        static_cast<double>(cal.Data().CalQuads[static_cast<size_t>(i)].MapY)});
  else
    for (const auto& p : Grid(5)) points.push_back({double(p[0]), double(p[1])});
  const size_t controls = points.size();
  points.insert(points.end(), samples.begin(), samples.end());
  const auto geo = GdalTransform(vrt, GetParam().Transformer, points);
  ASSERT_EQ(geo.size(), points.size());
  for (size_t i = 0; i < points.size(); ++i) {
    const double e = PixelError(cal, points[i][0], points[i][1], geo[i][0], geo[i][1]);
    EXPECT_LE(e, i < controls ? GetParam().AtPoints : GetParam().Between) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Models, VrtExport,
                         ::testing::Values(TVrtCase{"affine", Equirect, "-order 1", 1e-6, 1e-6},
                                           TVrtCase{"biquadratic", Biquadratic, "-order 2", 1e-6,
                                                    0.5},
                                           TVrtCase{"thinplate", ThinPlate, "-tps", 0.05, 0.05}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(VrtExport, AffineGcpsGiveDegreesWithinANanodegree) {
  test::TempDir dir;
  test::GdalBlankImage(dir.File("map.png"), kW, kH, "-of PNG");
  const TMapCalibration cal = Equirect();
  ExportVrt(cal, dir.File("map.vrt"), dir.File("map.png"));
  const auto pixels = SamplePixels(kW, kH);
  const auto geo = GdalTransform(dir.File("map.vrt"), "-order 1", pixels);
  ASSERT_EQ(geo.size(), pixels.size());
  for (size_t i = 0; i < pixels.size(); ++i) {
    const TPixelPosition p = cal.PixelToGeo(pixels[i][0], pixels[i][1]);
    EXPECT_NEAR(geo[i][0], p.Longit, 1e-9);
    EXPECT_NEAR(geo[i][1], p.Latit, 1e-9);
  }
}

TEST(KmzExport, OpensInGdalWithTheMapsExtent) {
  test::TempDir dir;
  test::GdalBlankImage(dir.File("map.png"), kW, kH, "-of PNG");
  const TMapCalibration cal = Equirect();
  const std::string kmz = dir.File("map.kmz");
  ExportKmz(cal, kmz, dir.File("map.png"));
  // Opened by the super-overlay driver alone, which hands out the image
  // inside the archive with the overlay's georeference.
  const test::CommandResult info = test::RunCommand("gdalinfo -if KMLSUPEROVERLAY '" + kmz + "'");
  ASSERT_EQ(info.Status, 0) << info.Err;
  EXPECT_NE(info.Out.find("/vsizip/"), std::string::npos) << info.Out;
  const std::regex corner(R"((Upper Left|Lower Right)\s*\(\s*([-0-9.]+),\s*([-0-9.]+)\))");
  int found = 0;
  for (std::sregex_iterator m(info.Out.begin(), info.Out.end(), corner), end; m != end; ++m) {
    const bool upper = (*m)[1] == "Upper Left";
    const TPixelPosition p = upper ? cal.PixelToGeo(0, 0) : cal.PixelToGeo(kW, kH);
    EXPECT_NEAR(std::stod((*m)[2]), p.Longit, 1e-6) << (*m)[0];
    EXPECT_NEAR(std::stod((*m)[3]), p.Latit, 1e-6) << (*m)[0];
    ++found;
  }
  EXPECT_EQ(found, 2) << info.Out;
}

double Tag(const std::string& Kml, const std::string& Name) {
  const size_t at = Kml.find("<" + Name + ">");
  return at == std::string::npos ? NAN : std::stod(Kml.substr(at + Name.size() + 2));
}

// The rotated box's corners, turned about its centre, are the image's.
TEST(KmlExport, RotatedAffineMapIsABoxWhoseTurnedCornersAreTheImages) {
  const double t = 30 * M_PI / 180, s = 0.004;
  const TMapCalibration cal = Fitted(
      cmEquiRect,
      [&](double x, double y) {
        return TCoords{47 + s * (std::sin(t) * x - std::cos(t) * y),
                       6 + s * (std::cos(t) * x + std::sin(t) * y)};
      },
      Grid(3));
  const std::string kml = KmlGroundOverlay(cal, "map.png");
  ASSERT_NE(kml.find("<LatLonBox>"), std::string::npos) << kml;
  EXPECT_NEAR(Tag(kml, "rotation"), 30, 1e-9);
  const double n = Tag(kml, "north"), so = Tag(kml, "south"), e = Tag(kml, "east"),
               w = Tag(kml, "west");
  const double cx = (e + w) / 2, cy = (n + so) / 2;
  const double box[4][2] = {{w, n}, {e, n}, {e, so}, {w, so}};
  const double px[4][2] = {{0, 0}, {kW, 0}, {kW, kH}, {0, kH}};
  for (int i = 0; i < 4; ++i) {
    const double dx = box[i][0] - cx, dy = box[i][1] - cy;
    const TPixelPosition p = cal.PixelToGeo(px[i][0], px[i][1]);
    EXPECT_NEAR(cx + std::cos(t) * dx - std::sin(t) * dy, p.Longit, 1e-9) << i;
    EXPECT_NEAR(cy + std::sin(t) * dx + std::cos(t) * dy, p.Latit, 1e-9) << i;
  }
  // A map that is not affine is a quad of its corners.
  const std::string quad = KmlGroundOverlay(Biquadratic(), "map.png");
  EXPECT_NE(quad.find("<gx:LatLonQuad>"), std::string::npos);
  EXPECT_EQ(quad.find("<LatLonBox>"), std::string::npos);
}

TEST(ControlPoints, RowsAreNegativeDownwardsAndExportsImportUnchanged) {
  // Pixel (100, 20) at 8.5 E, 47.25 N; the list names the row -20.
  const std::string text =
      "#CRS: EPSG:4326\nmapX,mapY,sourceX,sourceY,enable,dX,dY,residual\n"
      "8,47.5,0,0,1,0,0,0\n8.5,47.25,100,-20,1,0,0,0\n8,46.5,0,-200,1,0,0,0\n"
      "9,46.5,300,-200,0,0,0,0\n";
  const TMapCalibration cal = ParseControlPoints(text, "p.points", kW, kH).Calibration;
  EXPECT_EQ(cal.Model(), cmEquiRect);
  EXPECT_EQ(cal.Data().NumCalQuads, 3);  // the disabled point left out
  double x = 0, y = 0;
  ASSERT_TRUE(cal.GeoToPixelExact(47.25, 8.5, x, y));
  EXPECT_NEAR(x, 100, 1e-9);
  EXPECT_NEAR(y, 20, 1e-9);

  for (const TMapCalibration& original : {Equirect(), Biquadratic(), ThinPlate()}) {
    test::TempDir dir;
    ExportControlPoints(original, dir.File("m.points"));
    const TMapCalibration back =
        ParseControlPoints(dir.Read("m.points"), "m.points", kW, kH).Calibration;
    EXPECT_EQ(int(back.Model()), int(original.Model()));
    for (const auto& p : SamplePixels(kW, kH)) {
      const TPixelPosition a = original.PixelToGeo(p[0], p[1]);
      const TPixelPosition b = back.PixelToGeo(p[0], p[1]);
      EXPECT_NEAR(a.Latit, b.Latit, 1e-9);
      EXPECT_NEAR(a.Longit, b.Longit, 1e-9);
    }
  }
}

TEST(ControlPoints, DamagedOrUnusableListsAreRefusedByLine) {
  const struct {
    const char* Text;
    const char* Where;
  } kCases[] = {
      {"#CRS: EPSG:4326\nmapX,mapY,sourceX,sourceY\n8,47,0,0\n8,x,1,-1\n", "p.points:4"},
      {"#CRS: EPSG:4326\n8,47,0,0\n8,46\n", "p.points:3"},
      {"#CRS: EPSG:4326\n8,97,0,0\n8,46,0,-10\n9,46,10,-10\n", "p.points:2"},
      {"8,47,0,0\n8,46,0,-10\n9,46,10,-10\n", "no CRS"},
      {"#CRS: EPSG:4326\n8,47,0,0\n8,46,0,-10\n", "at least 3"},
  };
  for (const auto& c : kCases) {
    try {
      ParseControlPoints(c.Text, "p.points", kW, kH);
      ADD_FAILURE() << "accepted: " << c.Text;
    } catch (const EZYLGeoMapError& e) {
      EXPECT_NE(std::string(e.what()).find(c.Where), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace marovia
