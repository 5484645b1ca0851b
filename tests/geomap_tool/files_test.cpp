// geomap info, generate and print.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "marovia/geomap/calxml.h"
#include "run_tool.h"
#include "support/temp_dir.h"

namespace marovia::geomaptool::test {
namespace {

namespace fs = std::filesystem;

int Count(const std::string& Text, const std::string& Word) {
  int n = 0;
  for (auto at = Text.find(Word); at != std::string::npos; at = Text.find(Word, at + 1)) ++n;
  return n;
}

TEST(GeomapInfo, ReportsEverySampleWithItsResiduals) {
  const TResult r = RunTool({"info", Sample()});
  ASSERT_EQ(r.Status, kExitOk) << r.Err;
  EXPECT_EQ(r.Err, "");
  for (const char* model : {"model:       equirect", "model:       utm, zone 32 north",
                            "model:       millercylindrical", "model:       conicconformal",
                            "model:       biquadraticpn", "model:       parabolicip"}) {
    EXPECT_NE(r.Out.find(model), std::string::npos) << model;
  }
  EXPECT_EQ(Count(r.Out, "resolution:"), 7);
  EXPECT_NE(r.Out.find("577.98"), std::string::npos);  // the Alps map's resolution
  // Line model: 7 meridians of 6 points and 5 parallels of 7 points.
  EXPECT_NE(r.Out.find("lines:       7 meridian(s), 5 parallel(s)"), std::string::npos);
  EXPECT_EQ(Count(r.Out, " meridian "), 7 * 6);
  EXPECT_EQ(Count(r.Out, " parallel "), 5 * 7);
  // The same report for the files named one by one.
  std::vector<std::string> args = {"info"};
  for (const char* f : {"alps_eqc", "british_isles_albers", "europe_lcc", "iberia_stereo",
                        "overview_miller", "switzerland_eqc", "zurich_utm32"}) {
    args.push_back(Sample(std::string(f) + ".xml"));
  }
  const TResult files = RunTool(args);
  EXPECT_EQ(files.Out, r.Out);
}

TEST(GeomapInfo, ReportsADamagedFileAndGoesOn) {
  const marovia::test::TempDir dir;
  const std::string bad =
      dir.Write("bad.xml",
                "<geomap sig=\"Quorvant\" id=\"x\" model=\"equirect\" map=\"m.jpg\">\n"
                "<calquads npoints=\"3\">\n[1,2,3,4]\n</calquads>\n</geomap>\n");
  const TResult r = RunTool({"info", bad, Sample("alps_eqc.xml"), dir.File("missing.xml")});
  EXPECT_EQ(r.Status, kExitBadInput);
  EXPECT_EQ(Lines(r.Err), 2) << r.Err;
  EXPECT_EQ(Count(r.Out, "resolution:"), 1);
}

TEST(GeomapGenerate, WritesABlankGridMapThatLoadsAndDraws) {
  const marovia::test::TempDir dir;
  const TResult r = RunTool({"generate", dir.File("Blank Grid.png"), "--lat", "48,45", "--lon",
                             "5,11", "--step", "0.5,1", "--size", "600x400"});
  ASSERT_EQ(r.Status, kExitOk) << r.Err;
  ASSERT_TRUE(fs::exists(dir.File("Blank Grid.xml")));
  ASSERT_TRUE(fs::exists(dir.File("Blank Grid.bmp")));
  EXPECT_NE(r.Out.find("600 x 400 pixels"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("biquadraticpn"), std::string::npos) << r.Out;

  TCalibData data;
  TCalibModel model = cmUndefined;
  ASSERT_TRUE(ParseCalibData(dir.File("Blank Grid.xml"), "", data, model));
  EXPECT_EQ(model, cmBiquadraticPn);
  EXPECT_EQ(data.NumCalQuads, 9);
  // The image by its file name, and the corners and resolution of the fit:
  // the limits lie on a frame 30 pixels inside the image, the corners of the
  // image beyond them.
  EXPECT_EQ(data.MapFName, "Blank Grid.bmp");
  EXPECT_GT(data.Corners[gcoTopLeft].Latit, 48);
  EXPECT_LT(data.Corners[gcoTopLeft].Longit, 5);
  EXPECT_LT(data.Corners[gcoBottomRight].Latit, 45);
  EXPECT_GT(data.Corners[gcoBottomRight].Longit, 11);
  // 6 degrees of longitude at 46.5 N on 540 pixels.
  EXPECT_NEAR(data.Resolution, 6 * 111000 * std::cos(46.5 * M_PI / 180) / 540, 30);

  const TResult view = RunTool({"render", dir.File("Blank Grid.xml"), "--center", "46.5,8",
                                "--size", "200x200", "-o", dir.File("view.png")});
  EXPECT_EQ(view.Status, kExitOk) << view.Err;
}

TEST(GeomapPrint, WritesAOnePagePdf) {
  const marovia::test::TempDir dir;
  const TResult r = RunTool({"print", Sample("europe_lcc.xml"), "--grid", "lines", "--dpi", "72",
                             "--landscape", "-o", dir.File("europe.pdf")});
  ASSERT_EQ(r.Status, kExitOk) << r.Err;
  const std::string pdf = dir.Read("europe.pdf");
  EXPECT_EQ(pdf.substr(0, 5), "%PDF-");
  // One page in the page tree; its newer version, appended, places it on
  // the earth.
  EXPECT_EQ(Count(pdf, "/Type /Pages"), 1);
  EXPECT_EQ(Count(pdf, "/Count 1\n"), 1) << "one page";
  EXPECT_EQ(Count(pdf, "/VP ["), 1);
  EXPECT_EQ(Count(pdf, "/Subtype /GEO"), 1);

  const TResult bad = RunTool({"print", Sample("europe_lcc.xml"), "-o", dir.File("no/dir/x.pdf")});
  EXPECT_EQ(bad.Status, kExitIo);
  EXPECT_EQ(Lines(bad.Err), 1) << bad.Err;
}

}  // namespace
}  // namespace marovia::geomaptool::test
