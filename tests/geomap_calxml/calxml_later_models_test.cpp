// Calibration files of the projected and thin-plate models: their settings
// survive files and streams and give the same conversions, hostile settings
// are refused with a message, and what readers make of the model names.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "calxml_test_support.h"
#include "marovia/geomap/calxml.h"
#include "support/temp_dir.h"

namespace marovia {
namespace {

using test::AddQuad;

// WKT of a projected CRS, with quotes and brackets the file must escape.
const std::string kWkt =
    "PROJCS[\"WGS 84 / World Mercator\",GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\",SPHEROID[\"WGS "
    "84\",6378137,298.257223563]],PRIMEM[\"Greenwich\",0],UNIT[\"degree\",0.0174532925199433]],"
    "PROJECTION[\"Mercator_1SP\"],PARAMETER[\"central_meridian\",0],PARAMETER[\"scale_factor\",1],"
    "PARAMETER[\"false_easting\",0],PARAMETER[\"false_northing\",0],UNIT[\"metre\",1]]";

TCalibData Clicks() {
  TCalibData cd;
  cd.Caption = "Japan <south> & \"more\"";
  // A 4 x 3 grid over southern Japan, slightly bent so that the spline and
  // the second-order terms have something to fit.
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 3; ++j)
      AddQuad(cd, 30 + 3.0 * j + 0.1 * i * i, 130 + 4.0 * i + 0.05 * j * j, 100 + 400 * i,
              1400 - 600 * j);
  return cd;
}

TMemoryStream StreamOf(const std::string& bytes) {
  TMemoryStream s;
  s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  s.SetPosition(0);
  return s;
}

TEST(CalXmlLaterModels, SettingsSurviveFilesAndStreams) {
  test::TempDir dir;
  struct Case {
    TCalibModel model;
    std::string crs;
    int order;
    double smoothing;
  };
  const Case cases[] = {
      {cmProjected, "EPSG:3395", 1, 0},
      {cmProjected, kWkt, 2, 0},
      {cmThinPlate, "", 1, 0},
      {cmThinPlate, "", 1, 0.0123456789},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(CalibModelNames[c.model]) + " " + c.crs.substr(0, 12));
    test::CalibTestMap out(1800, 1600);
    TCalibData cd = Clicks();
    cd.CrsText = c.crs;
    cd.PolyOrder = c.order;
    cd.Smoothing = c.smoothing;
    out.SetCalibData(cd);
    out.SetCalibModel(c.model);
    ASSERT_TRUE(out.Calibration().Converts()) << out.Calibration().FitMessage();
    out.SaveCalDataAsXML(dir.File("c.xml"), "a");
    TMemoryStream stream;
    out.SaveCalDataAsXML(stream, "a");

    test::CalibTestMap fromFile(1800, 1600), fromStream(1800, 1600);
    ASSERT_TRUE(fromFile.LoadCalDataFromXML(dir.File("c.xml"), "a"));
    stream.SetPosition(0);
    ASSERT_TRUE(fromStream.LoadCalDataFromXML(stream, "a"));
    TCalibData record;
    TCalibModel parsed = cmUndefined;
    ASSERT_TRUE(ParseCalibData(dir.File("c.xml"), "a", record, parsed));
    EXPECT_EQ(parsed, c.model);
    for (const TCalibData* got : {&fromFile.CalibData(), &fromStream.CalibData(),
                                  static_cast<const TCalibData*>(&record)}) {
      EXPECT_EQ(got->CrsText, c.crs);
      EXPECT_EQ(got->PolyOrder, c.order);
      EXPECT_EQ(got->Smoothing, c.smoothing);
      EXPECT_EQ(got->Caption, cd.Caption);
    }
    // Positions are stored to 5 decimals (about a metre), so the refitted
    // models agree with the written one to a small share of a pixel.
    for (const test::CalibTestMap* in : {&fromFile, &fromStream}) {
      EXPECT_EQ(in->CalibModel(), c.model);
      for (double lat = 30.5; lat < 36; lat += 1.1)
        for (double lon = 131; lon < 142; lon += 2.3) {
          double ax, ay, bx, by;
          ASSERT_TRUE(out.Calibration().GeoToPixelExact(lat, lon, ax, ay));
          ASSERT_TRUE(in->Calibration().GeoToPixelExact(lat, lon, bx, by));
          EXPECT_LT(std::hypot(ax - bx, ay - by), 0.01) << lat << " " << lon;
        }
    }
  }
}

// Hostile settings are refused by both readers with a message; a CRS that
// passes the reader but is not known stops the map reader's fit with an
// error naming it.
TEST(CalXmlLaterModels, HostileSettingsAreRefused) {
  const auto set = [](const std::string& model, const std::string& body) {
    return "<geomap sig=\"Quorvant\" vers=\"1.0\" id=\"x\" model=\"" + model + "\">\r\n" +
           "<calquads npoints=\"3\">\r\n[30,130,0,0] [31,130,0,100] [30,131,100,0]\r\n"
           "</calquads>\r\n" +
           body + "</geomap>\r\n";
  };
  struct Case {
    const char* name;
    std::string file;
    const char* message;
  };
  const Case cases[] = {
      {"huge CRS", set("projected", "<crs>" + std::string(70000, 'A') + "</crs>\r\n"), "longer"},
      {"binary CRS", set("projected", std::string("<crs>EPSG:\x01\x02\xff</crs>\r\n")),
       "control character"},
      {"referenced control", set("projected", "<crs>EPSG:3395&#10;+proj=x</crs>\r\n"),
       "control character"},
      {"order 3", set("projected", "<crs>EPSG:3395</crs><polyorder>3</polyorder>\r\n"), "order"},
      {"negative smoothing", set("thinplate", "<smoothing>-1e-3</smoothing>\r\n"), "smoothing"},
      {"quotes, unknown CRS", set("projected", "<crs>&quot;EPSG:&quot;&quot;42</crs>\r\n"),
       "\"EPSG:\"\"42"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::CalTestMap m;
    TMemoryStream s = StreamOf(c.file);
    const std::string why = test::ErrorOf([&] { m.LoadCalDataFromXML(s, ""); });
    EXPECT_NE(why.find(c.message), std::string::npos) << why;
  }
}

// Our readers know the new names; a name no reader knows is cmUndefined (as
// for every reader that predates a model), and its points and settings are
// still read.
TEST(CalXmlLaterModels, ModelNamesOfNewerFiles) {
  const std::string body =
      "<crs>EPSG:3395</crs>\r\n<polyorder>2</polyorder>\r\n<smoothing>0.5</smoothing>\r\n"
      "<calquads npoints=\"1\">\r\n[30,130,0,0]\r\n</calquads>\r\n</geomap>\r\n";
  for (const auto& [name, model] :
       {std::pair{"projected", cmProjected}, std::pair{"thinplate", cmThinPlate},
        std::pair{"rubbersheet", cmUndefined}}) {
    SCOPED_TRACE(name);
    TMemoryStream s =
        StreamOf(std::string("<geomap sig=\"Quorvant\" model=\"") + name + "\">\r\n" + body);
    TCalibData cd;
    TCalibModel parsed = cmEquiRect;
    ASSERT_TRUE(ParseCalibData(s, "", cd, parsed));
    EXPECT_EQ(parsed, model);
    EXPECT_EQ(cd.NumCalQuads, 1);
    EXPECT_EQ(cd.CrsText, "EPSG:3395");
    EXPECT_EQ(cd.PolyOrder, 2);
    EXPECT_EQ(cd.Smoothing, 0.5);
  }
}

}  // namespace
}  // namespace marovia
