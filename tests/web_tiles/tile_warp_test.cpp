// Warping tiles from calibrated maps: positions and colours against what
// the tile's own geometry says, the mesh against exact conversion on the
// sample maps, and the quilting of two maps.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "marovia/geoatlas/atlas_tiles.h"
#include "marovia/geomap/calxml.h"
#include "marovia/geomap/tile_store.h"
#include "marovia/geomap/web_tiles.h"
#include "marovia/platform/graphics.h"
#include "marovia/platform/image_pyramid.h"
#include "marovia/platform/imageprobe.h"
#include "marovia/platform/jpeg.h"

namespace marovia {
namespace {

constexpr int kN = kWebTileSize;

// Tile pixel centres worked out here, apart from the library.
double PixelLongitude(const TTileId& t, int col) {
  return (t.X + (col + 0.5) / kN) / std::ldexp(1.0, t.Z) * 360.0 - 180.0;
}
double PixelLatitude(const TTileId& t, int row) {
  const double y = (t.Y + (row + 0.5) / kN) / std::ldexp(1.0, t.Z);
  return std::atan(std::sinh(std::numbers::pi * (1 - 2 * y))) * 180 / std::numbers::pi;
}
TTileId TileAt(double Lat, double Lon, int Z) {
  const double n = std::ldexp(1.0, Z), phi = Lat * std::numbers::pi / 180;
  return {Z, static_cast<int>((Lon + 180) / 360 * n),
          static_cast<int>((1 - std::asinh(std::tan(phi)) / std::numbers::pi) / 2 * n)};
}

TEST(WebTileGrid, KnownTilesAndLevels) {
  struct Row {
    double Lat, Lon;
    int Z, X, Y;
  } rows[] = {{0.1, 0.1, 1, 1, 0},
              {-0.1, -0.1, 1, 0, 1},
              {85.0, -179.9, 3, 0, 0},
              {47.3769, 8.5417, 10, 536, 358},
              {-33.86, 151.21, 12, 3768, 2457}};
  for (const Row& r : rows) {
    const TTileRange range = TilesCovering({r.Lon, r.Lat, r.Lon + 1e-9, r.Lat + 1e-9}, r.Z);
    EXPECT_EQ(range.X0, r.X) << r.Lat << " " << r.Lon;
    EXPECT_EQ(range.Y0, r.Y) << r.Lat << " " << r.Lon;
    const TTileId t = TileAt(r.Lat, r.Lon, r.Z);
    EXPECT_EQ(t, (TTileId{r.Z, r.X, r.Y}));
  }
  // A box whose edges lie on tile edges touches only the tiles inside.
  EXPECT_EQ(TilesCovering(TileBounds({4, 3, 5}), 4).Count(), 1);
  // Levels by resolution: 152.87 m is the equator's pixel at level 10.
  EXPECT_EQ(NearestZoom(152.87, 0), 10);
  EXPECT_EQ(NearestZoom(152.87 * 1.3, 0), 10);
  EXPECT_EQ(NearestZoom(152.87 * 1.6, 0), 9);
  EXPECT_EQ(NearestZoom(152.87 / 2, 60), 10);  // pixels shrink with the cosine
  EXPECT_EQ(NearestZoom(0, 0), 0);
}

// A 256 x 256 equirect map of 8..10 E, 46..48 N whose pixel (x, y) has red
// x and green y: every colour of a tile tells where it was taken from.
struct TGradientMap {
  TBitmap Image{256, 256};
  TMapCalibration Calib;
  std::shared_ptr<const TImagePyramid> Levels;
  explicit TGradientMap(double West = 8, double East = 10) {
    for (int y = 0; y < 256; ++y) {
      uint32_t* row = Image.ScanLine(y);
      for (int x = 0; x < 256; ++x) row[x] = static_cast<uint32_t>(x << 16 | y << 8 | 0x80);
    }
    Calib = TMapCalibration(cmEquiRect, TCalibData{}, 256, 256);
    Calib.AddPoint(48, West, 0, 0);
    Calib.AddPoint(48, East, 256, 0);
    Calib.AddPoint(46, West, 0, 256);
    Calib.AddPoint(46, East, 256, 256);
    EXPECT_TRUE(Calib.Fit());
    Levels = TImagePyramid::FromBitmap(Image);
  }
};

TEST(TileWarp, ColoursComeFromWhereTheTilePixelLies) {
  // Levels that enlarge the map 3 times (interpolated), about as is, and
  // shrink it 1.4 and 2.8 times (averaged, the last from the halved level).
  const TGradientMap map;
  const TTileWarper warper(map.Calib, *map.Levels);
  for (const int z : {9, 8, 7, 6}) {
    const TTileId tile = TileAt(47.0, 9.0, z);
    TTileRgba rgba;
    ASSERT_GT(warper.Warp(tile, rgba), 0) << z;
    int checked = 0;
    for (int row = 0; row < kN; ++row)
      for (int col = 0; col < kN; ++col) {
        const double x = (PixelLongitude(tile, col) - 8) / 2 * 256;
        const double y = (48 - PixelLatitude(tile, row)) / 2 * 256;
        const uint8_t* p = &rgba[(static_cast<size_t>(row) * kN + col) * 4];
        if (x < -0.01 || x > 256.01 || y < -0.01 || y > 256.01) {
          EXPECT_EQ(p[3], 0) << "z" << z << " outside at " << col << "," << row;
          continue;
        }
        if (x < 0.01 || x > 255.99 || y < 0.01 || y > 255.99) continue;
        EXPECT_EQ(p[3], 255);
        if (x < 4 || x > 252 || y < 4 || y > 252) continue;  // edges repeat
        // The value at a position is that of the pixel centre there, also
        // for averages of the linear ramp.
        EXPECT_NEAR(p[0], x - 0.5, 1.01) << "z" << z << " " << col << "," << row;
        EXPECT_NEAR(p[1], y - 0.5, 1.01) << "z" << z << " " << col << "," << row;
        EXPECT_EQ(p[2], 0x80);
        ++checked;
      }
    EXPECT_GT(checked, 100) << z;
  }
}

// A map of 176 E to 176 W: one box east beyond 180, tiles on both edges of
// the grid, each coloured from its side of the map.
TEST(TileWarp, MapAcross180DegreesFillsTilesOnBothEdgesOfTheGrid) {
  const TGradientMap map(176, 184);
  const TTileWarper warper(map.Calib, *map.Levels);
  EXPECT_NEAR(warper.Bounds().West, 176, 0.1);
  EXPECT_NEAR(warper.Bounds().East, 184, 0.1);
  const int z = 6;
  const std::vector<TTileRange> ranges = TileRangesCovering(warper.Bounds(), z);
  ASSERT_EQ(ranges.size(), 2u);
  EXPECT_EQ(ranges[0].X1, (1 << z) - 1);
  EXPECT_EQ(ranges[1].X0, 0);
  for (const double lon : {179.0, -179.0}) {
    const TTileId tile = TileAt(47.0, lon, z);
    TTileRgba rgba;
    ASSERT_GT(warper.Warp(tile, rgba), 0) << lon;
    // The pixel at 47 N on the tile's middle column, by its red (the map's x).
    const int col = kN / 2;
    const double x = std::fmod(PixelLongitude(tile, col) - 176 + 360, 360) / 8 * 256;
    int row = 0;
    while (row < kN - 1 && PixelLatitude(tile, row) > 47) ++row;
    const uint8_t* p = &rgba[(static_cast<size_t>(row) * kN + col) * 4];
    EXPECT_EQ(p[3], 255) << lon;
    EXPECT_NEAR(p[0], x - 0.5, 1.01) << lon;
  }
}

TEST(TileWarp, BorderPolygonAndFilledPixelsStayAsTheyWere) {
  TGradientMap map;
  map.Calib.SetBorder({{64, 64}, {192, 64}, {192, 192}, {64, 192}});
  const TTileWarper warper(map.Calib, *map.Levels);
  const TTileId tile = TileAt(47.0, 9.0, 7);
  TTileRgba rgba(size_t{kN} * kN * 4, 0);
  rgba[3] = 255;  // pixel (0, 0) filled before: kept
  rgba[0] = 7;
  warper.Warp(tile, rgba);
  EXPECT_EQ(rgba[0], 7);
  for (int row = 0; row < kN; row += 3)
    for (int col = 0; col < kN; col += 3) {
      if (row == 0 && col == 0) continue;
      const double x = (PixelLongitude(tile, col) - 8) / 2 * 256;
      const double y = (48 - PixelLatitude(tile, row)) / 2 * 256;
      const bool inside = x > 64 && x < 192 && y > 64 && y < 192;
      if (std::fabs(x - 64) < 0.1 || std::fabs(x - 192) < 0.1 || std::fabs(y - 64) < 0.1 ||
          std::fabs(y - 192) < 0.1)
        continue;
      EXPECT_EQ(rgba[(static_cast<size_t>(row) * kN + col) * 4 + 3], inside ? 255 : 0)
          << col << "," << row;
    }
}

// The calibration of a sample map, fitted for its image's size.
TMapCalibration SampleCalibration(const std::string& Name) {
  const std::string dir = MAROVIA_SAMPLE_ATLAS;
  TCalibData data;
  TCalibModel model = cmUndefined;
  EXPECT_TRUE(ParseCalibData(dir + "/" + Name + ".xml", "", data, model));
  int64_t w = 0, h = 0;
  EXPECT_TRUE(ReadImageDimensions(dir + "/" + Name + ".jpg", w, h));
  TMapCalibration calib(model, data, static_cast<int32_t>(w), static_cast<int32_t>(h));
  calib.Fit();
  return calib;
}

TEST(TileWarp, MeshStaysWithinATenthOfAPixelOfExactOnEveryModel) {
  TBitmap pixels(600, 600);  // only its levels are used: the scale of the tile
  for (const char* name : {"alps_eqc", "british_isles_albers", "europe_lcc", "iberia_stereo",
                           "overview_miller", "zurich_utm32"}) {
    const TMapCalibration calib = SampleCalibration(name);
    ASSERT_TRUE(calib.Converts()) << name;
    const auto levels = TImagePyramid::FromBitmap(pixels);
    const TTileWarper warper(calib, *levels);
    const TGeoBounds b = warper.Bounds();
    const double lat = (b.North + b.South) / 2, lon = (b.West + b.East) / 2;
    // The map's own level and the one below: the map is sampled at level 0
    // of its pixels (tile pixels at most twice the map's).
    const int native = NearestZoom(calib.Data().Resolution, lat);
    for (const int z : {native, native + 1}) {
      for (const auto& [dLat, dLon] : {std::pair{0.0, 0.0}, {0.25, -0.25}, {-0.3, 0.3}}) {
        const TTileId tile =
            TileAt(lat + dLat * (b.North - b.South), lon + dLon * (b.East - b.West), z);
        std::vector<double> mx(kN * kN), my(kN * kN), ex(kN * kN), ey(kN * kN);
        std::vector<uint8_t> mok(kN * kN), eok(kN * kN);
        warper.MapPositions(tile, false, mx, my, mok);
        warper.MapPositions(tile, true, ex, ey, eok);
        double worst = 0;
        for (size_t i = 0; i < mx.size(); ++i) {
          ASSERT_EQ(mok[i], eok[i]) << name;
          if (eok[i]) worst = std::max(worst, std::hypot(mx[i] - ex[i], my[i] - ey[i]));
        }
        EXPECT_LT(worst, 0.1) << name << " z" << z;
      }
    }
  }
}

// Solid maps: A (finer, red) over 8..10 E, B (coarser, blue) from BWest.
struct TTwoMaps {
  TBitmap Red{256, 256}, Blue{128, 128};
  TAtlasTiles Atlas;
  explicit TTwoMaps(double BWest) {
    for (int y = 0; y < 256; ++y)
      for (int x = 0; x < 256; ++x) Red.ScanLine(y)[x] = 0xFF0000;
    for (int y = 0; y < 128; ++y)
      for (int x = 0; x < 128; ++x) Blue.ScanLine(y)[x] = 0x0000FF;
    const auto calib = [](double w, double e, int size) {
      TMapCalibration c(cmEquiRect, TCalibData{}, size, size);
      c.AddPoint(48, w, 0, 0);
      c.AddPoint(48, e, size, 0);
      c.AddPoint(46, w, 0, size);
      c.AddPoint(46, e, size, size);
      c.Fit();
      return c;
    };
    // Added coarse first: the order of adding must not decide.
    Atlas.AddMap(TMapSource::FromBitmap(calib(BWest, 12, 128), Blue), "blue");
    Atlas.AddMap(TMapSource::FromBitmap(calib(8, 10, 256), Red), "red");
  }
};

TEST(AtlasTiles, FinestMapWinsAndTouchingMapsLeaveNoGap) {
  // Overlapping maps, and maps that only touch along 10 E.
  for (const double bWest : {9.0, 10.0}) {
    const TTwoMaps maps(bWest);
    for (const int z : {6, 7, 8, 9}) {
      const TTileId tile = TileAt(47.0, 10.0, z);
      TTileRgba rgba;
      ASSERT_TRUE(maps.Atlas.Render(tile, rgba));
      for (int row = 0; row < kN; ++row)
        for (int col = 0; col < kN; ++col) {
          const double lon = PixelLongitude(tile, col), lat = PixelLatitude(tile, row);
          const uint8_t* p = &rgba[(static_cast<size_t>(row) * kN + col) * 4];
          if (std::fabs(lon - 8) < 0.01 || std::fabs(lon - 12) < 0.01 ||
              std::fabs(lat - 46) < 0.01 || std::fabs(lat - 48) < 0.01)
            continue;  // the outer edges
          if (lon < 8 || lon > 12 || lat < 46 || lat > 48) {
            ASSERT_EQ(p[3], 0) << "z" << z << " " << col << "," << row;
            continue;
          }
          ASSERT_EQ(p[3], 255) << "gap at z" << z << " " << col << "," << row << " (" << lon << ")";
          if (std::fabs(lon - 10) < 0.02) continue;  // the seam itself blends
          ASSERT_EQ(p[0], lon < 10 ? 255 : 0) << "z" << z << " " << col << "," << row;
        }
    }
  }
}

TEST(AtlasTiles, SampleMapsLeaveNoBackgroundWhereEitherCovers) {
  // The Zurich map within the Switzerland map: tiles across the Zurich
  // map's edges take every pixel either map covers, and from Zurich's map
  // wherever it covers.
  TAtlasTiles atlas;
  for (const char* name : {"switzerland_eqc", "zurich_utm32"}) {
    TJPEGImage jpeg;
    jpeg.LoadFromFile(std::string(MAROVIA_SAMPLE_ATLAS) + "/" + name + ".jpg");
    TBitmap image;
    image.Assign(jpeg);
    atlas.AddMap(TMapSource::FromBitmap(SampleCalibration(name), image), name);
  }
  const auto& zurich = *atlas.Maps()[0];
  ASSERT_EQ(zurich.Name(), "zurich_utm32");
  const double w = zurich.Calibration().ImageWidth(), h = zurich.Calibration().ImageHeight();
  for (const int z : {8, 10}) {
    // The middle of each edge of the Zurich map.
    for (const auto& [x, y] : {std::pair{0.0, h / 2}, {w, h / 2}, {w / 2, 0.0}, {w / 2, h}}) {
      const TPixelPosition edge = zurich.Calibration().PixelToGeo(x, y);
      const TTileId tile = TileAt(edge.Latit, edge.Longit, z);
      TTileRgba quilt, fine, coarse;
      ASSERT_TRUE(atlas.Render(tile, quilt));
      const int nFine = atlas.Maps()[0]->Warper().Warp(tile, fine);
      atlas.Maps()[1]->Warper().Warp(tile, coarse);
      EXPECT_GT(nFine, 0);
      for (size_t i = 0; i < size_t{kN} * kN; ++i) {
        ASSERT_EQ(quilt[i * 4 + 3] != 0, fine[i * 4 + 3] != 0 || coarse[i * 4 + 3] != 0)
            << "z" << z << " pixel " << i % kN << "," << i / kN;
        if (fine[i * 4 + 3]) {
          ASSERT_EQ(quilt[i * 4], fine[i * 4]);
        }
      }
    }
  }
}

TEST(AtlasTiles, EachMapAddsTilesDownToItsOwnLevel) {
  const TTwoMaps maps(9.0);
  ASSERT_EQ(maps.Atlas.Maps().front()->Name(), "red");
  const int red = maps.Atlas.Maps()[0]->FinestZoom(), blue = maps.Atlas.Maps()[1]->FinestZoom();
  ASSERT_GT(red, blue);
  EXPECT_EQ(maps.Atlas.DefaultMaxZoom(), red);
  // At the red map's level only its tiles are made, though blue pixels
  // fill them beyond 10 E.
  const auto spans = maps.Atlas.TilesAt(red);
  const TTileRange redRange = TilesCovering(maps.Atlas.Maps()[0]->Bounds(), red);
  int64_t n = 0;
  for (const TTileBlock& s : spans) n += s.Count();
  EXPECT_EQ(n, redRange.Count());
  // Past every map's level all maps add tiles again; rows do not overlap.
  int64_t past = 0;
  for (const TTileBlock& s : maps.Atlas.TilesAt(red + 1)) past += s.Count();
  EXPECT_EQ(past, TilesCovering(maps.Atlas.Bounds(), red + 1).Count());
}

}  // namespace
}  // namespace marovia
