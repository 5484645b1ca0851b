// Whole views saved as PNG files in the test output folder, where a person
// can look at them, and read back by an independent reader (ImageMagick's
// identify, or Python reading the PNG header) for their size.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "marovia/platform/files.h"
#include "marovia/platform/pngimage.h"
#include "render_fixture.h"

namespace marovia::test {
namespace {

// A world map in plate carree projection, 2048 x 1024, from Debian's
// xplanet-images package.
const char* const kWorldMap = MAROVIA_WORLD_MAP_IMAGE;

std::string Output(const std::string& Command) {
  std::string out;
  if (FILE* p = popen(Command.c_str(), "r")) {
    char buf[256];
    while (fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
  }
  return out;
}

// "W x H" of a PNG file as an independent reader sees it; "" when no
// reader is there.
std::string ReadBackSize(const std::string& File) {
  std::string out = Output("identify -format '%m %wx%h' '" + File + "' 2>/dev/null");
  if (!out.empty()) return out;
  return Output(
      "python3 -c \"import struct,sys; d=open(sys.argv[1],'rb').read(24); "
      "assert d[:8]==b'\\x89PNG\\r\\n\\x1a\\n'; print('PNG %dx%d' % struct.unpack('>II', "
      "d[16:24]), end='')\" '" +
      File + "' 2>/dev/null");
}

std::string SaveView(const TGeoMap& Map, const std::string& Name) {
  std::filesystem::create_directories(MAROVIA_TEST_OUTPUT_DIR);
  const std::string file = std::string(MAROVIA_TEST_OUTPUT_DIR) + "/" + Name;
  TPngImage png;
  png.Assign(Map.Surface());
  png.SaveToFile(file);
  return file;
}

void AddCity(TGeoMap& Map, double Lat, double Long, const std::string& Name, TLandMarkElement Kind,
             TAlignment H, int Direction) {
  Map.AddLandMark(Lat, Long, 0, Name, 9, clBlack);
  TLandMark lm = Map.LandMarkData(Map.NumLandMarks());
  lm.SymbolProps.Kind = Kind;
  lm.SymbolProps.Size = 4;
  lm.SymbolProps.FGColor = clRed;
  lm.SymbolProps.BGColor = clYellow;
  lm.Caption.HAlignment = H;
  lm.Caption.Direction = Direction;
  lm.Caption.Transparent = false;
  lm.Caption.BGColor = clWhite;
  Map.SetLandMarkData(Map.NumLandMarks(), lm);
}

TEST(RenderSnapshot, GeneratedMapView) {
  MapView v(640, 480);
  v.map.SetSuppressPaint(true);
  v.map.CreateEmptyMapInMemory(46.5, 6.5, 48.5, 10.5, 0.5, 0.5, 900, 600, true, nullptr);
  v.map.SetFrameStyle(fsLowered);
  v.map.SetShowGraticule(sgPointsAndLines);
  v.map.SetGratLineDist(0.25);
  AddCity(v.map, 47.37, 8.54, "Zurich", lmSquare, taCenter, 0);
  AddCity(v.map, 46.95, 7.45, "Bern", lmTriangle, taLeftJustify, 0);
  AddCity(v.map, 47.56, 7.59, "Basel", lmCircle, taCenter, 90);
  AddCity(v.map, 48.14, 9.0, "North", lmArrowFrom, taRightJustify, 30);
  v.map.SetHighLightProperties(clBlue, clAqua, false);
  v.map.SetHighLM(1);
  v.map.SetMagnification(0.8);
  v.map.SetSuppressPaint(false);
  const std::string file = SaveView(v.map, "generated_map_view.png");
  const std::string size = ReadBackSize(file);
  if (size.empty()) GTEST_SKIP() << "no independent PNG reader (identify or python3)";
  EXPECT_EQ(size, "PNG 640x480");
}

TEST(RenderSnapshot, RealMapImageView) {
  if (!FileExists(kWorldMap)) GTEST_SKIP() << kWorldMap << " is not installed";
  MapView v(1024, 600);
  v.map.SetSuppressPaint(true);
  v.map.SetMapImgFile(kWorldMap);
  ASSERT_EQ(v.map.MapImgWidth(), 2048);
  v.map.SetCalibModel(cmEquiRect);
  v.map.AddCalibPoint(90.0, -180.0, 0, 0);
  v.map.AddCalibPoint(-90.0, -180.0, 0, 1024);
  v.map.AddCalibPoint(-90.0, 180.0, 2048, 1024);
  v.map.AddCalibPoint(90.0, 180.0, 2048, 0);
  v.map.SetGratLineDist(30);
  v.map.SetShowGraticule(sgLines);
  v.map.SetColorGraticule(clSilver);
  AddCity(v.map, 51.5, -0.13, "London", lmSquare, taLeftJustify, 0);
  AddCity(v.map, -33.87, 151.21, "Sydney", lmCircle, taRightJustify, 0);
  AddCity(v.map, 40.71, -74.0, "New York", lmCrossBox, taCenter, 0);
  AddCity(v.map, 35.68, 139.69, "Tokyo", lmSpade, taCenter, 45);
  AddCity(v.map, -22.9, -43.2, "Rio", lmPlus, taLeftJustify, 0);
  v.map.SetMagnification(0.5);  // the zoomed-out view, from the image cache
  v.map.SetSuppressPaint(false);
  // Tokyo's position in the view: the map's geometry, halved.
  int32_t x = 0, y = 0;
  ASSERT_TRUE(v.map.CalcPixelCoords(35.68, 139.69, x, y));
  EXPECT_NEAR(x, (139.69 + 180) / 360 * 2048, 1);
  const std::string file = SaveView(v.map, "real_map_view.png");
  const std::string size = ReadBackSize(file);
  if (size.empty()) GTEST_SKIP() << "no independent PNG reader (identify or python3)";
  EXPECT_EQ(size, "PNG 1024x600");
}

}  // namespace
}  // namespace marovia::test
