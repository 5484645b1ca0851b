// The conventions the tools share and the failures they report before doing
// any work: UTM zones with their latitude band, as geoconvert writes them;
// an output folder that is not there; longitudes west to east.
#include <gtest/gtest.h>

#include "marovia/geomap/geomap.h"
#include "run_tool.h"
#include "support/temp_dir.h"

namespace marovia::geomaptool::test {
namespace {

// The tools read the image for its size alone: a BMP header of 1000 x 1000
// pixels stands for it.
void WriteBmpHeaderOnly(const marovia::test::TempDir& Dir, const std::string& Name) {
  std::string bmp = "BM" + std::string(52, '\0');
  bmp[14] = 40;                       // info header size
  bmp[18] = static_cast<char>(0xE8);  // width 1000
  bmp[19] = 3;
  bmp[22] = static_cast<char>(0xE8);  // height 1000
  bmp[23] = 3;
  bmp[26] = 1;   // planes
  bmp[28] = 24;  // bits per pixel
  Dir.Write(Name, bmp);
}

TEST(GeomapCalibrate, TakesTheZoneWithItsLatitudeBand) {
  const marovia::test::TempDir dir;
  // Four UTM points of a 1000 x 1000 image, 10 km apart.
  const std::string points = dir.Write("p.txt",
                                       "0 0 5300000 400000\n1000 0 5300000 410000\n"
                                       "0 1000 5290000 400000\n1000 1000 5290000 410000\n");
  WriteBmpHeaderOnly(dir, "map.bmp");
  struct Row {
    const char* Zone;
    int Status;
    THemisphere Hemisphere;
  } const rows[] = {
      {"32T", kExitOk, hemiNorth},    {"32N", kExitOk, hemiNorth},  // N: north either way
      {"32H", kExitOk, hemiSouth},    {"32c", kExitOk, hemiSouth},
      {"33S", kExitUsage, hemiNorth},  // band S or the south: refused
      {"32", kExitUsage, hemiNorth},  {"32I", kExitUsage, hemiNorth},
      {"61T", kExitUsage, hemiNorth},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Zone);
    const TResult res = RunTool({"calibrate", points, "-i", dir.File("map.bmp"), "-m", "utm",
                                 "--utm-zone", r.Zone, "-o", dir.File("cal.xml")});
    EXPECT_EQ(res.Status, r.Status) << res.Err;
    if (r.Status != kExitOk) continue;
    TCalibData data;
    TCalibModel model = cmUndefined;
    ASSERT_TRUE(ParseCalibData(dir.File("cal.xml"), "", data, model));
    EXPECT_EQ(data.UTMZone, 32);
    EXPECT_EQ(data.UTMSouth, r.Hemisphere == hemiSouth);
  }
}

TEST(GeomapCalibrate, AMissingOutputFolderFailsBeforeTheReport) {
  const marovia::test::TempDir dir;
  const std::string points = dir.Write("p.txt", "0 0 47 8\n100 0 47 9\n0 100 46 8\n");
  WriteBmpHeaderOnly(dir, "map.bmp");
  const TResult r = RunTool({"calibrate", points, "-i", dir.File("map.bmp"), "-m", "equirect", "-o",
                             dir.File("missing/x.xml")});
  EXPECT_EQ(r.Status, kExitIo);
  EXPECT_EQ(r.Out, "");  // no report of a job that cannot end well
  EXPECT_NE(r.Err.find("does not exist"), std::string::npos) << r.Err;
}

TEST(GeomapGenerate, RefusesLongitudesEastToWest) {
  const marovia::test::TempDir dir;
  const TResult r =
      RunTool({"generate", dir.File("g.xml"), "--lat", "-20,-10", "--lon", "170,-170"});
  EXPECT_EQ(r.Status, kExitUsage);
  EXPECT_NE(r.Err.find("180th meridian"), std::string::npos) << r.Err;
}

}  // namespace
}  // namespace marovia::geomaptool::test
