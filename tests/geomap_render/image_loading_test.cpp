// Map images from files and bitmaps: formats by extension, the request
// event, progress, and the 3 000 000-pixel limit.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "marovia/platform/jpeg.h"
#include "marovia/platform/pngimage.h"
#include "marovia/platform/tiffimage.h"
#include "render_fixture.h"
#include "support/temp_dir.h"

namespace marovia::test {
namespace {

std::string SizeMessage(int W, int H) {
  return "Component \"Map1\": Cannot use map image, maximum of 3000000 pixels exceeded (size of "
         "map is " +
         std::to_string(W) + " x " + std::to_string(H) + ")";
}

void SaveBmp(const std::string& Name, int W, int H) {
  std::unique_ptr<TBitmap> bmp(NewPatternImage(W, H));
  bmp->SaveToFile(Name);
}

void SaveJpeg(const std::string& Name, int W, int H) {
  std::unique_ptr<TBitmap> bmp(NewPatternImage(W, H));
  TJPEGImage jpeg;
  jpeg.Assign(*bmp);
  jpeg.SaveToFile(Name);
}

class ImageLoading : public ::testing::Test {
 protected:
  MapView v;
  TempDir dir;
};

TEST_F(ImageLoading, BitmapOfExactlyTheLimitIsAccepted) {
  TBitmap bmp(2000, 1500);
  v.map.SetMapBitmap(bmp);
  EXPECT_EQ(v.map.MapImgFile(), "$unknown$");
  EXPECT_EQ(v.map.MapImgWidth(), 2000);
  EXPECT_EQ(v.map.MapImgHeight(), 1500);
}

TEST_F(ImageLoading, LargerBitmapIsRefusedAndTheMapStaysAsItWas) {
  TBitmap small(40, 30);
  v.map.SetMapBitmap(small);
  v.map.SetTopLeft({5, 6});
  TBitmap big(2001, 1500);
  try {
    v.map.SetMapBitmap(big);
    FAIL() << "no error";
  } catch (const EZYLGeoMapError& e) {
    EXPECT_EQ(std::string(e.what()), SizeMessage(2001, 1500));
  }
  EXPECT_EQ(v.map.MapImgFile(), "$unknown$");
  EXPECT_EQ(v.map.MapImgWidth(), 40);
  EXPECT_EQ(v.map.MapImgHeight(), 30);
  EXPECT_EQ(v.map.TopLeft(), (TPoint{5, 6}));
}

TEST_F(ImageLoading, BmpAndJpegLoadByExtensionWhateverItsCase) {
  SaveBmp(dir.File("a.BMP"), 30, 20);
  SaveJpeg(dir.File("photo.JPG"), 33, 21);
  SaveJpeg(dir.File("b.jpeg"), 17, 9);
  v.map.SetMapImgFile(dir.File("a.BMP"));
  EXPECT_EQ(v.map.MapImgWidth(), 30);
  EXPECT_EQ(v.map.MapImgHeight(), 20);
  v.map.SetMapImgFile(dir.File("photo.JPG"));
  EXPECT_EQ(v.map.MapImgFile(), dir.File("photo.JPG"));
  EXPECT_EQ(v.map.MapImgWidth(), 33);
  EXPECT_EQ(v.map.MapImgHeight(), 21);
  v.map.SetMapImgFile(dir.File("b.jpeg"));
  EXPECT_EQ(v.map.MapImgWidth(), 17);
}

void SavePng(const std::string& Name, int W, int H) {
  std::unique_ptr<TBitmap> bmp(NewPatternImage(W, H));
  TPngImage png;
  png.Assign(*bmp);
  png.SaveToFile(Name);
}

TEST_F(ImageLoading, PngLoadsLikeTheOtherFormats) {
  SavePng(dir.File("map.PNG"), 41, 29);
  int ends = 0;
  v.map.OnDataLoading = [&](TObject*, TProgressStage stage, uint8_t, bool, const TRect&,
                            const std::string&) { ends += stage == psEnding; };
  v.map.SetMapImgFile(dir.File("map.PNG"));
  EXPECT_EQ(v.map.MapImgWidth(), 41);
  EXPECT_EQ(v.map.MapImgHeight(), 29);
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(v.map.Canvas().Pixels(3, 2), MapView::Stored(PixelToColor(0x030228)));
}

TEST_F(ImageLoading, UnknownExtensionLoadsNothingButTakesTheName) {
  SaveBmp(dir.File("a.bmp"), 30, 20);
  v.map.SetMapImgFile(dir.File("a.bmp"));
  SaveJpeg(dir.File("photo.jpe"), 50, 50);  // a JPEG file, but not by its name
  v.map.SetMapImgFile(dir.File("photo.jpe"));
  EXPECT_EQ(v.map.MapImgFile(), dir.File("photo.jpe"));
  EXPECT_EQ(v.map.MapImgWidth(), 30);  // the bitmap that was there
  EXPECT_EQ(v.map.MapImgHeight(), 20);
}

TEST_F(ImageLoading, MissingFileEmptiesTheMap) {
  SaveBmp(dir.File("a.bmp"), 30, 20);
  v.map.SetMapImgFile(dir.File("a.bmp"));
  v.map.SetMapImgFile(dir.File("none.bmp"));
  EXPECT_EQ(v.map.MapImgFile(), "");
  EXPECT_EQ(v.map.MapImgWidth(), 0);
  EXPECT_EQ(v.map.MapImgHeight(), 0);
}

TEST_F(ImageLoading, RequestHandlerRedirectsTheFileButTheNameStaysAsPassed) {
  SaveBmp(dir.File("map.bmp"), 30, 20);
  std::string asked;
  v.map.OnMapImageRequest = [&](TObject* sender, std::string& name) {
    EXPECT_EQ(sender, &v.map);
    asked = name;
    name = dir.File(name);
  };
  v.map.SetMapImgFile("map.bmp");
  EXPECT_EQ(asked, "map.bmp");
  EXPECT_EQ(v.map.MapImgFile(), "map.bmp");
  EXPECT_EQ(v.map.MapImgWidth(), 30);
}

TEST_F(ImageLoading, LoadingReportsProgressForBothFormats) {
  SaveBmp(dir.File("a.bmp"), 30, 20);
  SaveJpeg(dir.File("a.jpg"), 30, 20);
  int ends = 0;
  v.map.OnDataLoading = [&](TObject*, TProgressStage stage, uint8_t, bool, const TRect&,
                            const std::string&) {
    if (stage == psEnding) ++ends;
  };
  v.map.SetMapImgFile(dir.File("a.bmp"));
  EXPECT_EQ(ends, 1);
  v.map.SetMapImgFile(dir.File("a.jpg"));
  EXPECT_EQ(ends, 2);
}

TEST_F(ImageLoading, AcceptedImageResetsTheViewAndShowsIt) {
  v.map.SetTopLeft({7, 7});
  SaveBmp(dir.File("a.bmp"), 300, 200);
  v.map.SetMapImgFile(dir.File("a.bmp"));
  EXPECT_EQ(v.map.TopLeft(), (TPoint{0, 0}));
  // Pattern pixel (3, 2): red 3, green 2, blue 8 * 5.
  EXPECT_EQ(v.map.Canvas().Pixels(3, 2), MapView::Stored(PixelToColor(0x030228)));
}

TEST_F(ImageLoading, TooLargeFileIsRefusedWithTheSizeMessage) {
  SaveJpeg(dir.File("big.jpg"), 2001, 1500);
  SaveBmp(dir.File("big.bmp"), 3001, 1000);
  try {
    v.map.SetMapImgFile(dir.File("big.jpg"));
    FAIL() << "no error";
  } catch (const EZYLGeoMapError& e) {
    EXPECT_EQ(std::string(e.what()), SizeMessage(2001, 1500));
  }
  try {
    v.map.SetMapImgFile(dir.File("big.bmp"));
    FAIL() << "no error";
  } catch (const EZYLGeoMapError& e) {
    EXPECT_EQ(std::string(e.what()), SizeMessage(3001, 1000));
  }
  EXPECT_EQ(v.map.MapImgFile(), "");
}

TEST_F(ImageLoading, DamagedFileRaisesAndLeavesTheMapAsItWas) {
  SaveBmp(dir.File("a.bmp"), 30, 20);
  v.map.SetMapImgFile(dir.File("a.bmp"));
  SaveJpeg(dir.File("whole.jpg"), 40, 30);
  dir.Write("cut.jpg", dir.Read("whole.jpg").substr(0, 300));  // header, then nothing
  EXPECT_THROW(v.map.SetMapImgFile(dir.File("cut.jpg")), EInvalidGraphic);
  EXPECT_EQ(v.map.MapImgFile(), dir.File("a.bmp"));
  EXPECT_EQ(v.map.MapBitmap().Width(), 30);
  v.map.SetTopLeft({0, 0});
  EXPECT_EQ(v.map.Canvas().Pixels(3, 2), MapView::Stored(PixelToColor(0x030228)));
}

// A six-band scene (8-bit samples, not colours) is taken with the
// display the host set before loading it; a display that cannot be used is
// refused and the previous one kept.
TEST_F(ImageLoading, MultiBandTiffShowsTheBandsTheHostChose) {
  const std::string scene = MAROVIA_TEST_DATA_DIR "/codecs/samples/L7_ETMs.tif";
  TSampleDisplay falseColour;
  falseColour.Bands = {4, 3, 2};
  for (const TSampleDisplay& d : {TSampleDisplay{}, falseColour}) {
    v.map.SetSampleDisplay(d);
    v.map.SetMapImgFile(scene);
    TTiffImage want;
    want.SetSampleDisplay(d);
    want.LoadFromFile(scene);
    ASSERT_EQ(v.map.MapImgWidth(), want.Width());
    const TBitmap& got = v.map.MapBitmap();
    for (int y = 0; y < want.Height(); y += 7)
      for (int x = 0; x < want.Width(); x += 5)
        ASSERT_EQ(got.ScanLine(y)[x] & 0xFFFFFF, want.Bitmap().ScanLine(y)[x]) << x << "," << y;
  }
  TSampleDisplay two;
  two.Bands = {1, 2};
  try {
    v.map.SetSampleDisplay(two);
    ADD_FAILURE() << "two bands accepted";
  } catch (const EZYLGeoMapError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Component \"Map1\": ", 0), 0u) << e.what();
  }
  EXPECT_EQ(v.map.SampleDisplay(), falseColour);
}

}  // namespace
}  // namespace marovia::test
