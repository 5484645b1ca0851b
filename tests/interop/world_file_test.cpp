// World files: what gdal_translate writes imports so that our conversions
// agree with gdaltransform, what we write reads back in GDAL with the same
// coordinates (the half-pixel shift of the format included), and damaged or
// unusable input is refused by name.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "calibration/crs_projection.h"
#include "marovia/geomap/world_file.h"
#include "support/gdal_tools.h"
#include "support/temp_dir.h"

namespace marovia {
namespace {

using test::GdalBlankImage;
using test::GdalTransform;
using test::SamplePixels;

constexpr int kW = 400;
constexpr int kH = 300;

struct TGeoref {
  const char* Name;
  const char* Crs;
  const char* UpperLeftLowerRight;  // gdal_translate -a_ullr
  TCalibModel Model;
};

const TGeoref kGeorefs[] = {
    {"geographic", "EPSG:4326", "5 48 7 46.5", cmEquiRect},
    {"utm_north", "EPSG:32632", "400000 5300000 460000 5255000", cmUTM},
    {"utm_south", "EPSG:32733", "300000 7000000 360000 6955000", cmUTM},
    {"mercator", "EPSG:3395", "800000 5900000 900000 5825000", cmProjected},
    {"lcc", "+proj=lcc +lat_1=33 +lat_2=45 +lat_0=39 +lon_0=-96 +datum=WGS84 +units=m +no_defs",
     "-50000 40000 50000 -35000", cmProjected},
};

class WorldFiles : public ::testing::TestWithParam<TGeoref> {
 protected:
  std::string Image() const { return dir.File("map.png"); }
  void WriteByGdal() {
    GdalBlankImage(Image(), kW, kH,
                   std::string("-of PNG -co WORLDFILE=YES -a_srs '") + GetParam().Crs +
                       "' -a_ullr " + GetParam().UpperLeftLowerRight);
  }
  test::TempDir dir;
};

TEST_P(WorldFiles, ImportOfGdalsFileAgreesWithGdaltransform) {
  WriteByGdal();
  const TImportedMap imported = ImportWorldFile(Image());
  const TMapCalibration& cal = imported.Calibration;
  EXPECT_EQ(cal.Model(), GetParam().Model);
  EXPECT_EQ(imported.ImageName, Image());
  const auto pixels = SamplePixels(kW, kH);
  const auto geo = GdalTransform(Image(), "-t_srs EPSG:4326", pixels);
  ASSERT_EQ(geo.size(), pixels.size());
  for (size_t i = 0; i < pixels.size(); ++i) {
    double x = 0, y = 0;
    ASSERT_TRUE(cal.GeoToPixelExact(geo[i][1], geo[i][0], x, y));
    EXPECT_NEAR(x, pixels[i][0], 0.01) << i;
    EXPECT_NEAR(y, pixels[i][1], 0.01) << i;
  }
}

// Our coordinates in the CRS of the exported files: degrees, the UTM
// model's own rows, or the projected model's metres.
std::array<double, 2> OurCrsCoordinates(const TMapCalibration& Cal, double X, double Y) {
  const TPixelPosition p = Cal.PixelToGeo(X, Y);
  if (Cal.Model() == cmEquiRect) return {p.Longit, p.Latit};
  if (Cal.Model() == cmUTM) {
    const auto& r = Cal.EquRectPLSP();
    return {r[1][0] + r[1][1] * X + r[1][2] * Y, r[0][0] + r[0][1] * X + r[0][2] * Y};
  }
  double e = 0, n = 0;
  EXPECT_TRUE(TCrsProjection(Cal.Data().CrsText).Forward(p.Latit, p.Longit, e, n));
  return {e, n};
}

TEST_P(WorldFiles, ExportReadsBackInGdalWithTheSameCoordinates) {
  WriteByGdal();
  const TMapCalibration cal = ImportWorldFile(Image()).Calibration;
  const std::string copy = dir.File("copy.png");
  std::filesystem::copy_file(Image(), copy);
  ExportWorldFile(cal, copy);
  ASSERT_TRUE(std::filesystem::exists(dir.File("copy.pgw")));
  const double tolerance = cal.Model() == cmEquiRect ? 1e-9 : 1e-6;  // degrees, metres
  const auto pixels = SamplePixels(kW, kH);
  const auto crs = GdalTransform(copy, "", pixels);
  const auto geo = GdalTransform(copy, "-t_srs EPSG:4326", pixels);
  ASSERT_EQ(crs.size(), pixels.size());
  ASSERT_EQ(geo.size(), pixels.size());
  for (size_t i = 0; i < pixels.size(); ++i) {
    const auto ours = OurCrsCoordinates(cal, pixels[i][0], pixels[i][1]);
    EXPECT_NEAR(crs[i][0], ours[0], tolerance) << i;
    EXPECT_NEAR(crs[i][1], ours[1], tolerance) << i;
    // The CRS in the .aux.xml: the same positions in degrees.
    const TPixelPosition p = cal.PixelToGeo(pixels[i][0], pixels[i][1]);
    EXPECT_NEAR(geo[i][0], p.Longit, 1e-8) << i;
    EXPECT_NEAR(geo[i][1], p.Latit, 1e-8) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Crs, WorldFiles, ::testing::ValuesIn(kGeorefs),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(WorldFile, WithoutCrsIsRefusedNamingWhereItLooked) {
  test::TempDir dir;
  const std::string image = dir.File("scan.png");
  GdalBlankImage(image, 50, 40, "-of PNG");
  dir.Write("scan.pgw", "0.01\n0\n0\n-0.01\n5.005\n47.995\n");
  try {
    ImportWorldFile(image);
    FAIL() << "imported without a CRS";
  } catch (const EZYLGeoMapError& e) {
    EXPECT_NE(std::string(e.what()).find("scan.prj"), std::string::npos) << e.what();
  }
  // Given by the caller, the centre of the top left pixel is 5.005, 47.995.
  const TMapCalibration cal = ImportWorldFile(image, "EPSG:4326").Calibration;
  const TPixelPosition corner = cal.PixelToGeo(0, 0);
  EXPECT_NEAR(corner.Longit, 5.0, 1e-12);
  EXPECT_NEAR(corner.Latit, 48.0, 1e-12);
}

TEST(WorldFile, ExportOfAModelThatIsNotAffineIsRefusedAndWritesNothing) {
  test::TempDir dir;
  TCalibData d;
  const double pts[6][4] = {{48, 5, 0, 0},       {48, 7, 400, 0},     {46.5, 5, 0, 300},
                            {46.5, 7, 400, 300}, {47.3, 6, 200, 150}, {47.9, 6.1, 210, 20}};
  for (const auto& p : pts)
    d.CalQuads[static_cast<size_t>(d.NumCalQuads++)] = {p[0], p[1], static_cast<int32_t>(p[2]),
                                                        static_cast<int32_t>(p[3])};
  TMapCalibration cal(cmBiquadraticPn, d, 400, 300);
  cal.Fit();
  const std::string image = dir.File("map.png");
  try {
    ExportWorldFile(cal, image);
    FAIL() << "a biquadratic map was written as a world file";
  } catch (const EZYLGeoMapError& e) {
    EXPECT_NE(std::string(e.what()).find("biquadraticpn"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST(WorldFile, DamagedFilesAreRefusedNamingTheLine) {
  const struct {
    const char* Bytes;
    const char* Where;
  } kCases[] = {
      {"1\n0\n0\n-1\n5\n", "w.wld:6"},         // a line short
      {"1\n0\nx\n-1\n5\n6\n", "w.wld:3"},      // not a number
      {"1\n0\n0\n-1\n5\n1e999\n", "w.wld:6"},  // not finite
      {"0\n0\n0\n0\n5\n6\n", "w.wld:1"},       // pixels without area
      {"1\n0\n0\n-1\n5\n6\n7\n", "w.wld:7"},   // a seventh number
  };
  for (const auto& c : kCases) {
    try {
      ParseWorldFile(c.Bytes, "w.wld");
      ADD_FAILURE() << "accepted: " << c.Bytes;
    } catch (const EZYLGeoMapError& e) {
      EXPECT_NE(std::string(e.what()).find(c.Where), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(ParseWorldFile("2.5\n0\n0\n-2.5\n100\n200\n\n", "w.wld")[4], 100);
}

}  // namespace
}  // namespace marovia
