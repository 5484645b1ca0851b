// .map files: GDAL's MAP driver is the oracle both ways. Files in each
// projection import so that our conversions agree with gdaltransform on the
// same file; our exports open in GDAL with the same coordinates and import
// again unchanged; datums shift as PROJ shifts with the same parameters;
// damaged lines are refused by number.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "calibration/crs_projection.h"
#include "marovia/geomap/map_file_format.h"
#include "support/gdal_tools.h"
#include "support/temp_dir.h"

namespace marovia {
namespace {

using test::GdalTransform;
using test::SamplePixels;

constexpr int kW = 400;
constexpr int kH = 300;

std::string Minutes(double v, char pos, char neg) {
  const double a = std::fabs(v);
  char b[64];
  std::snprintf(b, sizeof b, "%d,%.10f,%c", static_cast<int>(a), (a - std::floor(a)) * 60,
                v < 0 ? neg : pos);
  return b;
}

// A .map file for map.png with the points of a 3 x 3 grid on the affine
// transform X = X0 + x Sx, Y = Y0 - y Sy in the projection's coordinates;
// Grid writes them as zone/easting/northing, else as degrees (through
// Crs, when given, for a projection in metres).
struct TMapCase {
  const char* Name;
  const char* Projection;
  const char* Setup;
  const char* Crs;  // "" for degrees
  bool Grid;
  int Zone;
  bool South;
  double X0, Y0, Sx, Sy;
  TCalibModel Model;
};

std::string MapText(const TMapCase& c, const char* Datum = "WGS 84") {
  std::string t = std::string(kMapFileSignature) + "\r\nTest\r\nmap.png\r\n1 ,Map Code,\r\n";
  t += std::string(Datum) + ",WGS 84,   0.0000,   0.0000,WGS 84\r\nReserved 1\r\nReserved 2\r\n";
  t += "Magnetic Variation,,,E\r\nMap Projection," + std::string(c.Projection) +
       ",PolyCal,No,AutoCalOnly,No,BSBUseWPX,No\r\n";
  int n = 0;
  char b[256];
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < 3; ++i) {
      const int x = i * kW / 2, y = j * kH / 2;
      const double X = c.X0 + x * c.Sx, Y = c.Y0 - y * c.Sy;
      std::snprintf(b, sizeof b, "Point%02d,xy,%d,%d,in, deg,", ++n, x, y);
      std::string line = b;
      if (c.Grid) {
        std::snprintf(b, sizeof b, ",,N,,,E, grid,%d,%.6f,%.6f,%c", c.Zone, X, Y,
                      c.South ? 'S' : 'N');
        line += b;
      } else {
        double lat = Y, lon = X;
        if (*c.Crs) {
          EXPECT_TRUE(TCrsProjection(c.Crs).Inverse(X, Y, lat, lon));
        }
        line += Minutes(lat, 'N', 'S') + "," + Minutes(lon, 'E', 'W') + ", grid,  ,  ,  ,N";
      }
      t += line + "\r\n";
    }
  for (; n < 30; ++n) {
    std::snprintf(b, sizeof b, "Point%02d,xy,,,in, deg,,,N,,,E, grid,,,,N\r\n", n + 1);
    t += b;
  }
  t += "Projection Setup," + std::string(c.Setup) + "\r\n";
  t += "MM0,Yes\r\nMMPNUM,4\r\nMMPXY,1,0,0\r\nMMPXY,2,400,0\r\nMMPXY,3,400,300\r\n"
       "MMPXY,4,0,300\r\nIWH,Map Image Width/Height,400,300\r\n";
  return t;
}

const TMapCase kCases[] = {
    {"geographic", "Latitude/Longitude", ",,,,,,,,,", "", false, 0, false, 5, 48, 0.005, 0.004,
     cmEquiRect},
    {"utm_north", "(UTM) Universal Transverse Mercator", ",,,,,,,,,", "", true, 32, false, 400000,
     5300000, 50, 40, cmUTM},
    {"utm_south", "(UTM) Universal Transverse Mercator", ",,,,,,,,,", "", true, 33, true, 300000,
     7000000, 50, 40, cmUTM},
    {"mercator", "Mercator", "0,0,1,0,0,,,,,", "+proj=merc +datum=WGS84", false, 0, false, 800000,
     5900000, 250, 250, cmProjected},
    {"lcc", "Lambert Conformal Conic", "39,-96,1,0,0,33,45,,,",
     "+proj=lcc +lat_1=33 +lat_2=45 +lat_0=39 +lon_0=-96 +datum=WGS84", false, 0, false, -50000,
     40000, 250, 250, cmProjected},
};

class MapFiles : public ::testing::TestWithParam<TMapCase> {
 protected:
  void SetUp() override { test::GdalBlankImage(dir.File("map.png"), kW, kH, "-of PNG"); }
  test::TempDir dir;
};

TEST_P(MapFiles, ImportAgreesWithGdaltransformOfTheSameFile) {
  const std::string file = dir.Write("map.map", MapText(GetParam()));
  const TImportedMap imported = ImportMapFile(file);
  EXPECT_EQ(imported.Calibration.Model(), GetParam().Model);
  EXPECT_EQ(imported.ImageName, dir.File("map.png"));
  EXPECT_TRUE(imported.Calibration.Border().empty());  // the outline is no border
  const auto pixels = SamplePixels(kW, kH);
  const auto geo = GdalTransform(file, "-t_srs EPSG:4326", pixels);
  ASSERT_EQ(geo.size(), pixels.size());
  for (size_t i = 0; i < pixels.size(); ++i) {
    double x = 0, y = 0;
    ASSERT_TRUE(imported.Calibration.GeoToPixelExact(geo[i][1], geo[i][0], x, y));
    EXPECT_NEAR(x, pixels[i][0], 0.01) << i;
    EXPECT_NEAR(y, pixels[i][1], 0.01) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Projections, MapFiles, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.Name); });

