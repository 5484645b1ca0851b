// GeoTIFF files written by gdal_translate, imported: the calibration must
// convert as gdaltransform does, within 0.01 pixel at 200 positions spread
// over the image, and the CRS must land on the model the import promises.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "geotiff_oracle.h"
#include "marovia/geomap/geotiff_import.h"

namespace marovia {
namespace {

using test::Gdal;
using test::TempDir;

constexpr int kWidth = 40, kHeight = 30;

struct ImportCase {
  const char* name;
  std::string options;  // of gdal_translate, or a VRT georeferencing when it starts with '<'
  TCalibModel model;
  int zone = 0;
  bool south = false;
};

const std::string kLcc =
    "'+proj=lcc +lat_1=44 +lat_2=49 +lat_0=46.5 +lon_0=3 +x_0=700000 +y_0=6600000 +datum=WGS84 "
    "+units=m +no_defs'";

const ImportCase kCases[] = {
    {"geographic", "-a_srs EPSG:4326 -a_ullr 10.25 50.5 11.75 49.25", cmEquiRect},
    {"utm north", "-a_srs EPSG:32633 -a_ullr 480000 6010000 520000 5980000", cmUTM, 33, false},
    {"utm south", "-a_srs EPSG:32723 -a_ullr 300000 7400000 340000 7370000", cmUTM, 23, true},
    {"utm, pixel is point",
     "-a_srs EPSG:32633 -a_ullr 480000 6010000 520000 5980000 -mo AREA_OR_POINT=Point", cmUTM, 33,
     false},
    {"mercator", "-a_srs EPSG:3395 -a_ullr 1000000 6000000 1400000 5700000", cmProjected},
    {"lambert conformal conic, PROJ string",
     "-a_srs " + kLcc + " -a_ullr 600000 6700000 800000 6550000", cmProjected},
    {"rotated utm (transformation matrix)",
     "<SRS>EPSG:32633</SRS><GeoTransform>500000, 80, 30, 6000000, 30, -80</GeoTransform>", cmUTM,
     33, false},
    {"four control points, geographic",
     "-a_srs EPSG:4326 -gcp 0 0 10 50 -gcp 40 0 11 50.1 -gcp 0 30 10.05 49 -gcp 40 30 11.1 49.05",
     cmEquiRect},
    {"six control points, utm",
     "-a_srs EPSG:32633 -gcp 0 0 480000 6010000 -gcp 40 0 520500 6010400 -gcp 0 30 480300 5980000 "
     "-gcp 40 30 520000 5979000 -gcp 20 10 500100 6000200 -gcp 9 24 489000 5985500",
     cmProjected},
    {"six control points, pixel is point",
     "-a_srs EPSG:4326 -mo AREA_OR_POINT=Point -gcp 0 0 10 50 -gcp 40 0 11 50.1 -gcp 0 30 10.05 49 "
     "-gcp 40 30 11.1 49.05 -gcp 20 10 10.5 49.7 -gcp 9 24 10.2 49.2",
     cmBiquadraticPn},
};

std::string MakeGeoTiff(const TempDir& dir, const ImportCase& c) {
  const std::string pgm = test::GreyPgm(dir, kWidth, kHeight);
  const std::string tif = dir.File("map.tif");
  if (c.options[0] == '<') {
    const std::string vrt = dir.Write(
        "map.vrt", "<VRTDataset rasterXSize=\"" + std::to_string(kWidth) + "\" rasterYSize=\"" +
                       std::to_string(kHeight) + "\">" + c.options +
                       "<VRTRasterBand dataType=\"Byte\" band=\"1\"><SimpleSource>"
                       "<SourceFilename relativeToVRT=\"1\">grey.pgm</SourceFilename>"
                       "<SourceBand>1</SourceBand></SimpleSource></VRTRasterBand></VRTDataset>");
    Gdal("gdal_translate -q '" + vrt + "' '" + tif + "'");
  } else {
    Gdal("gdal_translate -q " + c.options + " '" + pgm + "' '" + tif + "'");
  }
  return tif;
}

TEST(GeoTiffImport, ConvertsAsGdalTransformDoes) {
  for (const ImportCase& c : kCases) {
    SCOPED_TRACE(c.name);
    const TempDir dir;
    const std::string tif = MakeGeoTiff(dir, c);
    const TImportedMap m = ImportGeoTiff(tif);
    const TMapCalibration& cal = m.Calibration;
    EXPECT_EQ(m.ImageName, tif);
    EXPECT_EQ(cal.Model(), c.model);
    EXPECT_EQ(cal.ImageWidth(), kWidth);
    EXPECT_EQ(cal.ImageHeight(), kHeight);
    if (c.model == cmUTM) {
      EXPECT_EQ(cal.Data().UTMZone, c.zone);
      EXPECT_EQ(cal.Data().UTMSouth, c.south);
    }
    const auto pixels = test::SpreadPixels(kWidth, kHeight);
    const auto gdal = test::GdalTransform(tif, "-t_srs EPSG:4326", pixels);
    ASSERT_EQ(gdal.size(), pixels.size());
    // Both positions are taken back to pixels through our model, so that the
    // difference is measured in pixels whatever the scale of the map.
    double worst = 0;
    for (size_t k = 0; k < pixels.size(); ++k) {
      const TPixelPosition ours = cal.PixelToGeo(pixels[k][0], pixels[k][1]);
      ASSERT_TRUE(ours.Valid());
      double xo = 0, yo = 0, xg = 0, yg = 0;
      ASSERT_TRUE(cal.GeoToPixelExact(ours.Latit, ours.Longit, xo, yo));
      ASSERT_TRUE(cal.GeoToPixelExact(gdal[k][1], gdal[k][0], xg, yg));
      worst = std::max(worst, std::hypot(xo - xg, yo - yg));
    }
    EXPECT_LT(worst, 0.01);
  }
}

// The neatline GDAL keeps in a file's metadata becomes the map's border, in
// pixels: 0.1 degree per pixel from (10 E, 50 N), so the corners below are
// the pixels (5, 5), (30, 5), (30, 20) and (5, 20). Without one there is no
// border.
TEST(GeoTiffImport, NeatlineBecomesTheBorder) {
  const TempDir dir;
  const ImportCase plain{"plain", "-a_srs EPSG:4326 -a_ullr 10 50 14 47", cmEquiRect};
  EXPECT_TRUE(ImportGeoTiff(MakeGeoTiff(dir, plain)).Calibration.Border().empty());
  const ImportCase framed{
      "neatline",
      plain.options + " -mo 'NEATLINE=POLYGON ((10.5 49.5,13 49.5,13 48,10.5 48,10.5 49.5))'",
      cmEquiRect};
  const std::vector<TBorderVertex> border =
      ImportGeoTiff(MakeGeoTiff(dir, framed)).Calibration.Border();
  const double expected[4][2] = {{5, 5}, {30, 5}, {30, 20}, {5, 20}};
  ASSERT_EQ(border.size(), 4u);
  for (size_t k = 0; k < 4; ++k) {
    EXPECT_NEAR(border[k].X, expected[k][0], 1e-9) << k;
    EXPECT_NEAR(border[k].Y, expected[k][1], 1e-9) << k;
  }
}

}  // namespace
}  // namespace marovia
