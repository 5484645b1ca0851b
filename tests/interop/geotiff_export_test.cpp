// Calibrated maps exported as GeoTIFF and judged by GDAL: gdalinfo opens
// every file as a tiled DEFLATE GeoTIFF, and gdaltransform converts its
// pixels as our calibration does: affine exports within 1e-9 degree at 200
// positions; control-point exports of second-order models within 1e-6
// pixel at the grid points under a second-order fit (0.5 pixel between
// them), of thin-plate models within 0.05 pixel at the grid points under a
// thin-plate spline.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <string>

#include "geotiff_oracle.h"
#include "marovia/geomap/geotiff_export.h"
#include "marovia/geomap/geotiff_import.h"
#include "marovia/platform/graphics.h"

namespace marovia {
namespace {

using test::Gdal;
using test::TempDir;

constexpr int kWidth = 300, kHeight = 200;

// A calibration of Model fitted to positions Where(x, y) gives at a 4 x 3
// lattice of pixels (and a few off it, so that no fit is degenerate).
TMapCalibration Calibrated(TCalibModel Model, TCalibData Data,
                           const std::function<std::array<double, 2>(int, int)>& Where) {
  TMapCalibration cal(Model, Data, kWidth, kHeight);
  for (int j = 0; j <= 2; ++j)
    for (int i = 0; i <= 3; ++i) {
      const int x = i * kWidth / 3 - (i == 3), y = j * kHeight / 2 - (j == 2);
      const auto p = Where(x, y);
      cal.AddPoint(p[0], p[1], x, y);
    }
  for (const auto& [x, y] : {std::array<int, 2>{37, 151}, {211, 63}}) {
    const auto p = Where(x, y);
    cal.AddPoint(p[0], p[1], x, y);
  }
  EXPECT_TRUE(cal.Fit()) << cal.FitMessage();
  return cal;
}

const TBitmap& Picture() {
  static TBitmap b;
  if (!b.Empty()) return b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(kWidth, kHeight);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) b.Bits()[y * kWidth + x] = uint32_t(x * 0x010203 + y * 0x0301);
  return b;
}

TCalibData Utm(int Zone, bool South) {
  TCalibData d;
  d.UTMZone = Zone;
  d.UTMSouth = South;
  return d;
}

TCalibData Projected(const std::string& Crs, int Order) {
  TCalibData d;
  d.CrsText = Crs;
  d.PolyOrder = Order;
  return d;
}

struct AffineCase {
  const char* name;
  TCalibModel model;
  TCalibData data;
  std::function<std::array<double, 2>(int, int)> where;  // latitude or northing first
  const char* expect;                                    // in gdalinfo's report
};

TEST(GeoTiffExport, AffineMapsConvertAsGdalTransformDoes) {
  const AffineCase cases[] = {
      {"equirect",
       cmEquiRect,
       {},
       [](int x, int y) {
         return std::array<double, 2>{50.5 - y * 0.004, 10.25 + x * 0.005};
       },
       "Pixel Size = (0.005000000000000,-0.004000000000000)"},
      {"equirect, rotated",
       cmEquiRect,
       {},
       [](int x, int y) {
         return std::array<double, 2>{50.5 - y * 0.004 + x * 0.0007, 10.25 + x * 0.005 + y * 0.001};
       },
       "GEOGCRS[\"WGS 84\""},
      {"utm 33 north", cmUTM, Utm(33, false),
       [](int x, int y) {
         return std::array<double, 2>{6010000.0 - 25 * y, 480000.0 + 25 * x};
       },
       "UTM zone 33N"},
      {"utm 23 south, rotated", cmUTM, Utm(23, true),
       [](int x, int y) {
         return std::array<double, 2>{7400000.0 - 20 * y + 3 * x, 300000.0 + 20 * x + 2 * y};
       },
       "UTM zone 23S"},
      {"mercator, affine", cmProjected, Projected("EPSG:3395", 1),
       [](int x, int y) {
         return std::array<double, 2>{48 - y * 0.01, 2 + x * 0.01};
       },
       "World Mercator"},
  };
  for (const AffineCase& c : cases) {
    SCOPED_TRACE(c.name);
    const TempDir dir;
    const std::string tif = dir.File("out.tif");
    const TMapCalibration cal = Calibrated(c.model, c.data, c.where);
    ExportGeoTiff(cal, Picture(), tif);
    const std::string info = Gdal("gdalinfo '" + tif + "'");
    EXPECT_NE(info.find("Block=256x256"), std::string::npos) << info;
    EXPECT_NE(info.find("COMPRESSION=DEFLATE"), std::string::npos) << info;
    EXPECT_NE(info.find(c.expect), std::string::npos) << info;
    const auto pixels = test::SpreadPixels(kWidth, kHeight);
    const auto gdal = test::GdalTransform(tif, "-t_srs EPSG:4326", pixels);
    ASSERT_EQ(gdal.size(), pixels.size());
    for (size_t k = 0; k < pixels.size(); ++k) {
      const TPixelPosition ours = cal.PixelToGeo(pixels[k][0], pixels[k][1]);
      EXPECT_NEAR(gdal[k][1], ours.Latit, 1e-9) << k;
      EXPECT_NEAR(gdal[k][0], ours.Longit, 1e-9) << k;
    }
  }
}

// The largest distance, in pixels of our model, between gdaltransform's
// positions and ours at the given pixels.
double WorstPixels(const TMapCalibration& cal, const std::string& tif, const std::string& options,
                   const std::vector<std::array<double, 2>>& pixels) {
  const auto gdal = test::GdalTransform(tif, options + " -t_srs EPSG:4326", pixels);
  if (gdal.size() != pixels.size()) return INFINITY;
  double worst = 0;
  for (size_t k = 0; k < pixels.size(); ++k) {
    double x = 0, y = 0;
    if (!cal.GeoToPixelExact(gdal[k][1], gdal[k][0], x, y)) return INFINITY;
    const TPixelPosition ours = cal.PixelToGeo(pixels[k][0], pixels[k][1]);
    double xo = 0, yo = 0;
    if (!cal.GeoToPixelExact(ours.Latit, ours.Longit, xo, yo)) return INFINITY;
    worst = std::max(worst, std::hypot(x - xo, y - yo));
  }
  return worst;
}

struct GridCase {
  const char* name;
  TCalibModel model;
  TCalibData data;
  const char* gdalOptions;
  double atGrid, between;  // tolerances in pixels
};

TEST(GeoTiffExport, ControlPointGridsConvertAsGdalTransformDoes) {
  // A map that no affine map describes: latitude and longitude bend with
  // both pixel axes.
  const auto curved = [](int x, int y) {
    return std::array<double, 2>{50.5 - y * 0.004 + 1e-5 * x * x * 0.1 - 2e-6 * x * y,
                                 10.25 + x * 0.005 + 3e-6 * y * y + 1e-6 * x * y};
  };
  const GridCase cases[] = {
      {"biquadratic", cmBiquadraticPn, {}, "-order 2", 1e-6, 0.5},
      {"mercator, second order", cmProjected, Projected("EPSG:3395", 2), "-order 2", 1e-6, 0.5},
      {"thin plate", cmThinPlate, {}, "-tps", 0.05, 1.0},
  };
  for (const GridCase& c : cases) {
    SCOPED_TRACE(c.name);
    const TempDir dir;
    const std::string tif = dir.File("out.tif");
    const TMapCalibration cal = Calibrated(c.model, c.data, curved);
    ExportGeoTiff(cal, Picture(), tif, 5);
    const std::string info = Gdal("gdalinfo '" + tif + "'");
    EXPECT_NE(info.find("GCP[ 24]"), std::string::npos) << info;
    std::vector<std::array<double, 2>> grid;
    for (int r = 0; r < 5; ++r)
      for (int k = 0; k < 5; ++k) grid.push_back({kWidth * k / 4.0, kHeight * r / 4.0});
    EXPECT_LT(WorstPixels(cal, tif, c.gdalOptions, grid), c.atGrid);
    EXPECT_LT(WorstPixels(cal, tif, c.gdalOptions, test::SpreadPixels(kWidth, kHeight)), c.between);
  }
}

// Our own control-point export imports back onto the same positions at its
// grid points, also for an image whose size the grid does not divide: the
// points sit on whole pixels, where our calibration points are.
TEST(GeoTiffExport, ControlPointGridReadsBackAtItsPoints) {
  const TempDir dir;
  TCalibData data;
  TMapCalibration cal(cmBiquadraticPn, data, 301, 203);
  for (const auto& [x, y] : std::initializer_list<std::array<int, 2>>{
           {0, 0}, {300, 0}, {0, 202}, {300, 202}, {150, 101}, {70, 160}, {230, 40}, {40, 50}})
    cal.AddPoint(50 - y * 0.004 + x * x * 1e-7, 10 + x * 0.005 + y * y * 3e-7, x, y);
  ASSERT_TRUE(cal.Fit());
  TBitmap image;
  image.SetSize(301, 203);
  const std::string tif = dir.File("grid.tif");
  ExportGeoTiff(cal, image, tif, 4);
  const TMapCalibration back = ImportGeoTiff(tif).Calibration;
  for (const double x : {0.0, 100.0, 201.0, 301.0})
    for (const double y : {0.0, 68.0, 135.0, 203.0}) {
      const TPixelPosition a = cal.PixelToGeo(x, y), b = back.PixelToGeo(x, y);
      EXPECT_NEAR(a.Latit, b.Latit, 1e-9) << x << ", " << y;
      EXPECT_NEAR(a.Longit, b.Longit, 1e-9) << x << ", " << y;
    }
}

TEST(GeoTiffExport, FailureLeavesNoFileAndKeepsAnOldOne) {
  const TempDir dir;
  const TMapCalibration cal = Calibrated(cmEquiRect, {}, [](int x, int y) {
    return std::array<double, 2>{50 - y * 0.01, 10 + x * 0.01};
  });
  const std::string fresh = dir.File("fresh.tif");
  const std::string old = dir.Write("old.tif", "old contents");
  TBitmap small;
  small.SetSize(10, 10);
  for (const std::string& file : {fresh, old}) {
    EXPECT_THROW(ExportGeoTiff(cal, Picture(), file, 1), EZYLGeoMapError);
    EXPECT_THROW(ExportGeoTiff(cal, small, file), EZYLGeoMapError);
    EXPECT_THROW(ExportGeoTiff(TMapCalibration(), Picture(), file), EZYLGeoMapError);
  }
  EXPECT_FALSE(std::filesystem::exists(fresh));
  EXPECT_EQ(dir.Read("old.tif"), "old contents");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

}  // namespace
}  // namespace marovia
