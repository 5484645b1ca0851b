// Exports that carry points: what the export promises a reader will see is
// what GDAL, reading the file, sees. Every sample map is exported as a .map
// file and read back through gdaltransform over 200 pixels; the largest
// error GDAL makes (in metres, geodesics on WGS 84) stays within the
// printed one, and an export said to be exact is exact. The reader's polynomial is checked on its
// own against polynomials it must reproduce.
#include <gtest/gtest.h>

#include <GeographicLib/Geodesic.hpp>
#include <cmath>
#include <fstream>
#include <iterator>

#include "calibration/crs_projection.h"
#include "interop/read_back.h"
#include "marovia/geomap/map_file_format.h"
#include "marovia/geomap/map_source.h"
#include "marovia/geomap/vrt_export.h"
#include "support/gdal_tools.h"
#include "support/temp_dir.h"

namespace marovia {
namespace {

// The largest distance in metres between the calibration's positions of
// SamplePixels and those gdaltransform gives them.
double GdalReadBackMetres(const TMapCalibration& Cal, const std::string& File) {
  const auto pixels = test::SamplePixels(Cal.ImageWidth(), Cal.ImageHeight());
  const auto geo = test::GdalTransform(File, "-t_srs EPSG:4326", pixels);
  double worst = 0;
  for (std::size_t i = 0; i < geo.size() && i < pixels.size(); ++i) {
    const TPixelPosition p = Cal.PixelToGeo(pixels[i][0], pixels[i][1]);
    if (!p.Valid()) continue;
    double m = 0;
    GeographicLib::Geodesic::WGS84().Inverse(p.Latit, p.Longit, geo[i][1], geo[i][0], m);
    worst = std::max(worst, m);
  }
  return worst;
}

struct TSampleCase {
  const char* Name;
  bool Exact;
  double MaxPixels;  // what the export may promise at most
};

// Before the frames and layouts were chosen, the Europe map read back up to
// 94 pixels off; the bounds here are what the chosen exports reach.
const TSampleCase kSamples[] = {
    {"alps_eqc", true, 0},          {"switzerland_eqc", true, 0},
    {"zurich_utm32", true, 0},      {"europe_lcc", false, 10},
    {"overview_miller", false, 30}, {"british_isles_albers", false, 1.5},
    {"iberia_stereo", true, 0},  // second order in latitude/longitude, as readers fit
};

TEST(MapFileReadBack, GdalSeesWhatTheExportPromises) {
  for (const TSampleCase& c : kSamples) {
    SCOPED_TRACE(c.Name);
    const auto source = TMapSource::Open(std::string(MAROVIA_SAMPLE_ATLAS) + "/" + c.Name + ".xml");
    const TMapCalibration& cal = source->Calibration();
    test::TempDir dir;
    const std::string file = dir.File("out.map");
    const TReadBackError e = ExportMapFile(cal, file, source->ImageFile());
    EXPECT_EQ(e.Exact, c.Exact) << ReadBackNote(e);
    EXPECT_EQ(ReadBackNote(e).empty(), c.Exact);
    EXPECT_LE(e.MaxPixels, c.Exact ? 1e-3 : c.MaxPixels);
    EXPECT_LE(e.RmsPixels, e.MaxPixels);
    const double gdal = GdalReadBackMetres(cal, file);
    // GDAL's points lie on the grid the export measured or between its
    // nodes: it may not stray further than promised (beyond rounding),
    // and it meets the promise's order.
    EXPECT_LE(gdal, e.MaxMetres * 1.05 + 0.01) << ReadBackNote(e);
    if (!c.Exact) {
      EXPECT_GE(gdal, e.MaxMetres * 0.5) << ReadBackNote(e);
    }
    // A virtual raster of the same map, whose 5 x 5 GCPs GDAL reads the
    // same way.
    const std::string vrt = dir.File("out.vrt");
    const TReadBackError v = ExportVrt(cal, vrt, source->ImageFile());
    const double gdalVrt = GdalReadBackMetres(cal, vrt);
    EXPECT_LE(gdalVrt, v.MaxMetres * 1.05 + 0.01) << ReadBackNote(v);
    EXPECT_GE(gdalVrt, v.MaxMetres * 0.5 - 0.01) << ReadBackNote(v);
  }
}

// A projected map of order 1 and 2 in a CRS the format names is written
// under that projection, and GDAL reads it exactly.
TEST(MapFileReadBack, NamedProjectionsAreExact) {
  struct TCase {
    const char* Crs;
    int Order;
    const char* Projection;
  };
  // (a CRS the format cannot name is covered by the sample maps above)
  const TCase cases[] = {
      {"+proj=lcc +lat_1=40 +lat_2=62 +lat_0=52 +lon_0=10 +datum=WGS84 +units=m", 1,
       "Lambert Conformal Conic"},
      {"+proj=tmerc +lat_0=0 +lon_0=10 +k=1 +x_0=500000 +datum=WGS84 +units=m", 2,
       "Transverse Mercator"},
      {"+proj=aea +lat_1=50 +lat_2=58 +lat_0=54 +lon_0=-4 +datum=WGS84 +units=m", 1,
       "Albers Equal Area"},
  };
  test::TempDir dir;
  test::GdalBlankImage(dir.File("map.png"), 800, 600, "-of PNG");
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Crs);
    // Points of a map of 800 x 600 pixels, 1 km a pixel, placed through
    // the CRS (with a slight quadratic warp for order 2).
    TMapCalibration fitted;
    fitted.SetModel(cmProjected);
    fitted.Data().CrsText = c.Crs;
    fitted.Data().PolyOrder = c.Order;
    fitted.SetImageSize(800, 600);
    const TCrsProjection crs(c.Crs);
    std::vector<TControlPoint> points;
    for (int j = 0; j <= 4; ++j)
      for (int i = 0; i <= 4; ++i) {
        const double x = i * 200.0, y = j * 150.0;
        const double warp = c.Order == 2 ? 0.02 * (x - 400) * (y - 300) : 0;
        const double e = (c.Order == 2 ? 500000 : 0) + x * 1000 + warp;
        const double n = (c.Order == 2 ? 5e6 : 0) - y * 1000;
        double lat = 0, lon = 0;
        ASSERT_TRUE(crs.Inverse(e, n, lat, lon));
        points.push_back({x, y, lat, lon});
      }
    fitted.SetControlPoints(points);
    ASSERT_TRUE(fitted.Fit()) << fitted.FitMessage();
    const TReadBackError e = ExportMapFile(fitted, dir.File("out.map"), "map.png");
    std::ifstream in(dir.File("out.map"));
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(e.Exact) << ReadBackNote(e);
    EXPECT_NE(text.find(std::string("Map Projection,") + c.Projection), std::string::npos);
    EXPECT_LT(GdalReadBackMetres(fitted, dir.File("out.map")), 0.01);
  }
}

