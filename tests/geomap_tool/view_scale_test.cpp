// What a person sees at any resolution and scale: a printed caption and
// symbol keep their size on paper whatever the printer's resolution (read
// back with poppler's pdftoppm), and the tool warns where a view leaves
// something out or shows doubtful positions.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "png_reader.h"
#include "run_tool.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace marovia::geomaptool::test {
namespace {

std::string Shell(const std::string& Command) {
  return marovia::test::RunCommand(Command).Out;
}

// One landmark at Schaffhausen: a cyan square with a magenta caption,
// colours that the sample map does not have. The caption is regular: the
// font engine's synthetic bold thickens glyphs by whole dots.
const char* const kLandmarkFile =
    "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n"
    "<gmlandmarks sig=\"Quorvant\" vers=\"1.0\" id=\"one\">\r\n"
    "<landmark lat=\"47.6959\" long=\"8.6350\" alti=\"0\" class=\"1\" usertag=\"0\" "
    "element=\"square\" size=\"4\" colorfg=\"00FFFF00\" colorbg=\"00FFFF00\" transp=\"FALSE\" "
    "dir=\"0\" leng=\"0\" id=\"sh\" date=\"20250601120000\" captext=\"Schaffhausen\" "
    "capsize=\"9\" capfnm=\"Arial\" capfst=\"0000\" capfgcol=\"00FF00FF\" "
    "capbgcol=\"00FFFFFF\" captransp=\"TRUE\" capdir=\"0\" capdx=\"0\" capdy=\"7\" "
    "caphal=\"2\" capval=\"0\" />\r\n"
    "</gmlandmarks>\r\n";

struct Extent {
  int Left = 1 << 30, Top = 1 << 30, Right = -1, Bottom = -1;
  int Width() const { return Right - Left + 1; }
  int Height() const { return Bottom - Top + 1; }
};

// The box of the pixels for which Match holds.
template <typename Match>
Extent ExtentOf(const TRgbImage& Image, Match&& M) {
  Extent e;
  for (int y = 0; y < Image.Height; ++y)
    for (int x = 0; x < Image.Width; ++x)
      if (M(Image.At(x, y))) {
        e.Left = std::min(e.Left, x), e.Right = std::max(e.Right, x);
        e.Top = std::min(e.Top, y), e.Bottom = std::max(e.Bottom, y);
      }
  return e;
}

TEST(GeomapPrint, CaptionsAndSymbolsKeepTheirSizeOnPaperAtEveryResolution) {
  if (Shell("pdftoppm -v 2>&1").empty()) GTEST_SKIP() << "pdftoppm (poppler-utils) is missing";
  const marovia::test::TempDir dir;
  const std::string landmarks = dir.Write("one.xml", kLandmarkFile);
  Extent caption[3], symbol[3];
  const int dpis[3] = {72, 300, 600};
  for (int k = 0; k < 3; ++k) {
    const std::string dpi = std::to_string(dpis[k]);
    const std::string pdf = dir.File("z" + dpi + ".pdf");
    const TResult r = RunTool({"print", Sample(), "--center", "47.37,8.54", "--mag", "1",
                               "--landmarks", landmarks, "--dpi", dpi, "-o", pdf});
    ASSERT_EQ(r.Status, kExitOk) << r.Err;
    // Every page read back at one resolution.
    Shell("pdftoppm -png -r 96 -singlefile '" + pdf + "' '" + dir.File("z" + dpi) + "'");
    TRgbImage page;
    ASSERT_TRUE(ReadPng(dir.File("z" + dpi + ".png"), page));
    caption[k] =
        ExtentOf(page, [](TRgbImage::TPixel p) { return p.R > 150 && p.G < 100 && p.B > 150; });
    symbol[k] =
        ExtentOf(page, [](TRgbImage::TPixel p) { return p.R < 60 && p.G > 200 && p.B > 200; });
    ASSERT_GT(caption[k].Width(), 30) << dpi << " dpi: the caption is missing";
    ASSERT_GT(symbol[k].Width(), 4) << dpi << " dpi: the symbol is missing";
  }
  // Against 600 dpi: symbols to the pixel; captions to the pixel at 300
  // dpi, and at 72 dpi, where the 9-point caption has a 9-dot em and glyph
  // advances are whole dots, within 5 per cent of its length and two pixels
  // of its height (a dot is 1.33 pixels of the page read back, and the
  // antialiased tips of one-dot strokes may fall below the colour test,
  // depending on the font the system puts in for the caption's).
  for (int k = 0; k < 2; ++k) {
    SCOPED_TRACE(std::to_string(dpis[k]) + " dpi against 600 dpi");
    const bool coarse = dpis[k] < 150;
    EXPECT_NEAR(caption[k].Width(), caption[2].Width(), coarse ? 0.05 * caption[2].Width() : 1);
    EXPECT_NEAR(caption[k].Height(), caption[2].Height(), coarse ? 2 : 1);
    EXPECT_NEAR(symbol[k].Width(), symbol[2].Width(), 1);
    EXPECT_NEAR(symbol[k].Height(), symbol[2].Height(), 1);
  }
}

// The job is done (status 0) and each doubt is one warning line.
TEST(GeomapRender, WarnsWhereTheViewLeavesSomethingOut) {
  const marovia::test::TempDir dir;
  struct Row {
    std::vector<std::string> Args;
    int Status;
    const char* Warning;  // nullptr: no output on stderr
  };
  const Row rows[] = {
      {{Sample("alps_eqc.xml"), "--grid", "lines"}, kExitOk, nullptr},
      {{Sample("alps_eqc.xml"), "--grid", "lines", "--grid-step", "0.0001"},
       kExitOk,
       "graticule lines over the map, more than 10000: none is drawn"},
      {{Sample("alps_eqc.xml"), "--grid", "utm"}, kExitOk, "needs a utm calibration"},
      {{Sample("alps_eqc.xml"), "--labels", "some"}, kExitUsage, "is not place or all"},
  };
  for (const Row& r : rows) {
    std::vector<std::string> args = {"render"};
    args.insert(args.end(), r.Args.begin(), r.Args.end());
    args.insert(args.end(), {"-o", dir.File("v.png")});
    const TResult res = RunTool(args);
    SCOPED_TRACE(args[2] + " " + (args.size() > 4 ? args[4] : ""));
    EXPECT_EQ(res.Status, r.Status) << res.Err;
    if (r.Warning == nullptr) {
      EXPECT_EQ(res.Err, "");
    } else {
      EXPECT_NE(res.Err.find(r.Warning), std::string::npos) << res.Err;
      EXPECT_EQ(Lines(res.Err), 1) << res.Err;
    }
  }
}

TEST(GeomapRender, WarnsAboutACalibrationPointFarFromItsFit) {
  const marovia::test::TempDir dir;
  ASSERT_EQ(RunTool({"generate", dir.File("blank.xml"), "--lat", "45,48", "--lon", "5,11", "--size",
                     "600x300"})
                .Status,
            kExitOk);
  // x = (lon - 5) * 100, y = (48 - lat) * 100; the fifth point is clicked
  // 300 pixels off.
  const std::string points = dir.Write("points.txt",
                                       "100 100 47 6\n500 100 47 10\n100 200 46 6\n"
                                       "500 200 46 10\n300 150 46.5 5\n");
  const TResult cal = RunTool({"calibrate", points, "-i", dir.File("blank.bmp"), "-m", "equirect",
                               "-o", dir.File("bad.xml")});
  ASSERT_EQ(cal.Status, kExitOk) << cal.Err;
  const TResult r = RunTool({"render", dir.File("bad.xml"), "-o", dir.File("v.png")});
  EXPECT_EQ(r.Status, kExitOk);
  EXPECT_NE(r.Err.find("warning: "), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find("calibration point 5 lies"), std::string::npos) << r.Err;
}

}  // namespace
}  // namespace marovia::geomaptool::test
