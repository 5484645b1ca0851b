// Writing calibration files: the text-file and stream layouts, the number
// forms, records beyond their capacities, failed saves, well-formed XML.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "calxml_test_support.h"
#include "marovia/geomap/calxml.h"
#include "support/file_size_limit.h"
#include "support/temp_dir.h"
#include "support/xmllint.h"

namespace marovia {
namespace {

using test::AddLine;
using test::AddQuad;
using test::Line;

const std::string kHead =
    "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n"
    "\r\n"
    "<!-- TGeoMap Calibration / Quorvant -->\r\n";

TCalibData Sample() {
  TCalibData cd;
  cd.MapFName = "Maps/Alps.JPG";
  cd.Caption = "Caf\xC3\xA9 \"Alpen\" <b> & \xD0\x96";  // Zhe is not in the code page
  cd.Corners = {TCoords{47.5, 16.25}, TCoords{-1.000004, -0.5}, TCoords{12.345675, 100},
                TCoords{0, -179.999999}};
  cd.Resolution = 12.3456;
  cd.UTMZone = 60;
  cd.UTMSouth = true;
  cd.Ellipsoid = gelWGS72;
  AddLine(cd, Line(gtlParallel, 47.5, {{1, 2}, {-3, 4}, {5, 6}}));
  AddLine(cd, Line(gtlMeridian, 1.5e-5, {{7, 8}}));
  AddQuad(cd, 47.5, 16, 120, -35);
  AddQuad(cd, -0.25, 5200000, 0, 2147483647);
  return cd;
}

std::string WrittenText(bool header, const TCalibData& cd, TCalibModel model,
                        const std::string& id = "Set \"1\"") {
  test::TempDir dir;
  test::WriteTextFile(dir.File("c.xml"), [&](TTextFile& f) {
    WriteRawCalDataToOpenXMLFile(f, header, id, cd, model);
  });
  return dir.Read("c.xml");
}

TEST(CalXmlWrite, TextFileLayout) {
  EXPECT_EQ(WrittenText(true, Sample(), cmUTM),
            kHead +
                "<geomap sig=\"Quorvant\" vers=\"1.0\" id=\"Set &quot;1&quot;\" model=\"utm\" "
                "map=\"Maps/Alps.JPG\" caption=\"Caf\xE9 &quot;Alpen&quot; &lt;b&gt; &amp; "
                "&#1046;\">\r\n"
                "<corners>\r\n"
                "[47.50000,16.25000] [-1.00000,-0.50000] [12.34568,100.00000] "
                "[0.00000,-180.00000] \r\n"
                "</corners>\r\n"
                "<resolution>12.346</resolution>\r\n"
                "<utmzone>60</utmzone>\r\n"
                "<utmsouth>TRUE</utmsouth>\r\n"
                "<ellipsoid>gelWGS72</ellipsoid>\r\n"
                "<calline type=\"parallel\" value=\"47.5\" npoints=\"3\">\r\n"
                "[1,2] [-3,4] [5,6] \r\n"
                "</calline>\r\n"
                "<calline type=\"meridian\" value=\"1.5E-5\" npoints=\"1\">\r\n"
                "[7,8] \r\n"
                "</calline>\r\n"
                "<calquads npoints=\"2\">\r\n"
                "[47.50000,16.00000,120,-35] [-0.25000,5200000.00000,0,2147483647] \r\n"
                "</calquads>\r\n"
                "</geomap>\r\n");
}

TEST(CalXmlWrite, OptionalLinesFollowTheirConditions) {
  TCalibData cd;  // no lines, no quadruples, resolution 0
  cd.UTMZone = 0;
  const std::string bare =
      "<geomap sig=\"Quorvant\" vers=\"1.0\" id=\"\" model=\"undefined\" "
      "map=\"\" caption=\"\">\r\n"
      "<corners>\r\n"
      "[0.00000,0.00000] [0.00000,0.00000] [0.00000,0.00000] "
      "[0.00000,0.00000] \r\n"
      "</corners>\r\n"
      "<ellipsoid>gelWGS84</ellipsoid>\r\n"
      "</geomap>\r\n";
  // Without the header flag the empty line still comes before the comment.
  EXPECT_EQ(WrittenText(false, cd, cmUndefined, ""),
            "\r\n<!-- TGeoMap Calibration / Quorvant -->\r\n" + bare);
  for (const int zone : {-1, 0, 61}) {
    cd.UTMZone = zone;
    EXPECT_EQ(WrittenText(true, cd, cmUndefined, "").find("utm"), std::string::npos) << zone;
  }
  cd.UTMZone = 1;
  EXPECT_NE(WrittenText(true, cd, cmUndefined, "").find("<utmzone>1</utmzone>\r\n<utmsouth>FALSE"),
            std::string::npos);
}

TEST(CalXmlWrite, StreamLayoutAlwaysHasResolutionAndQuadsButNoUTMLines) {
  test::CalTestMap map;
  TCalibData cd;
  cd.UTMZone = 32;
  cd.Caption = "\xC3\xBC";
  map.SetCalibData(cd);
  TMemoryStream s;
  map.SaveCalDataAsXML(s, "S");
  const std::string text(reinterpret_cast<const char*>(s.Memory()), static_cast<size_t>(s.Size()));
  EXPECT_EQ(text, kHead +
                      "<geomap sig=\"Quorvant\" vers=\"1.0\" id=\"S\" model=\"undefined\" "
                      "map=\"\" caption=\"\xFC\">\r\n"
                      "<corners>\r\n"
                      "[0.00000,0.00000] [0.00000,0.00000] [0.00000,0.00000] "
                      "[0.00000,0.00000] \r\n"
                      "</corners>\r\n"
                      "<resolution>0.000</resolution>\r\n"
                      "<calquads npoints=\"0\">\r\n"
                      "\r\n"
                      "</calquads>\r\n"
                      "</geomap>\r\n");
}

TEST(CalXmlWrite, RefusesRecordsBeyondTheirCapacitiesBeforeWritingAnything) {
  const struct {
    const char* what;
    void (*damage)(TCalibData&);
  } cases[] = {
      {"26 lines", [](TCalibData& cd) { cd.NumCalLines = 26; }},
      {"negative line count", [](TCalibData& cd) { cd.NumCalLines = -1; }},
      {"11 points",
       [](TCalibData& cd) {
         cd.NumCalLines = 1;
         cd.CalLines[0].NumPoints = 11;
       }},
      {"201 quadruples", [](TCalibData& cd) { cd.NumCalQuads = 201; }},
      {"unknown ellipsoid",
       [](TCalibData& cd) { cd.Ellipsoid = static_cast<TGeoEllipsoid>(GeoEllipsoidCount); }},
  };
  test::TempDir dir;
  for (const auto& c : cases) {
    TCalibData cd;
    c.damage(cd);
    TTextFile f(dir.File("x.xml"));
    f.Rewrite();
    EXPECT_THROW(WriteRawCalDataToOpenXMLFile(f, true, "x", cd, cmEquiRect), EZYLGeoMapError)
        << c.what;
    f.CloseFile();
    EXPECT_EQ(dir.Read("x.xml"), "") << c.what;

    test::CalTestMap map;
    map.SetCalibData(cd);
    TMemoryStream s;
    EXPECT_THROW(map.SaveCalDataAsXML(s, "x"), EZYLGeoMapError) << c.what;
    EXPECT_EQ(s.Size(), 0) << c.what;
  }
}

TEST(CalXmlWrite, MapWritersTakeTheImageNameAndFreshCorners) {
  test::TempDir dir;
  const std::string image = dir.File("Shown.bmp");
  TBitmap(1000, 800).SaveToFile(image);
  test::CalTestMap map;
  map.SetMapImgFile(image);
  TCalibData cd = map.CalibData();
  test::AddGrid(cd);
  map.SetCalibData(cd);
  map.SetCalibModel(cmEquiRect);  // fits
  cd = map.CalibData();
  cd.Corners = {};
  cd.Resolution = 0;
  cd.MapFName = "stale.jpg";
  map.SetCalibData(cd);
  map.SaveCalDataAsXML(dir.File("m.xml"), "m");
  EXPECT_EQ(map.CalibData().MapFName, image);
  EXPECT_GT(map.CalibData().Resolution, 0);
  EXPECT_NE(map.CalibData().Corners[gcoTopLeft], TCoords{});
  const std::string text = dir.Read("m.xml");
  EXPECT_NE(text.find("map=\"" + image + "\""), std::string::npos);
  EXPECT_NE(text.find("<resolution>"), std::string::npos);
}

TEST(CalXmlWrite, AFailedSaveLeavesTheExistingFileUnchanged) {
  test::TempDir dir;
  test::CalTestMap map;
  map.SetCalibModel(cmEquiRect);
  TCalibData cd = map.CalibData();
  for (int k = 0; k < kMaxCalQuads; ++k) AddQuad(cd, 40 + k * 0.01, 10 + k * 0.02, k, 2 * k);
  map.SetCalibData(cd);
  const std::string target = dir.Write("c.xml", "previous contents\r\n");

  std::string named;
  {
    // The set is about 8 KiB long.
    const test::FileSizeLimit limit(4096);
    ASSERT_TRUE(limit.Active());
    try {
      map.SaveCalDataAsXML(target, "c");
    } catch (const EInOutError& e) {
      named = e.FileName();
    }
  }
  EXPECT_EQ(named, target);
  EXPECT_EQ(dir.Read("c.xml"), "previous contents\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                          std::filesystem::directory_iterator()),
            1);
  EXPECT_THROW(map.SaveCalDataAsXML(dir.File("missing/c.xml"), "c"), EInOutError);
}

TEST(CalXmlWrite, WrittenFilesAreWellFormedXML) {
  if (!test::HaveXmlLint()) GTEST_SKIP() << "xmllint is not installed (libxml2-utils)";
  test::TempDir dir;
  TCalibData cd = Sample();
  cd.MapFName =
      "Stra\xC3\x9F"
      "e & <\xE2\x82\xAC>.jpg";
  test::WriteTextFile(dir.File("c.xml"), [&](TTextFile& f) {
    WriteRawCalDataToOpenXMLFile(f, true, "\xC3\x84rger & \"Co\"", cd, cmParabolicIp);
  });
  EXPECT_EQ(test::XmlLintErrors(dir.File("c.xml")), "");
}

}  // namespace
}  // namespace marovia
