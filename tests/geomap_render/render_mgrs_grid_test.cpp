// The MGRS grid over generated equirectangular maps, whose pixel of a
// position is known exactly: its lines fall where the UTM inverse puts
// their grid coordinates, stop at the zones' boundaries, go finer as the
// scale allows, and the 100 km squares carry their letters.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "marovia/geobasics/mgrs.h"
#include "marovia/geobasics/utm.h"
#include "marovia/platform/pngimage.h"
#include "render_fixture.h"

namespace marovia::test {
namespace {

constexpr TColor kGrid = clBlue;

// Kept in the output folder for a person to look at.
void SaveView(const TGeoMap& Map, const std::string& Name) {
  std::filesystem::create_directories(MAROVIA_TEST_OUTPUT_DIR);
  TPngImage png;
  png.Assign(Map.Surface());
  png.SaveToFile(std::string(MAROVIA_TEST_OUTPUT_DIR) + "/" + Name);
}

// A view of a W x H generated map of latitudes Lat0..Lat1 and longitudes
// Lon0..Lon1 at magnification 1.
struct GridView {
  GridView(int W, int H, double Lat0, double Lon0, double Lat1, double Lon1)
      : v(W + 20, H + 20), w(W), h(H), lat0(Lat0), lon0(Lon0), lat1(Lat1), lon1(Lon1) {
    v.map.SetColorGraticule(kGrid);
    v.map.CreateEmptyMapInMemory(Lat0, Lon0, Lat1, Lon1, 1, 1, W, H, false, nullptr);
  }
  // The view pixel of a position.
  void Pixel(double Lat, double Lon, int& x, int& y) const {
    x = static_cast<int>(std::lround((Lon - lon0) / (lon1 - lon0) * w));
    y = static_cast<int>(std::lround((lat1 - Lat) / (lat1 - lat0) * h));
  }
  // Whether the grid colour is within one pixel of the position.
  bool GridNear(double Lat, double Lon) const {
    int x = 0, y = 0;
    Pixel(Lat, Lon, x, y);
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx)
        if (x + dx >= 0 && y + dy >= 0 && x + dx < w && y + dy < h && v.At(x + dx, y + dy) == kGrid)
          return true;
    return false;
  }
  MapView v;
  int w, h;
  double lat0, lon0, lat1, lon1;
};

TEST(RenderMGRSGrid, HundredKilometreLinesLieOnTheirGridCoordinatesAndStopAtZoneBoundaries) {
  GridView g(300, 200, 40, 10, 50, 20);
  EXPECT_EQ(g.v.Count(kGrid), 0);
  g.v.map.SetShowMGRSGrid(true);
  ASSERT_GT(g.v.Count(kGrid), 0);
  // Zone 33's lines of easting 400 and 500 km and northing 4800 km, point
  // by point along them (inside the zone, 12 E to 18 E).
  for (int k = 0; k <= 20; ++k) {
    double lat = 0, lon = 0;
    UTMToLatLong(400000, 4500000 + 25000.0 * k, 33, false, gelWGS84, lat, lon);
    EXPECT_TRUE(!(lat > 40.2 && lat < 49.8) || g.GridNear(lat, lon)) << lat << ", " << lon;
    UTMToLatLong(500000, 4500000 + 25000.0 * k, 33, false, gelWGS84, lat, lon);
    EXPECT_TRUE(!(lat > 40.2 && lat < 49.8) || g.GridNear(lat, lon)) << lat << ", " << lon;
    UTMToLatLong(300000 + 15000.0 * k, 4800000, 33, false, gelWGS84, lat, lon);
    EXPECT_TRUE(!(lon > 12.05 && lon < 17.95) || g.GridNear(lat, lon)) << lat << ", " << lon;
  }
  // Zone 32's easting 800 km would run east of 12 E, inside zone 33: it
  // ends at the boundary. Checked where no line of zone 33 passes within 3
  // pixels (2.6 km a pixel here).
  int checked = 0;
  for (double lat = 40.5; lat < 49.5; lat += 0.25) {
    double e = 0, n = 0;
    LatLongToUTMInZone(lat, 12.0, 32, false, gelWGS84, e, n);
    double la = 0, lo = 0;
    UTMToLatLong(800000, n, 32, false, gelWGS84, la, lo);
    ASSERT_GT(lo, 12.3);
    double e33 = 0, n33 = 0;
    LatLongToUTMInZone(la, lo, 33, false, gelWGS84, e33, n33);
    const auto apart = [](double v) { return std::fabs(std::remainder(v, 100000.0)); };
    if (apart(e33) < 8000 || apart(n33) < 8000) continue;
    int x = 0, y = 0;
    g.Pixel(la, lo, x, y);
    EXPECT_NE(g.v.At(x, y), kGrid) << la << ", " << lo;
    ++checked;
  }
  EXPECT_GT(checked, 5);
  // 100 km squares are about 38 pixels wide here: no letters, no finer
  // lines (a 10 km line would be 4 pixels from the next).
  SaveView(g.v.map, "mgrs_grid_100km.png");
  g.v.map.SetShowMGRSGrid(false);
  EXPECT_EQ(g.v.Count(kGrid), 0);
}

TEST(RenderMGRSGrid, FinerLinesAndLettersWhereTheScaleAllows) {
  // About 130 m a pixel: 10 km lines 77 pixels apart, squares wider than
  // the view.
  GridView g(600, 400, 45, 13.9, 46, 14.9);
  g.v.map.SetShowMGRSGrid(true);
  // The 10 km lines of zone 33 over the map.
  int checked = 0;
  for (double e = 380000; e <= 500000; e += 10000) {
    for (double n = 4980000; n <= 5110000; n += 5000) {
      double lat = 0, lon = 0;
      UTMToLatLong(e, n, 33, false, gelWGS84, lat, lon);
      if (lat < 45.02 || lat > 45.98 || lon < 13.92 || lon > 14.88) continue;
      EXPECT_TRUE(g.GridNear(lat, lon)) << e << ", " << n;
      ++checked;
    }
  }
  EXPECT_GT(checked, 20);
  // A 1 km line is not drawn (8 pixels from the next).
  double lat = 0, lon = 0;
  UTMToLatLong(445000 + 1000, 5040000 + 5000, 33, false, gelWGS84, lat, lon);
  int x = 0, y = 0;
  g.Pixel(lat, lon, x, y);
  EXPECT_NE(g.v.At(x, y), kGrid);
  // The letters of the square at the map's centre are drawn about it.
  const std::string ref = LatLongToMGRS(45.5, 14.4, 0);
  double clat = 0, clon = 0;
  int digits = 0;
  ASSERT_TRUE(MGRSToLatLong(ref, gelWGS84, clat, clon, digits));
  g.Pixel(clat, clon, x, y);
  ASSERT_TRUE(x > 20 && x < 580 && y > 20 && y < 380) << ref;
  int ink = 0;
  for (int dy = -8; dy <= 8; ++dy)
    for (int dx = -12; dx <= 12; ++dx) ink += g.v.At(x + dx, y + dy) == kGrid;
  EXPECT_GT(ink, 10) << "no letters at the centre of " << ref;
  SaveView(g.v.map, "mgrs_grid_10km.png");
}

}  // namespace
}  // namespace marovia::test