// Exports of the imported equirect and UTM maps: GDAL reads the same
// positions, and our import of the export converts as the original.
TEST(MapFileExport, GdalReadsOurExportAndItImportsUnchanged) {
  for (int c : {0, 1, 2}) {
    SCOPED_TRACE(kCases[c].Name);
    test::TempDir dir;
    test::GdalBlankImage(dir.File("map.png"), kW, kH, "-of PNG");
    const TMapCalibration cal = ImportMapFile(dir.Write("in.map", MapText(kCases[c]))).Calibration;
    const std::string out = dir.File("out.map");
    ExportMapFile(cal, out, "map.png");
    const test::CommandResult info = test::RunCommand("gdalinfo '" + out + "'");
    ASSERT_EQ(info.Status, 0) << info.Err;
    EXPECT_NE(info.Out.find("Driver: MAP"), std::string::npos);
    const auto pixels = SamplePixels(kW, kH);
    const auto geo = GdalTransform(out, "-t_srs EPSG:4326", pixels);
    const TMapCalibration again = ImportMapFile(out).Calibration;
    EXPECT_EQ(again.Model(), cal.Model());
    ASSERT_EQ(geo.size(), pixels.size());
    for (size_t i = 0; i < pixels.size(); ++i) {
      const TPixelPosition p = cal.PixelToGeo(pixels[i][0], pixels[i][1]);
      const TPixelPosition q = again.PixelToGeo(pixels[i][0], pixels[i][1]);
      EXPECT_NEAR(geo[i][0], p.Longit, 1e-9) << i;
      EXPECT_NEAR(geo[i][1], p.Latit, 1e-9) << i;
      EXPECT_NEAR(q.Longit, p.Longit, 1e-9) << i;
      EXPECT_NEAR(q.Latit, p.Latit, 1e-9) << i;
    }
  }
}

