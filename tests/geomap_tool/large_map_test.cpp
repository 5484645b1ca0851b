// A map image above the in-memory limit through the tool: described from
// its header and drawn from its tile pyramid by default (the tiles cached in
// the user's cache folder, here a temporary one); --max-pixels below its
// size refuses it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "marovia/geomap/geomap.h"
#include "marovia/platform/pngimage.h"
#include "png_reader.h"
#include "run_tool.h"
#include "support/temp_dir.h"

namespace marovia::geomaptool::test {
namespace {

// XDG_CACHE_HOME pointed into Dir for the lifetime of the object.
class CacheHome {
 public:
  explicit CacheHome(const std::string& Dir) {
    if (const char* old = std::getenv("XDG_CACHE_HOME")) saved_ = old, had_ = true;
    ::setenv("XDG_CACHE_HOME", Dir.c_str(), 1);
  }
  ~CacheHome() {
    if (had_)
      ::setenv("XDG_CACHE_HOME", saved_.c_str(), 1);
    else
      ::unsetenv("XDG_CACHE_HOME");
  }

 private:
  std::string saved_;
  bool had_ = false;
};

// large.png, 2100 x 1500 pixels (3.15 megapixels) in two colours split at
// column 1050, and large.xml calibrating it as 10 x 10 degrees.
std::string WriteLargeMap(const marovia::test::TempDir& Dir) {
  TBitmap image(2100, 1500);
  image.Canvas().Brush().SetColor(clRed);
  image.Canvas().FillRect(Rect(1050, 0, 2100, 1500));
  TPngImage png;
  png.Assign(image);
  png.SaveToFile(Dir.File("large.png"));
  TGeoMap map(nullptr);
  map.SetSuppressPaint(true);
  map.SetMaxMapPixels(4000000);
  map.SetMapImgFile(Dir.File("large.png"));
  map.SetCalibModel(cmEquiRect);
  map.AddCalibPoint(50.0, 10.0, 0, 0);
  map.AddCalibPoint(40.0, 10.0, 0, 1500);
  map.AddCalibPoint(40.0, 20.0, 2100, 1500);
  TCalibData data = map.CalibData();
  data.MapFName = "large.png";
  map.SetCalibData(data);
  map.SaveCalDataAsXML(Dir.File("large.xml"), "large");
  return Dir.File("large.xml");
}

TEST(GeomapLargeMap, IsTakenByDefaultAndDrawnFromTiles) {
  const marovia::test::TempDir dir;
  const CacheHome cache(dir.File("cache"));
  const std::string calibration = WriteLargeMap(dir);

  const TResult info = RunTool({"info", calibration});
  EXPECT_EQ(info.Status, kExitOk) << info.Err;
  EXPECT_NE(info.Out.find("2100"), std::string::npos) << info.Out;

  // Centred at 45,15 (the split) at 1/4: white on the left, red on the right.
  const std::string png = dir.File("view.png");
  const TResult r = RunTool(
      {"render", calibration, "--center", "45,15", "--mag", "0.25", "--size", "64x48", "-o", png});
  ASSERT_EQ(r.Status, kExitOk) << r.Err;
  TRgbImage view;
  ASSERT_TRUE(ReadPng(png, view));
  EXPECT_EQ(view.At(10, 24).R, 255);
  EXPECT_EQ(view.At(10, 24).G, 255);
  EXPECT_EQ(view.At(54, 24).R, 255);
  EXPECT_EQ(view.At(54, 24).G, 0);

  // A limit below its size refuses it, naming the limit.
  const TResult refused = RunTool({"render", calibration, "--max-pixels", "3000000", "-o", png});
  EXPECT_EQ(refused.Status, kExitBadInput);
  EXPECT_NE(refused.Err.find("3000000"), std::string::npos) << refused.Err;
  EXPECT_NE(RunTool({"info", calibration, "--max-pixels", "12.5"}).Status, kExitOk);
}

}  // namespace
}  // namespace marovia::geomaptool::test
