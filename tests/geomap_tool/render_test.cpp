// geomap render on the sample atlas: the written image read back with
// libpng, its size and the sample's known land and sea colours; the choice
// of the atlas map; what is drawn over the map; and files that cannot be
// used, each reported in one line while the rest is still done.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "png_reader.h"
#include "run_tool.h"
#include "support/map_kinds.h"
#include "support/temp_dir.h"

namespace marovia::geomaptool::test {
namespace {

namespace fs = std::filesystem;

// The sample's flat colours as the view shows them: the map control
// composes with five bits per channel (v5 << 3 | v5 >> 2), and the JPEG
// images are within one level of the nominal colour.
constexpr TRgbImage::TPixel kLand{239, 222, 189};  // #E8DEBC
constexpr TRgbImage::TPixel kSea{165, 198, 231};   // #A0C4E8

bool Near(TRgbImage::TPixel P, TRgbImage::TPixel Q, int Tolerance = 10) {
  return std::abs(P.R - Q.R) <= Tolerance && std::abs(P.G - Q.G) <= Tolerance &&
         std::abs(P.B - Q.B) <= Tolerance;
}

// Pixels of exactly this colour.
int Count(const TRgbImage& Image, TRgbImage::TPixel Colour) {
  int n = 0;
  for (int y = 0; y < Image.Height; ++y)
    for (int x = 0; x < Image.Width; ++x) n += Near(Image.At(x, y), Colour, 0);
  return n;
}

TRgbImage Render(const std::vector<std::string>& Args, const std::string& Png) {
  std::vector<std::string> args = {"render"};
  args.insert(args.end(), Args.begin(), Args.end());
  args.insert(args.end(), {"-o", Png});
  const TResult r = RunTool(args);
  EXPECT_EQ(r.Status, kExitOk) << r.Err;
  TRgbImage image;
  EXPECT_TRUE(ReadPng(Png, image)) << Png;
  return image;
}

TEST(GeomapRender, WritesTheViewAskedForWithTheSampleColours) {
  const marovia::test::TempDir dir;
  // The overview map: open sea in the Ionian Sea, land in central Russia,
  // each far from coasts, borders and graticule lines.
  struct Case {
    const char* Center;
    TRgbImage::TPixel Colour;
  };
  for (const Case& c : {Case{"35,18", kSea}, Case{"55,45", kLand}}) {
    const TRgbImage view = Render(
        {Sample("overview_miller.xml"), "--center", c.Center, "--mag", "1", "--size", "64x48"},
        dir.File("view.png"));
    ASSERT_EQ(view.Width, 64);
    ASSERT_EQ(view.Height, 48);
    for (const auto& [x, y] : {std::pair{32, 24}, {5, 5}, {58, 42}}) {
      const auto p = view.At(x, y);
      EXPECT_TRUE(Near(p, c.Colour))
          << c.Center << " at " << x << "," << y << ": " << p.R << " " << p.G << " " << p.B;
    }
  }
}

TEST(GeomapRender, FitsTheWholeMapByDefaultAndCentresIt) {
  const marovia::test::TempDir dir;
  // The Alps map is 1600 x 1150: fitted into 400 x 400 it fills the width
  // and leaves bands of the background (silver) above and below.
  const TRgbImage view = Render({Sample("alps_eqc.xml"), "--size", "400x400"}, dir.File("a.png"));
  ASSERT_EQ(view.Width, 400);
  const TRgbImage::TPixel silver{198, 198, 198};  // 0xC0C0C0 in five bits per channel
  EXPECT_TRUE(Near(view.At(200, 5), silver, 2));
  EXPECT_TRUE(Near(view.At(200, 394), silver, 2));
  EXPECT_FALSE(Near(view.At(200, 200), silver, 2));
}

TEST(GeomapRender, WritesBmpAndJpegByTheExtension) {
  const marovia::test::TempDir dir;
  for (const char* name : {"v.bmp", "v.jpg", "v.JPEG"}) {
    const TResult r =
        RunTool({"render", Sample("alps_eqc.xml"), "--size", "120x90", "-o", dir.File(name)});
    ASSERT_EQ(r.Status, kExitOk) << r.Err;
    const std::string bytes = dir.Read(name);
    if (name[2] == 'b') {
      ASSERT_GE(bytes.size(), 26u);
      EXPECT_EQ(bytes.substr(0, 2), "BM");
      int32_t w = 0, h = 0;
      std::memcpy(&w, bytes.data() + 18, 4);
      std::memcpy(&h, bytes.data() + 22, 4);
      EXPECT_EQ(w, 120);
      EXPECT_EQ(std::abs(h), 90);
    } else {
      EXPECT_EQ(bytes.substr(0, 2), "\xFF\xD8");
    }
  }
}

TEST(GeomapRender, TakesTheAtlasMapThatCoversTheViewBest) {
  const marovia::test::TempDir dir;
  struct Case {
    const char* Center;
    const char* Mag;
    const char* Map;
  };
  const Case cases[] = {
      {"47.37,8.54", "1", "zurich_utm32.xml"},    // every nested map holds Zurich
      {"40.42,-3.70", "1", "iberia_stereo.xml"},  // Madrid
      {"0,20", "1", "overview_miller.xml"},       // only the overview reaches the equator
      {"46.9,7.6", "1", "switzerland_eqc.xml"},   // the Zurich map holds it, at its edge
      {"47.37,8.54", "0.1", "europe_lcc.xml"},    // none fills this one: the map filling most
  };
  for (const Case& c : cases) {
    const TResult r = RunTool({"render", Sample(), "--center", c.Center, "--mag", c.Mag, "--size",
                               "320x240", "-o", dir.File("atlas.png")});
    EXPECT_EQ(r.Status, kExitOk) << c.Center << r.Err;
    EXPECT_NE(r.Out.find(c.Map), std::string::npos) << c.Center << " " << r.Out;
  }
  const TResult none =
      RunTool({"render", Sample(), "--center", "-60,100", "-o", dir.File("none.png")});
  EXPECT_EQ(none.Status, kExitBadInput);
  EXPECT_NE(none.Err.find("no map of the atlas contains"), std::string::npos) << none.Err;
  EXPECT_FALSE(fs::exists(dir.File("none.png")));
}

TEST(GeomapRender, DrawsTheGridAndTheLandmarksAskedFor) {
  const marovia::test::TempDir dir;
  const std::string zurich = Sample("zurich_utm32.xml");
  const TRgbImage plain = Render({zurich, "--size", "400x300"}, dir.File("plain.png"));
  const TRgbImage grid = Render(
      {zurich, "--size", "400x300", "--grid", "utm", "--utm-step", "10000"}, dir.File("grid.png"));
  // The grid is drawn in the control's graticule colour, pure blue.
  const TRgbImage::TPixel blue{0, 0, 255};
  EXPECT_EQ(Count(plain, blue), 0);
  EXPECT_GT(Count(grid, blue), 400);  // at least a dozen lines across the view

  // The capitals are red squares: Bern lies on the Switzerland map.
  const std::string swiss = Sample("switzerland_eqc.xml");
  const TRgbImage::TPixel red{255, 0, 0};
  const TRgbImage bare = Render({swiss, "--size", "400x250"}, dir.File("bare.png"));
  const TRgbImage marked = Render(
      {swiss, "--size", "400x250", "--landmarks", Sample("landmarks.xml")}, dir.File("lm.png"));
  EXPECT_EQ(Count(bare, red), 0);
  EXPECT_GT(Count(marked, red), 10);
}

// A copy of the sample atlas in which files can be damaged.
struct AtlasCopy {
  AtlasCopy() {
    for (const auto& e : fs::directory_iterator(Sample())) {
      fs::copy_file(e.path(), dir.Path() / e.path().filename());
    }
  }
  std::string File(const std::string& Name) const { return dir.File(Name); }
  void Write(const std::string& Name, const std::string& Bytes) const { dir.Write(Name, Bytes); }
  std::string Read(const std::string& Name) const { return dir.Read(Name); }
  marovia::test::TempDir dir;
};

TEST(GeomapRender, ReportsEachUnusableFileInOneLineAndGoesOn) {
  AtlasCopy atlas;
  const marovia::test::TempDir out;
  // A damaged calibration: the point count lies.
  std::string alps = atlas.Read("alps_eqc.xml");
  alps.replace(alps.find("npoints=\"12\""), 12, "npoints=\"13\"");
  atlas.Write("alps_eqc.xml", alps);
  // A map whose image is cut short, one whose image is missing, a landmark
  // file of garbage and a calibration of random bytes.
  const std::string jpeg = atlas.Read("switzerland_eqc.jpg");
  atlas.Write("switzerland_eqc.jpg", jpeg.substr(0, jpeg.size() / 3));
  fs::remove(atlas.File("iberia_stereo.jpg"));
  atlas.Write("garbage_landmarks.xml", std::string(5000, '\xA7'));
  atlas.Write("random.xml", std::string("\x89\x01\xFF<geomap\0", 12));

  struct Case {
    std::vector<std::string> Args;
    const char* Message;
  };
  const Case cases[] = {
      {{atlas.File("alps_eqc.xml")}, "alps_eqc.xml: "},
      {{atlas.File("switzerland_eqc.xml")}, "switzerland_eqc.xml: "},
      {{atlas.File("iberia_stereo.xml")}, "iberia_stereo.jpg not found"},
      {{atlas.File("nonexistent.xml")}, "nonexistent.xml\": cannot open"},
      {{atlas.File("landmarks.xml")}, "no calibration data set found"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"render"};
    args.insert(args.end(), c.Args.begin(), c.Args.end());
    args.insert(args.end(), {"-o", out.File("x.png")});
    const TResult r = RunTool(args);
    EXPECT_EQ(r.Status, kExitBadInput) << c.Args[0];
    EXPECT_EQ(Lines(r.Err), 1) << r.Err;
    EXPECT_NE(r.Err.find(c.Message), std::string::npos) << r.Err;
    EXPECT_FALSE(fs::exists(out.File("x.png")));
  }

  // A landmark file that cannot be used still leaves the view drawn.
  const TResult lm = RunTool({"render", atlas.File("zurich_utm32.xml"), "--landmarks",
                              atlas.File("garbage_landmarks.xml"), "-o", out.File("lm.png")});
  EXPECT_EQ(lm.Status, kExitBadInput);
  EXPECT_EQ(Lines(lm.Err), 1) << lm.Err;
  EXPECT_TRUE(fs::exists(out.File("lm.png")));

  // In the atlas folder the files that cannot be read are reported and the
  // others used: Zurich still has the Europe and overview maps around it.
  // (The Iberia map is no candidate there.) A map whose image turns out to
  // be damaged is reported when it is the one the view would draw, and the
  // next best is drawn instead.
  const TResult r = RunTool({"render", atlas.File(""), "--center", "47.37,8.54", "--mag", "0.3",
                             "-o", out.File("atlas.png")});
  EXPECT_EQ(r.Status, kExitBadInput) << r.Err;
  EXPECT_TRUE(fs::exists(out.File("atlas.png")));
  for (const char* bad : {"alps_eqc.xml", "random.xml"}) {
    EXPECT_NE(r.Err.find(bad), std::string::npos) << bad << "\n" << r.Err;
  }
  const TResult swiss = RunTool({"render", atlas.File(""), "--center", "46.8,8.2", "--mag", "1",
                                 "-o", out.File("swiss.png")});
  EXPECT_EQ(swiss.Status, kExitBadInput) << swiss.Err;
  EXPECT_NE(swiss.Err.find("switzerland_eqc.xml: "), std::string::npos) << swiss.Err;
  EXPECT_NE(swiss.Out.find("europe_lcc.xml"), std::string::npos) << swiss.Out;
}

TEST(GeomapRender, FailsWithStatusThreeWhenTheImageCannotBeWritten) {
  const marovia::test::TempDir dir;
  const TResult r = RunTool({"render", Sample("alps_eqc.xml"), "--size", "64x64", "-o",
                             dir.File("no/such/folder/v.png")});
  EXPECT_EQ(r.Status, kExitIo);
  EXPECT_EQ(Lines(r.Err), 1) << r.Err;
  EXPECT_EQ(r.Out, "");
}

TEST(GeomapRender, RefusesACentreOffTheMap) {
  const marovia::test::TempDir dir;
  const TResult r =
      RunTool({"render", Sample("alps_eqc.xml"), "--center", "60,30", "-o", dir.File("v.png")});
  EXPECT_EQ(r.Status, kExitBadInput);
  EXPECT_NE(r.Err.find("is not on the map"), std::string::npos) << r.Err;
  EXPECT_FALSE(fs::exists(dir.File("v.png")));
}

// A six-band scene made by another program: by default its first three
// bands are its colours; one band asked for is grey; a display that cannot
// be is a usage error.
TEST(GeomapRender, ShowsTheBandsAskedFor) {
  const marovia::test::TempDir dir;
  fs::copy_file(std::string(MAROVIA_TEST_DATA_DIR) + "/codecs/samples/L7_ETMs.tif",
                dir.File("scene.tif"));
  const std::string cal = dir.File("scene.xml");
  SaveCalibrationAsXML(cal, "scene", marovia::test::KindCalibration(349, 352, "scene.tif"));
  const auto coloured = [](const TRgbImage& View) {
    int n = 0;
    for (int y = 0; y < View.Height; ++y)
      for (int x = 0; x < View.Width; ++x) {
        const auto p = View.At(x, y);
        n += p.R != p.G || p.G != p.B;
      }
    return n;
  };
  EXPECT_GT(coloured(Render({cal, "--size", "349x352"}, dir.File("a.png"))), 10000);
  EXPECT_EQ(coloured(Render({cal, "--size", "349x352", "--bands", "2", "--stretch", "minmax"},
                            dir.File("b.png"))),
            0);
  for (const char* bands : {"1,2", "x"}) {
    const TResult r = RunTool({"render", cal, "--bands", bands, "-o", dir.File("c.png")});
    EXPECT_EQ(r.Status, kExitUsage) << r.Err;
    EXPECT_NE(r.Err.find("--bands"), std::string::npos) << r.Err;
  }
}

}  // namespace
}  // namespace marovia::geomaptool::test
