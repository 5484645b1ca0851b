// A map image above the in-memory limit, held as a tile pyramid: the views
// it gives against the image's own pixels (and against the scaled copy an
// image in memory gets), and the operations that refuse it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "marovia/platform/pngimage.h"
#include "render_fixture.h"
#include "support/temp_dir.h"

namespace marovia {
namespace {

using test::MapView;

constexpr int kImgW = 2100, kImgH = 1500;  // 3.15 megapixels
constexpr int kOutW = 300, kOutH = 200;

int Channel(uint32_t Word, int C) {
  return static_cast<int>((Word >> (8 * C)) & 0xFF);
}

std::unique_ptr<TBitmap> Render(TGeoMap& Map, TPoint TopLeft, double Mag) {
  auto out = std::make_unique<TBitmap>();
  Map.CopyToBMP(*out, TopLeft, Mag, 0, 0, kOutW, kOutH);
  return out;
}

class TiledMap : public ::testing::Test {
 protected:
  void SetUp() override {
    image.reset(test::NewPatternImage(kImgW, kImgH));
    view.map.SetMaxMapPixels(4000000);
    view.map.SetMapBitmap(*image);
    ASSERT_TRUE(view.map.MapImageTiled());
  }
  std::unique_ptr<TBitmap> image;
  MapView view{kOutW, kOutH};
};

TEST_F(TiledMap, MagnificationOneGivesTheImagesPixels) {
  const uint32_t background = ColorToPixel(clSilver);
  for (TPoint tl : {TPoint{0, 0}, TPoint{1000, 700}, TPoint{1950, 1400}, TPoint{-50, -30}}) {
    const auto out = Render(view.map, tl, 1.0);
    int wrong = 0;
    for (int y = 0; y < kOutH; ++y)
      for (int x = 0; x < kOutW; ++x) {
        const int ix = tl.X + x, iy = tl.Y + y;
        const bool inside = ix >= 0 && iy >= 0 && ix < kImgW && iy < kImgH;
        const uint32_t want = inside ? image->ScanLine(iy)[ix] : background;
        wrong += out->ScanLine(y)[x] != want;
      }
    EXPECT_EQ(wrong, 0) << "from " << tl.X << "," << tl.Y;
  }
}

// At 1/2 and 1/4 a view pixel is a level pixel: the mean of its 2^L x 2^L
// block, rounded once per level. The image in memory is scaled by the
// smoothed copy, which rounds per axis; both stay within L of the mean.
TEST_F(TiledMap, HalfAndQuarterStayWithinTheBoxFiltersRounding) {
  for (int level : {1, 2}) {
    const int s = 1 << level;
    const double mag = 1.0 / s;
    for (TPoint tl : {TPoint{0, 0}, TPoint{1024, 512}}) {
      const auto out = Render(view.map, tl, mag);
      TBitmap memory(kOutW, kOutH);
      SetStretchBltMode(memory.Canvas(), HALFTONE);
      StretchBlt(memory.Canvas(), 0, 0, kOutW, kOutH, image->Canvas(), tl.X, tl.Y, kOutW * s,
                 kOutH * s, SRCCOPY);
      int worstMean = 0, worstMemory = 0;
      for (int y = 0; y < kOutH && tl.Y + (y + 1) * s <= kImgH; ++y)
        for (int x = 0; x < kOutW && tl.X + (x + 1) * s <= kImgW; ++x)
          for (int c = 0; c < 3; ++c) {
            int sum = 0;
            for (int v = 0; v < s; ++v)
              for (int u = 0; u < s; ++u)
                sum += Channel(image->ScanLine(tl.Y + y * s + v)[tl.X + x * s + u], c);
            const int got = Channel(out->ScanLine(y)[x], c);
            worstMean = std::max(worstMean, std::abs(got * s * s - sum));
            worstMemory = std::max(worstMemory, std::abs(got - Channel(memory.ScanLine(y)[x], c)));
          }
      // Each level's rounding adds at most half a unit to the mean.
      EXPECT_LE(worstMean, level * s * s / 2) << "level " << level;
      EXPECT_LE(worstMemory, level) << "level " << level;
    }
  }
}

TEST_F(TiledMap, WholeBitmapOperationsRefuseAndChangeNothing) {
  test::TempDir dir;
  view.map.SetTopLeft(TPoint{30, 40});
  const std::vector<std::pair<std::string, std::function<void()>>> operations = {
      {"MapBitmap", [&] { (void)view.map.MapBitmap(); }},
      {"ResizeMap by factor", [&] { view.map.ResizeMap(0.5); }},
      {"ResizeMap to length", [&] { view.map.ResizeMap(int32_t{1000}); }},
      {"SaveMap", [&] { view.map.SaveMap(dir.File("saved.xml"), "map"); }},
      {"CopyEntireMapToClipboard", [&] { view.map.CopyEntireMapToClipboard(); }},
  };
  for (const auto& [name, operation] : operations) {
    EXPECT_THROW(operation(), EZYLGeoMapError) << name;
    EXPECT_EQ(view.map.MapImgWidth(), kImgW) << name;
    EXPECT_EQ(view.map.MapImgHeight(), kImgH) << name;
    EXPECT_EQ(view.map.TopLeft(), (TPoint{30, 40})) << name;
    EXPECT_TRUE(view.map.MapImageTiled()) << name;
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

// The calibration and the graticule know nothing of tiles: a 10 x 10
// degree map of 2100 x 1500 pixels puts meridian 10 + k at image column
// 210 k, view column 52.5 k at magnification 1/4.
TEST(TiledMapOverlays, ConversionsAndGraticuleOnATiledMap) {
  MapView view{kOutW, kOutH};
  view.map.SetMaxMapPixels(4000000);
  TBitmap white(kImgW, kImgH);
  view.map.SetMapBitmap(white);
  ASSERT_TRUE(view.map.MapImageTiled());
  view.map.SetCalibModel(cmEquiRect);
  view.map.AddCalibPoint(50.0, 10.0, 0, 0);
  view.map.AddCalibPoint(40.0, 10.0, 0, kImgH);
  view.map.AddCalibPoint(40.0, 20.0, kImgW, kImgH);
  int32_t x = 0, y = 0;
  ASSERT_TRUE(view.map.CalcPixelCoords(45.0, 15.0, x, y));
  EXPECT_EQ(x, kImgW / 2);
  EXPECT_EQ(y, kImgH / 2);
  bool valid = false;
  EXPECT_NEAR(view.map.CalcLongitude(TPoint{1890, 300}, valid), 19.0, 1e-9);
  view.map.SetGratLineDist(1);
  view.map.SetShowGraticule(sgLines);
  const auto out = Render(view.map, TPoint{0, 0}, 0.25);
  std::vector<int> columns;
  for (int c = 0; c < kOutW; ++c)
    if (out->ScanLine(100)[c] == ColorToPixel(clBlue)) columns.push_back(c);
  ASSERT_EQ(columns.size(), 6u);  // meridians 10 to 15
  for (size_t k = 0; k < columns.size(); ++k)
    EXPECT_NEAR(columns[k], 52.5 * static_cast<double>(k), 0.5) << k;
}

TEST(TiledMapLimit, TheWrittenLimitHoldsUnlessRaised) {
  MapView view;
  std::unique_ptr<TBitmap> large(test::NewPatternImage(kImgW, kImgH));
  try {
    view.map.SetMapBitmap(*large);
    FAIL() << "a 3.15-megapixel image was taken under the default limit";
  } catch (const EZYLGeoMapError& e) {
    EXPECT_NE(std::string(e.what()).find("maximum of 3000000 pixels exceeded"), std::string::npos);
  }
  EXPECT_EQ(view.map.MapImgWidth(), 0);
  view.map.SetMaxMapPixels(5);
  EXPECT_EQ(view.map.MaxMapPixels(), kMaxMapPixels);
  view.map.SetMaxMapPixels(INT64_MAX);
  EXPECT_EQ(view.map.MaxMapPixels(), kMaxTiledMapPixels);
  // Within the written limit nothing changes: the image stays in memory.
  std::unique_ptr<TBitmap> small(test::NewPatternImage(1000, 800));
  view.map.SetMapBitmap(*small);
  EXPECT_FALSE(view.map.MapImageTiled());
  EXPECT_EQ(view.map.MapBitmap().Width(), 1000);
  // Images made in memory keep to the in-memory limit, raised or not.
  EXPECT_THROW(view.map.ResizeMap(2.0), EZYLGeoMapError);
  EXPECT_EQ(view.map.MapImgWidth(), 1000);
}

// A file opened as tiles (through a cache file) and the same file decoded
// into memory give the same view.
TEST(TiledMapFile, OpensThroughItsPyramidWithProgress) {
  test::TempDir dir;
  std::unique_ptr<TBitmap> image(test::NewPatternImage(kImgW, kImgH));
  TPngImage png;
  png.Assign(*image);
  const std::string file = dir.File("large.png");
  png.SaveToFile(file);

  MapView view{kOutW, kOutH};
  view.map.SetMaxMapPixels(4000000);
  view.map.SetPyramidCacheDir(dir.File("cache"));
  int reports = 0;
  view.map.OnDataLoading = [&](TObject* Sender, TProgressStage, uint8_t, bool, const TRect&,
                               const std::string&) {
    EXPECT_EQ(Sender, &view.map);
    ++reports;
  };
  view.map.SetMapImgFile(file);
  ASSERT_TRUE(view.map.MapImageTiled());
  EXPECT_EQ(view.map.MapImgWidth(), kImgW);
  EXPECT_GT(reports, 0);
  EXPECT_FALSE(std::filesystem::is_empty(dir.File("cache")));

  TPngImage decoded;
  decoded.LoadFromFile(file);
  TBitmap memory;
  memory.Assign(decoded);
  const auto out = Render(view.map, TPoint{700, 900}, 1.0);
  int wrong = 0;
  for (int y = 0; y < kOutH; ++y)
    for (int x = 0; x < kOutW; ++x)
      wrong += out->ScanLine(y)[x] != memory.ScanLine(900 + y)[700 + x];
  EXPECT_EQ(wrong, 0);
}

}  // namespace
}  // namespace marovia
