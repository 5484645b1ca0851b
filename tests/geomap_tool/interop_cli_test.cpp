// geomap import and export: every format written from a sample map, an
// export read back by import, and the refusals with their exit statuses
// (a map that is not affine as a world file, an unknown format, a world
// file without CRS), none of which leaves a file behind.
#include <gtest/gtest.h>

#include <filesystem>

#include "run_tool.h"
#include "support/temp_dir.h"

namespace marovia::geomaptool::test {
namespace {

TEST(ImportExport, EveryFormatIsWrittenAndAMapFileImportsAgain) {
  marovia::test::TempDir dir;
  const struct {
    const char* Format;
    const char* File;
  } kFormats[] = {{"worldfile", "utm.jgw"}, {"map", "utm.map"}, {"points", "utm.points"},
                  {"vrt", "utm.vrt"},       {"kml", "utm.kml"}, {"kmz", "utm.kmz"}};
  for (const auto& f : kFormats) {
    const TResult r =
        RunTool({"export", Sample("zurich_utm32.xml"), "--to", f.Format, "-o", dir.File(f.File)});
    EXPECT_EQ(r.Status, kExitOk) << f.Format << r.Err;
    EXPECT_TRUE(std::filesystem::exists(dir.File(f.File))) << f.Format;
  }
  const TResult back = RunTool({"import", dir.File("utm.map"), "-o", dir.File("back.xml")});
  EXPECT_EQ(back.Status, kExitOk) << back.Err;
  EXPECT_NE(back.Out.find("model utm"), std::string::npos) << back.Out;
  EXPECT_TRUE(std::filesystem::exists(dir.File("back.xml")));
}

TEST(ImportExport, RefusalsLeaveNoFile) {
  marovia::test::TempDir dir;
  const TResult conic =
      RunTool({"export", Sample("europe_lcc.xml"), "--to", "worldfile", "-o", dir.File("e.jgw")});
  EXPECT_EQ(conic.Status, kExitBadInput);
  EXPECT_NE(conic.Err.find("conicconformal"), std::string::npos) << conic.Err;
  const TResult format =
      RunTool({"export", Sample("zurich_utm32.xml"), "--to", "tiff", "-o", dir.File("z.tif")});
  EXPECT_EQ(format.Status, kExitUsage);
  std::filesystem::copy_file(Sample("zurich_utm32.jpg"), dir.File("scan.jpg"));
  dir.Write("scan.jgw", "10\n0\n0\n-10\n465005\n5250995\n");
  const TResult noCrs = RunTool({"import", dir.File("scan.jpg"), "-o", dir.File("scan.xml")});
  EXPECT_EQ(noCrs.Status, kExitBadInput);
  EXPECT_NE(noCrs.Err.find("scan.prj"), std::string::npos) << noCrs.Err;
  EXPECT_FALSE(std::filesystem::exists(dir.File("scan.xml")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("e.jgw")));
  const TResult withCrs =
      RunTool({"import", dir.File("scan.jgw"), "--crs", "EPSG:32632", "-o", dir.File("scan.xml")});
  EXPECT_EQ(withCrs.Status, kExitOk) << withCrs.Err;
  EXPECT_NE(withCrs.Out.find("model utm"), std::string::npos) << withCrs.Out;
}

// An export that cannot be exact says what a reader will see, an exact one
// says nothing; an annotation of the image file imports again from another
// folder (its target a file: URI); a static IIIF image needs its address.
TEST(ImportExport, ReadBackNotesAnnotationsAndIiifImages) {
  marovia::test::TempDir dir;
  const TResult conic =
      RunTool({"export", Sample("europe_lcc.xml"), "--to", "map", "-o", dir.File("e.map")});
  EXPECT_EQ(conic.Status, kExitOk) << conic.Err;
  EXPECT_NE(conic.Err.find("note: " + dir.File("e.map") + ": a reader fits "), std::string::npos)
      << conic.Err;
  const TResult exact =
      RunTool({"export", Sample("alps_eqc.xml"), "--to", "iiif-annotation", "-o", dir.File("a.json")});
  EXPECT_EQ(exact.Status, kExitOk) << exact.Err;
  EXPECT_EQ(exact.Err, "");
  const TResult back = RunTool({"import", dir.File("a.json"), "-o", dir.File("a.xml")});
  EXPECT_EQ(back.Status, kExitOk) << back.Err;
  EXPECT_NE(back.Out.find("model equirect, image " + Sample("alps_eqc.jpg")), std::string::npos)
      << back.Out;
  const TResult noAddress =
      RunTool({"export", Sample("alps_eqc.xml"), "--to", "iiif-image", "-o", dir.File("iiif")});
  EXPECT_EQ(noAddress.Status, kExitUsage);
  EXPECT_FALSE(std::filesystem::exists(dir.File("iiif")));
}

}  // namespace
}  // namespace marovia::geomaptool::test
