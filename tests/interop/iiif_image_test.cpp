// Static IIIF image services: an independent reader (a Python script that
// knows only the Image API) finds every tile and size the info.json offers
// with the right size, and ImageMagick finds the tiles' pixels where the
// source image has them, at full and at half resolution.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "marovia/geomap/geomap_error.h"
#include "marovia/geomap/iiif_image.h"
#include "marovia/geomap/map_source.h"
#include "marovia/platform/image_pyramid.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace marovia {
namespace {

// ImageMagick's normalised RMSE between two images.
double Rmse(const std::string& A, const std::string& B) {
  // compare prints "absolute (normalised)" on standard error.
  const test::CommandResult r =
      test::RunCommand("compare -metric RMSE '" + A + "' '" + B + "' null: 2>&1");
  const std::size_t open = r.Out.find('(');
  return open == std::string::npos ? 1.0 : std::stod(r.Out.substr(open + 1));
}

TEST(IiifImage, EveryOfferedTileExistsWithTheSourcesPixels) {
  test::TempDir dir;
  const auto source = TMapSource::Open(std::string(MAROVIA_SAMPLE_ATLAS) + "/europe_lcc.xml");
  const std::string folder = dir.File("europe");
  const TIiifImageSummary s =
      ExportIiifImage(*source->Levels(), folder, "https://example.org/iiif/europe/");
  EXPECT_EQ(s.Levels, 4);  // 1700 x 1650 pixels: 7 x 7 tiles down to one
  const test::CommandResult check = test::RunCommand(
      "python3 '" MAROVIA_TEST_SOURCE_DIR "/iiif_image_check.py' '" + folder + "'");
  EXPECT_EQ(check.Status, 0) << check.Out << check.Err;
  // The reader counts the single-tile level's "full" alias as a tile too.
  EXPECT_EQ(check.Out,
            "tiles " + std::to_string(s.Tiles + 1) + " sizes " + std::to_string(s.Sizes) + "\n");
  std::ifstream in(folder + "/info.json");
  const std::string info((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(info.find("\"id\": \"https://example.org/iiif/europe\""), std::string::npos) << info;

  // Full resolution inside and at the right edge, then half resolution:
  // the parts of the source ImageMagick cuts (and scales) in one run.
  const std::string crop = dir.File("crop");
  const test::CommandResult c = test::RunCommand(
      "convert '" + source->ImageFile() + "' \\( +clone -crop 256x256+256+512 +repage -write '" +
      crop + "1.png' +delete \\) \\( +clone -crop 164x256+1536+0 +repage -write '" + crop +
      "2.png' +delete \\) -scale 50% -crop 256x256+256+0 +repage '" + crop + "3.png'");
  ASSERT_EQ(c.Status, 0) << c.Err;
  EXPECT_LT(Rmse(folder + "/256,512,256,256/256,256/0/default.jpg", crop + "1.png"), 0.03);
  EXPECT_LT(Rmse(folder + "/1536,0,164,256/164,256/0/default.jpg", crop + "2.png"), 0.03);
  EXPECT_LT(Rmse(folder + "/512,0,512,512/256,256/0/default.jpg", crop + "3.png"), 0.03);
}

TEST(IiifImage, AnIdThatIsNoWebAddressIsRefused) {
  test::TempDir dir;
  TBitmap bitmap;
  bitmap.SetSize(300, 200);
  const auto pyramid = TImagePyramid::FromBitmap(bitmap);
  for (const char* id : {"", "europe", "file:///x", "https://a b"})
    EXPECT_THROW(ExportIiifImage(*pyramid, dir.File("x"), id), EZYLGeoMapError) << id;
}

}  // namespace
}  // namespace marovia