// Positions on another datum are shifted to WGS 84 with the table's
// parameters: PROJ's cs2cs with the same seven numbers is the oracle. The
// shift is not quite affine over the map, so the equirect fit through the
// shifted points meets them within centimetres (1e-6 degrees).
TEST(MapFileImport, DatumShiftAgreesWithProjUsingTheSameParameters) {
  const TMapCase& c = kCases[0];
  const TMapCalibration cal =
      ParseMapFile(MapText(c, "European 1950"), "ed50.map", kW, kH).Calibration;
  const test::CommandResult r = test::RunCommand(
      "cs2cs -f %.12f +proj=longlat +ellps=intl +towgs84=-87,-98,-121 +to +proj=longlat "
      "+datum=WGS84",
      "5 48\n6 47.4\n");
  ASSERT_EQ(r.Status, 0) << r.Err;
  double lon[2], lat[2];
  ASSERT_EQ(std::sscanf(r.Out.c_str(), "%lf %lf %*f %lf %lf", &lon[0], &lat[0], &lon[1], &lat[1]),
            4);
  const double px[2][2] = {{0, 0}, {200, 150}};
  for (int i = 0; i < 2; ++i) {
    const TPixelPosition p = cal.PixelToGeo(px[i][0], px[i][1]);
    EXPECT_NEAR(p.Longit, lon[i], 1e-6);
    EXPECT_NEAR(p.Latit, lat[i], 1e-6);
  }
}

TEST(MapFileImport, BorderPolygonBecomesTheCalibrationsBorder) {
  std::string text = MapText(kCases[0]);
  const std::string outline =
      "MMPNUM,4\r\nMMPXY,1,0,0\r\nMMPXY,2,400,0\r\nMMPXY,3,400,300\r\n"
      "MMPXY,4,0,300\r\n";
  text.replace(text.find(outline), outline.size(),
               "MMPNUM,5\r\nMMPXY,1,20,10\r\nMMPXY,2,380,12\r\nMMPXY,3,390,290\r\n"
               "MMPXY,4,200,295\r\nMMPXY,5,15,280\r\n");
  const TMapCalibration cal = ParseMapFile(text, "b.map", kW, kH).Calibration;
  const std::vector<TBorderVertex> expected = {
      {20, 10}, {380, 12}, {390, 290}, {200, 295}, {15, 280}};
  EXPECT_EQ(cal.Border(), expected);
}

TEST(MapFileImport, DamagedLinesAreRefusedByNumber) {
  const std::string valid = MapText(kCases[0]);
  const std::string point1 =
      valid.substr(valid.find("Point01"), valid.find("\r\nPoint02") - valid.find("Point01"));
  const struct {
    std::string From, To, Where;
  } kPatches[] = {
      {std::string(kMapFileSignature), "Some other file", "d.map:1"},
      {"WGS 84,WGS", "Nowhere 1900,WGS", "d.map:5"},
      {point1, "Point01,xy,0,0,in, deg,48,x,N,5,0,E, grid,  ,  ,  ,N", "d.map:10"},
      {point1, "Point01,xy,0,0,in, deg,48,0,N", "d.map:10"},
      {point1, "Point01,xy,0,0,in, deg,95,0,N,5,0,E, grid,  ,  ,  ,N", "d.map:10"},
      {"MMPXY,2,400,0", "MMPXY,2,400", "d.map:"},
      {"IWH,Map Image Width/Height,400,300", "IWH,Map Image Width/Height,-4,300", "d.map:"},
  };
  for (const auto& p : kPatches) {
    std::string text = valid;
    text.replace(text.find(p.From), p.From.size(), p.To);
    try {
      ParseMapFile(text, "d.map", kW, kH);
      ADD_FAILURE() << "accepted: " << p.To;
    } catch (const EZYLGeoMapError& e) {
      EXPECT_NE(std::string(e.what()).find(p.Where), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace marovia
