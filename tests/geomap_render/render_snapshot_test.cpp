// Whole views saved as PNG files in the test output folder, where a person
// can look at them, and read back by an independent reader (ImageMagick).
// Their pixels are checked against what the geometry puts where, worked out
// here by hand: graticule and grid lines from the calibration, a landmark
// from its position, and the map image as ImageMagick decodes and scales it.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "marovia/geobasics/utm.h"
#include "marovia/platform/files.h"
#include "marovia/platform/pngimage.h"
#include "render_fixture.h"

namespace marovia::test {
namespace {

// Pixels of an image as ImageMagick reads them: R, G, B bytes, rows top
// down. Reading our PNG back through it, and decoding the map's JPEG with
// it, keeps our own codecs out of the expectation.
struct RgbImage {
  int W = 0, H = 0;
  std::vector<uint8_t> Bytes;
  std::array<int, 3> At(int X, int Y) const {
    const uint8_t* p = &Bytes[(static_cast<size_t>(Y) * W + X) * 3];
    return {p[0], p[1], p[2]};
  }
};

RgbImage ReadWithImageMagick(const std::string& Args, int W, int H) {
  RgbImage img{W, H, {}};
  if (FILE* p = popen(("convert " + Args + " -depth 8 rgb:- 2>/dev/null").c_str(), "r")) {
    char buf[65536];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
      img.Bytes.insert(img.Bytes.end(), buf, buf + n);
    pclose(p);
  }
  EXPECT_EQ(img.Bytes.size(), static_cast<size_t>(W) * H * 3)
      << "ImageMagick (scripts/setup.sh installs it) could not read " << Args;
  if (img.Bytes.size() != static_cast<size_t>(W) * H * 3)
    img.Bytes.assign(static_cast<size_t>(W) * H * 3, 0);
  return img;
}

// Whether a pixel has colour C (TColor: red in the low byte) up to the
// rounding of a 15-bit surface.
bool Near(const std::array<int, 3>& Rgb, TColor C, int Tolerance = 8) {
  const int want[3] = {static_cast<int>(C & 0xFF), static_cast<int>(C >> 8 & 0xFF),
                       static_cast<int>(C >> 16 & 0xFF)};
  for (int k = 0; k < 3; ++k)
    if (std::abs(Rgb[k] - want[k]) > Tolerance) return false;
  return true;
}

// Share of the pixels of column X (or row Y), over the given span, that have
// colour C.
double ColumnShare(const RgbImage& Img, int X, int Y0, int Y1, TColor C) {
  int n = 0;
  for (int y = Y0; y < Y1; ++y) n += Near(Img.At(X, y), C);
  return static_cast<double>(n) / (Y1 - Y0);
}
double RowShare(const RgbImage& Img, int Y, int X0, int X1, TColor C) {
  int n = 0;
  for (int x = X0; x < X1; ++x) n += Near(Img.At(x, Y), C);
  return static_cast<double>(n) / (X1 - X0);
}

// The best share of colour C among the columns (rows) within one pixel of
// Pos that lie in the image: a line computed by hand may round to either
// neighbour.
double LineShare(const RgbImage& Img, bool Vertical, double Pos, int From, int To, TColor C) {
  double best = 0;
  for (int d = -1; d <= 1; ++d) {
    const int at = static_cast<int>(std::lround(Pos)) + d;
    if (at < 0 || at >= (Vertical ? Img.W : Img.H)) continue;
    best = std::max(best,
                    Vertical ? ColumnShare(Img, at, From, To, C) : RowShare(Img, at, From, To, C));
  }
  return best;
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
  v.map.SetTopLeft(TPoint{0, 0});
  v.map.SetSuppressPaint(false);
  const std::string file = SaveView(v.map, "generated_map_view.png");
  const RgbImage img = ReadWithImageMagick("'" + file + "'", 640, 480);

  // The generated image: longitudes 6.5..10.5 over x = 30..870, latitudes
  // 48.5..46.5 over y = 30..570; shown at 0.8 from its top-left corner (the
  // frame is drawn over the view's edge, it does not move the image). The
  // graticule every 0.25 degrees is drawn in the graticule colour.
  const auto viewX = [](double lon) { return 0.8 * (30 + (lon - 6.5) / 4 * 840); };
  const auto viewY = [](double lat) { return 0.8 * (30 + (48.5 - lat) / 2 * 540); };
  const TColor grat = v.map.ColorGraticule();
  for (const double lon : {7.25, 7.75, 8.25, 8.75, 9.25, 9.75}) {
    // Between the labelled grid lines of the image, away from the labels.
    EXPECT_GT(LineShare(img, true, viewX(lon), 60, 420, grat), 0.7) << "meridian " << lon;
    EXPECT_LT(ColumnShare(img, static_cast<int>(viewX(lon + 0.125)), 60, 420, grat), 0.1)
        << "between meridians " << lon;
  }
  for (const double lat : {47.25, 47.75, 48.25}) {
    EXPECT_GT(LineShare(img, false, viewY(lat), 60, 600, grat), 0.7) << "parallel " << lat;
    EXPECT_LT(RowShare(img, static_cast<int>(viewY(lat - 0.125)), 60, 600, grat), 0.1)
        << "between parallels " << lat;
  }
  // Bern's triangle, red on yellow, and the highlighted Zurich, blue on
  // aqua, where their positions put them.
  const auto count = [&](double lat, double lon, TColor c) {
    const int cx = static_cast<int>(std::lround(viewX(lon)));
    const int cy = static_cast<int>(std::lround(viewY(lat)));
    int n = 0;
    for (int y = cy - 6; y <= cy + 6; ++y)
      for (int x = cx - 6; x <= cx + 6; ++x) n += Near(img.At(x, y), c);
    return n;
  };
  EXPECT_GT(count(46.95, 7.45, clRed), 4);
  EXPECT_GT(count(46.95, 7.45, clYellow), 4);
  EXPECT_GT(count(47.37, 8.54, clAqua), 8);
  EXPECT_EQ(count(47.37, 8.54, clRed), 0);
  // The lowered frame: a grey edge at the top left, white at the bottom right.
  EXPECT_FALSE(Near(img.At(0, 240), clWhite, 40));
  EXPECT_TRUE(Near(img.At(639, 240), clWhite, 40));
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
  const RgbImage view = ReadWithImageMagick("'" + file + "'", 1024, 768);

  // At 0.64 the 1600 x 1200 image fills the 1024 x 768 view exactly. The
  // calibration is linear in UTM: x = 80 + (E - 400000) / 125, y = 1120 -
  // (N - 5200000) / 125, so the 20-km grid lines are straight, vertical and
  // horizontal, at these control positions.
  for (int e = 420000; e <= 560000; e += 20000) {
    const double x = 0.64 * (80 + (e - 400000) / 125.0);
    EXPECT_GT(LineShare(view, true, x, 20, 748, clNavy), 0.8) << "easting " << e;
    EXPECT_LT(ColumnShare(view, static_cast<int>(x) + 50, 20, 748, clNavy), 0.1) << "easting " << e;
  }
  for (int n = 5220000; n <= 5340000; n += 20000) {
    const double y = 0.64 * (1120 - (n - 5200000) / 125.0);
    EXPECT_GT(LineShare(view, false, y, 20, 1004, clNavy), 0.8) << "northing " << n;
  }
  // Everywhere else the view is the map image, scaled: compared with the
  // JPEG as ImageMagick decodes and box-filters it, the typical pixel is
  // close (edges and the drawing over the map make the rest).
  const RgbImage expected = ReadWithImageMagick("'" + image + "' -scale 1024x768!", 1024, 768);
  std::vector<int> diffs;
  for (int y = 5; y < 768; y += 17)
    for (int x = 7; x < 1024; x += 19) {
      const auto a = view.At(x, y), b = expected.At(x, y);
      diffs.push_back(
          std::max({std::abs(a[0] - b[0]), std::abs(a[1] - b[1]), std::abs(a[2] - b[2])}));
    }
  std::sort(diffs.begin(), diffs.end());
  EXPECT_LE(diffs[diffs.size() / 2], 16) << "median difference";
  EXPECT_LE(diffs[diffs.size() * 3 / 4], 40) << "third quartile";
}

}  // namespace
}  // namespace marovia::test
