// Whole views saved as PNG files in the test output folder, where a person
// can look at them, and read back by an independent reader (ImageMagick's
// identify, or Python reading the PNG header) for their size.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "marovia/geobasics/utm.h"
#include "marovia/platform/files.h"
#include "marovia/platform/pngimage.h"
#include "render_fixture.h"

namespace marovia::test {
namespace {

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
  // A map of the sample atlas: Zurich and Lake Constance in UTM zone 32N,
  // 1600 x 1200 pixels, with the calibration points of its file.
  const std::string image = std::string(MAROVIA_SAMPLES_DIR) + "/atlas/zurich_utm32.jpg";
  MapView v(1024, 768);
  v.map.SetSuppressPaint(true);
  v.map.SetMapImgFile(image);
  ASSERT_EQ(v.map.MapImgWidth(), 1600);
  ASSERT_EQ(v.map.MapImgHeight(), 1200);
  v.map.SetCalibModel(cmUTM);
  v.map.SetUTMZone(32);
  v.map.SetUTMHemisphere(hemiNorth);
  const int xs[] = {80, 480, 960, 1440}, ys[] = {1120, 640, 160};
  const double eastings[] = {400000, 450000, 510000, 570000},
               northings[] = {5200000, 5260000, 5320000};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 4; ++c)
      v.map.AddCalibPoint(northings[r], eastings[c], 32, hemiNorth, xs[c], ys[r]);
  v.map.SetUTMGridDist(20000);
  v.map.SetShowGraticule(sgPointsAndUTMGrid);
  v.map.SetColorGraticule(clNavy);
  AddCity(v.map, 47.377, 8.540, "Zurich", lmSquare, taCenter, 0);
  AddCity(v.map, 47.660, 9.175, "Konstanz", lmCircle, taLeftJustify, 0);
  AddCity(v.map, 47.424, 9.377, "St. Gallen", lmCrossBox, taLeftJustify, 0);
  AddCity(v.map, 47.500, 8.724, "Winterthur", lmSpade, taRightJustify, 0);
  AddCity(v.map, 47.047, 8.309, "Lucerne", lmTriangle, taCenter, 30);
  v.map.SetMagnification(0.64);  // zoomed out: the view comes from the image cache
  v.map.SetSuppressPaint(false);
  // Zurich where its UTM coordinates put it on the map's 125-metre pixels.
  int zone = 0;
  double e = 0, n = 0;
  LatLongToUTM(47.377, 8.540, gelWGS84, zone, e, n);
  int32_t x = 0, y = 0;
  ASSERT_TRUE(v.map.CalcPixelCoords(47.377, 8.540, x, y));
  EXPECT_NEAR(x, 80 + (e - 400000) / 125, 1);
  EXPECT_NEAR(y, 1120 - (n - 5200000) / 125, 1);
  const std::string file = SaveView(v.map, "real_map_view.png");
  const std::string size = ReadBackSize(file);
  if (size.empty()) GTEST_SKIP() << "no independent PNG reader (identify or python3)";
  EXPECT_EQ(size, "PNG 1024x768");
}

}  // namespace
}  // namespace marovia::test