// The reader's polynomial reproduces polynomials of its order from exactly
// enough points and from many, far from the origin as large images put
// them.
TEST(PolynomialFit, ReproducesPolynomialsOfItsOrder) {
  for (int order = 1; order <= 3; ++order) {
    auto f = [&](double x, double y) {
      std::array<double, 2> v{3 + 0.5 * x - 0.25 * y, -7 + 0.125 * x + 2 * y};
      if (order >= 2) v[0] += 1e-5 * x * y - 3e-6 * y * y, v[1] += 2e-6 * x * x;
      if (order >= 3) v[0] += 1e-10 * x * x * y, v[1] -= 3e-11 * y * y * y;
      return v;
    };
    for (int n : {order + 1, 9}) {
      std::vector<interop::TPolynomialFit::TPair> px, val;
      for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
          px.push_back({20000 + i * 1000.0 + j, 50000 + j * 800.0});
          val.push_back(f(px.back()[0], px.back()[1]));
        }
      const interop::TPolynomialFit fit(order, px, val);
      ASSERT_TRUE(fit.Ok());
      for (const auto& p : {std::array<double, 2>{20500, 50300}, {27000, 55000}}) {
        const auto got = fit(p[0], p[1]), want = f(p[0], p[1]);
        EXPECT_NEAR(got[0], want[0], 1e-6 * (1 + std::fabs(want[0]))) << order << " " << n;
        EXPECT_NEAR(got[1], want[1], 1e-6 * (1 + std::fabs(want[1]))) << order << " " << n;
      }
    }
  }
  // Too few points for the order, or all on one line: unusable.
  EXPECT_FALSE(interop::TPolynomialFit(2, {{0, 0}, {1, 0}, {0, 1}}, {{0, 0}, {1, 0}, {0, 1}}).Ok());
  EXPECT_FALSE(
      interop::TPolynomialFit(1, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}, {{0, 0}, {1, 0}, {0, 1}, {2, 2}})
          .Ok());
}

}  // namespace
}  // namespace marovia
