// The map as files and pictures: saving, renaming, the clipboard and
// rendering into a caller's bitmap.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "marovia/platform/clipbrd.h"
#include "marovia/platform/files.h"
#include "marovia/platform/jpeg.h"
#include "render_fixture.h"
#include "support/temp_dir.h"

namespace marovia::test {
namespace {

namespace fs = std::filesystem;

// ------------------------------------------------------------ clipboard

TEST(MapClipboard, ViewGoesToTheClipboardInsideABlackOutline) {
  MapView v;
  std::unique_ptr<TBitmap> image(NewPatternImage(300, 200));
  v.map.SetMapBitmap(*image);
  v.map.SetTopLeft({5, 5});
  v.map.CopyToClipboard();
  TBitmap got;
  Clipboard().GetAsBitmap(got);
  ASSERT_EQ(got.Width(), kViewW);
  ASSERT_EQ(got.Height(), kViewH);
  const int W = kViewW, H = kViewH;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const TColor c = got.Canvas().Pixels(x, y);
      const bool edge = x == 0 || y == 0 || x == W - 1 || y == H - 1;
      const bool outline = !edge && (x == 1 || y == 1 || x == W - 2 || y == H - 2);
      if (edge)
        ASSERT_EQ(c, clWhite) << x << "," << y;
      else if (outline)
        ASSERT_EQ(c, clBlack) << x << "," << y;
      else
        ASSERT_EQ(c, v.At(x, y)) << x << "," << y;
    }
}

TEST(MapClipboard, EntireMapAtMagnificationOneWithWhatIsDrawnOverIt) {
  MapView v;
  GenerateBlankMap(v.map);
  v.map.SetSuppressPaint(true);
  v.map.AddLandMark(45, 15, 0);  // image pixel (150, 100)
  v.map.SetMagnification(0.25);
  v.map.SetSuppressPaint(false);
  v.map.CopyEntireMapToClipboard();
  TBitmap got;
  Clipboard().GetAsBitmap(got);
  EXPECT_EQ(got.Width(), 300);
  EXPECT_EQ(got.Height(), 200);
  EXPECT_EQ(got.Canvas().Pixels(150, 100), clBlue);  // the landmark's cross
  EXPECT_EQ(got.Canvas().Pixels(0, 0), clWhite);     // no frame
  EXPECT_EQ(v.map.Magnification(), 0.25);            // the view is as it was
}

// ------------------------------------------------------------ CopyToBMP

TEST(MapCopyToBMP, RendersTheWindowAsTheViewWouldShowIt) {
  MapView v;
  GenerateBlankMap(v.map);
  v.map.SetColorGraticule(clBlue);
  v.map.SetShowGraticule(sgPointsAndLines);
  v.map.SetMagnification(2);
  v.map.SetTopLeft({100, 60});
  TBitmap dest;  // empty: grows to hold the window at (7, 3)
  v.map.CopyToBMP(dest, {100, 60}, 2, 7, 3, kViewW, kViewH);
  ASSERT_EQ(dest.Width(), kViewW + 7);
  ASSERT_EQ(dest.Height(), kViewH + 3);
  int differing = 0;
  for (int y = 0; y < kViewH; ++y)
    for (int x = 0; x < kViewW; ++x)
      differing += MapView::Stored(dest.Canvas().Pixels(x + 7, y + 3)) != v.At(x, y);
  EXPECT_EQ(differing, 0);
  EXPECT_EQ(dest.Canvas().Pixels(3, 1), clWhite);  // left alone
  EXPECT_THROW(v.map.CopyToBMP(dest, {0, 0}, 0, 0, 0, 10, 10), EZYLGeoMapError);
}

// ------------------------------------------------------------ files

class MapFiles : public ::testing::Test {
 protected:
  MapFiles() {
    std::unique_ptr<TBitmap> image(NewPatternImage(64, 48));
    TJPEGImage jpeg;
    jpeg.Assign(*image);
    jpeg.SaveToFile(dir.File("area.jpg"));
    v.map.SetMapImgFile(dir.File("area.jpg"));
  }
  MapView v;
  TempDir dir;
};

TEST_F(MapFiles, SaveWritesAJpegBesideTheCalibrationWhateverTheExtension) {
  v.map.SaveMap(dir.File("saved.png"), "id1");
  EXPECT_EQ(v.map.MapImgFile(), "saved.jpg");
  TJPEGImage back;
  back.LoadFromFile(dir.File("saved.jpg"));
  EXPECT_EQ(back.Width(), 64);
  EXPECT_EQ(back.Height(), 48);
  EXPECT_FALSE(FileExists(dir.File("saved.png")));
  EXPECT_FALSE(FileExists(dir.File("saved.jpg.saving")));
}

TEST_F(MapFiles, SavedMapLoadsBackWithItsCalibration) {
  v.map.SetCalibModel(cmEquiRect);
  v.map.AddCalibPoint(48, 10, 0, 0);
  v.map.AddCalibPoint(48, 11, 64, 0);
  v.map.AddCalibPoint(47, 10, 0, 48);
  v.map.SaveMap(dir.File("saved.bmp"), "id1");

  MapView back;
  back.map.OnMapImageRequest = [&](TObject*, std::string& name) { name = dir.File(name); };
  ASSERT_TRUE(back.map.LoadCalDataFromXML(dir.File("saved.xml"), "ID1"));
  EXPECT_EQ(back.map.MapImgFile(), "saved.jpg");  // the name as the file gives it
  EXPECT_EQ(back.map.MapImgWidth(), 64);
  EXPECT_EQ(back.map.CalibModel(), cmEquiRect);
  int32_t x = 0, y = 0;
  ASSERT_TRUE(back.map.CalcPixelCoords(47.5, 10.5, x, y));
  EXPECT_EQ(x, 32);
  EXPECT_EQ(y, 24);
}

TEST_F(MapFiles, FailedSaveLeavesNoCalibrationAndKeepsTheName) {
  const std::string into = dir.File("missing/dir/area.jpg");
  EXPECT_THROW(v.map.SaveMap(into, "id1"), EInOutError);
  EXPECT_FALSE(FileExists(dir.File("missing/dir/area.xml")));
  EXPECT_EQ(v.map.MapImgFile(), dir.File("area.jpg"));
}

TEST_F(MapFiles, RenameKeepsDirectoryAndExtensionAndUsesSafeCharacters) {
  EXPECT_TRUE(v.map.RenameMapImg("New Name.bmp"));
  EXPECT_EQ(v.map.MapImgFile(), dir.File("NewName.jpg"));
  EXPECT_TRUE(FileExists(dir.File("NewName.jpg")));
  EXPECT_FALSE(FileExists(dir.File("area.jpg")));
}

TEST_F(MapFiles, RenameNeverReplacesAnotherFile) {
  dir.Write("Other.jpg", "someone else's picture");
  EXPECT_FALSE(v.map.RenameMapImg("Other"));
  EXPECT_EQ(v.map.MapImgFile(), dir.File("area.jpg"));
  EXPECT_EQ(dir.Read("Other.jpg"), "someone else's picture");
  EXPECT_TRUE(FileExists(dir.File("area.jpg")));
}

TEST_F(MapFiles, RenameThatTheSystemRefusesAnswersFalse) {
  // A name longer than any file name the system allows.
  EXPECT_FALSE(v.map.RenameMapImg(std::string(300, 'a')));
  EXPECT_EQ(v.map.MapImgFile(), dir.File("area.jpg"));
  EXPECT_TRUE(FileExists(dir.File("area.jpg")));
}

TEST_F(MapFiles, RenameWithoutAnImageFileOrNameAnswersFalse) {
  EXPECT_FALSE(v.map.RenameMapImg("...//"));  // nothing left of the name
  TBitmap bmp(10, 10);
  v.map.SetMapBitmap(bmp);  // "$unknown$": no file
  EXPECT_FALSE(v.map.RenameMapImg("x"));
  EXPECT_EQ(v.map.MapImgFile(), "$unknown$");
}

}  // namespace
}  // namespace marovia::test
