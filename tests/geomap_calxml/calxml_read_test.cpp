// Reading calibration files: round trips of every model through files and
// streams, data sets selected by identifier and read one after the other,
// the element rules of both readers, and the answer of the map reader.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "calxml_test_support.h"
#include "marovia/geomap/calxml.h"
#include "support/temp_dir.h"

namespace marovia {
namespace {

using test::AddLine;
using test::AddQuad;
using test::Line;

const std::string kCaption = "Quote \" <b> & \xC3\xA9t\xC3\xA9 \xD0\x96 \t end";

// A data set of the given root attributes and body.
std::string Set(const std::string& attributes, const std::string& body) {
  return "<geomap sig=\"Quorvant\" vers=\"1.0\" " + attributes + ">\r\n" + body + "</geomap>\r\n";
}

TMemoryStream StreamOf(const std::string& bytes) {
  TMemoryStream s;
  s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  s.SetPosition(0);
  return s;
}

// ParseCalibData of a cleared record from the bytes.
bool Parse(const std::string& bytes, TCalibData& cd, TCalibModel& model,
           const std::string& id = "") {
  cd = TCalibData{};
  model = cmUndefined;
  TMemoryStream s = StreamOf(bytes);
  return ParseCalibData(s, id, cd, model);
}

// A calibration of every kind at once, over an image file whose name has
// upper-case letters.
TCalibData FullCalibration(const std::string& image, TCalibModel model) {
  TCalibData cd;
  cd.MapFName = image;
  cd.Caption = kCaption;
  test::AddGraticule(cd);
  AddLine(cd, Line(gtlParallel, -12.125, {{1, 2}, {3, 4}}));  // too short for the map reader
  if (model == cmUTM) {
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        AddQuad(cd, 5200000 + 60000.0 * i, 400000 + 50000.0 * j, 100 + 400 * j, 700 - 300 * i);
    cd.UTMZone = 32;
    cd.UTMSouth = true;
    cd.Ellipsoid = gelGRS80;
  } else {
    test::AddGrid(cd, -46.123456, 170.5);
  }
  return cd;
}

// unsetZone: the zone a reader leaves when the file has none (-1 after the
// map's ClearCalibData, 0 in a fresh record).
void ExpectSameCalibration(const TCalibData& got, const TCalibData& want, bool keepsShortLines,
                           bool hasUTMLines, int unsetZone, const std::string& what) {
  SCOPED_TRACE(what);
  EXPECT_EQ(got.MapFName, want.MapFName);
  EXPECT_EQ(got.Caption, want.Caption);
  for (int c = 0; c < 4; ++c) {
    EXPECT_NEAR(got.Corners[c].Latit, want.Corners[c].Latit, 0.5e-5) << c;
    EXPECT_NEAR(got.Corners[c].Longit, want.Corners[c].Longit, 0.5e-5) << c;
  }
  EXPECT_NEAR(got.Resolution, want.Resolution, 0.5e-3);
  TCalibData lines = want;
  if (!keepsShortLines) lines.NumCalLines = 4;  // the fifth line has two points
  ASSERT_EQ(got.NumCalLines, lines.NumCalLines);
  for (int i = 0; i < got.NumCalLines; ++i) EXPECT_EQ(got.CalLines[i], lines.CalLines[i]) << i;
  ASSERT_EQ(got.NumCalQuads, want.NumCalQuads);
  for (int k = 0; k < got.NumCalQuads; ++k) {
    EXPECT_NEAR(got.CalQuads[k].Latitude, want.CalQuads[k].Latitude, 0.5e-5) << k;
    EXPECT_NEAR(got.CalQuads[k].Longitude, want.CalQuads[k].Longitude, 0.5e-5) << k;
    EXPECT_EQ(got.CalQuads[k].MapX, want.CalQuads[k].MapX) << k;
    EXPECT_EQ(got.CalQuads[k].MapY, want.CalQuads[k].MapY) << k;
  }
  const bool zoneWritten = hasUTMLines && want.UTMZone >= 1 && want.UTMZone <= 60;
  EXPECT_EQ(got.UTMZone, zoneWritten ? want.UTMZone : unsetZone);
  EXPECT_EQ(got.UTMSouth, zoneWritten && want.UTMSouth);
  EXPECT_EQ(got.Ellipsoid, hasUTMLines ? want.Ellipsoid : gelWGS84);
}

TEST(CalXmlRead, EveryModelSurvivesFileAndStreamRoundTrips) {
  test::TempDir dir;
  const std::string image = dir.File("Alps Map.BMP");
  TBitmap(1000, 800).SaveToFile(image);
  for (int m = 0; m < kNumCalibModels; ++m) {
    const auto model = static_cast<TCalibModel>(m);
    const std::string what = CalibModelNames[m].data();
    test::CalTestMap out;
    out.SetMapImgFile(image);
    out.SetCalibData(FullCalibration(image, model));
    out.SetCalibModel(model);
    out.SaveCalDataAsXML(dir.File("c.xml"), "Set A");
    TMemoryStream stream;
    out.SaveCalDataAsXML(stream, "Set A");
    const TCalibData written = out.CalibData();

    test::CalTestMap in;
    EXPECT_TRUE(in.LoadCalDataFromXML(dir.File("c.xml"), "set a")) << what;
    EXPECT_EQ(in.CalibModel(), model) << what;
    // Fixed fault: the map name used to come back lower-cased, and the
    // image of "Alps Map.BMP" was then never found.
    EXPECT_EQ(in.MapImgWidth(), 1000) << what;
    ExpectSameCalibration(in.CalibData(), written, false, true, -1, what + " file");

    test::CalTestMap fromStream;
    stream.SetPosition(0);
    EXPECT_TRUE(fromStream.LoadCalDataFromXML(stream, "SET A")) << what;
    EXPECT_EQ(fromStream.CalibModel(), model) << what;
    ExpectSameCalibration(fromStream.CalibData(), written, false, false, -1, what + " stream");

    TCalibData record;
    TCalibModel parsed = cmUndefined;
    ASSERT_TRUE(ParseCalibData(dir.File("c.xml"), "", record, parsed)) << what;
    EXPECT_EQ(parsed, model) << what;
    ExpectSameCalibration(record, written, true, true, 0, what + " record");
  }
}

// Fixed fault: the readers find root attributes by searching `name="`, and a
// value ending in an attribute's name and '=' was written so that the search
// found it there: a map named "a caption=" came back with the caption
// "caption=". The fuzzers found it.
TEST(CalXmlRead, RootValuesEndingInAnAttributeNameSurviveARoundTrip) {
  test::TempDir dir;
  TCalibData cd;
  cd.MapFName = "a caption=";
  cd.Caption = "b id= model=";
  test::WriteTextFile(dir.File("c.xml"), [&](TTextFile& f) {
    WriteRawCalDataToOpenXMLFile(f, true, "set map=", cd, cmUTM);
  });
  TCalibData back;
  TCalibModel model = cmUndefined;
  ASSERT_TRUE(ParseCalibData(dir.File("c.xml"), "Set map=", back, model));
  EXPECT_EQ(model, cmUTM);
  EXPECT_EQ(back.MapFName, cd.MapFName);
  EXPECT_EQ(back.Caption, cd.Caption);
}

TEST(CalXmlRead, SetsAreFoundByIdentifierInAnyOrder) {
  test::TempDir dir;
  test::CalTestMap a, b;
  TCalibData cd;
  test::AddGrid(cd);
  cd.Caption = "first";
  a.SetCalibData(cd);
  a.SetCalibModel(cmEquiRect);
  cd.Caption = "second";
  cd.NumCalQuads = 4;
  b.SetCalibData(cd);
  b.SetCalibModel(cmBiquadraticPn);
  const std::string file = dir.File("two.xml");
  test::WriteTextFile(file, [&](TTextFile& f) {
    a.WriteCalDataToOpenXMLFile(f, true, "ALPHA");
    b.WriteCalDataToOpenXMLFile(f, false, " Beta ");  // the file's id is trimmed
  });

  // One after the other from one open file.
  test::CalTestMap m;
  TTextFile f(file);
  f.Reset();
  EXPECT_TRUE(m.ReadCalDataFromOpenXMLFile(f, "alpha"));
  EXPECT_EQ(m.Caption(), "first");
  EXPECT_TRUE(m.ReadCalDataFromOpenXMLFile(f, "beta"));
  EXPECT_EQ(m.Caption(), "second");
  EXPECT_EQ(m.CalibData().NumCalQuads, 4);
  EXPECT_FALSE(m.ReadCalDataFromOpenXMLFile(f, "alpha"));  // already passed
  f.CloseFile();

  // Out of order, each from the start of the file.
  EXPECT_TRUE(m.LoadCalDataFromXML(file, "BETA"));
  EXPECT_EQ(m.CalibModel(), cmBiquadraticPn);
  EXPECT_TRUE(m.LoadCalDataFromXML(file, "Alpha"));
  EXPECT_EQ(m.CalibModel(), cmEquiRect);
  EXPECT_TRUE(m.LoadCalDataFromXML(file, ""));  // the first set
  EXPECT_EQ(m.Caption(), "first");
  EXPECT_FALSE(m.LoadCalDataFromXML(file, " beta"));  // the request is not trimmed
  EXPECT_FALSE(m.LoadCalDataFromXML(dir.File("missing.xml"), ""));

  // The same for records, from a stream.
  TMemoryStream s;
  s.LoadFromFile(file);
  TCalibData r;
  TCalibModel model = cmUndefined;
  EXPECT_TRUE(ParseCalibData(s, "alpha", r, model));
  EXPECT_TRUE(ParseCalibData(s, "beta", r, model));
  EXPECT_EQ(r.Caption, "second");
  EXPECT_FALSE(ParseCalibData(s, "alpha", r, model));
  EXPECT_FALSE(ParseCalibData(dir.File("missing.xml"), "", r, model));
}

TEST(CalXmlRead, ASetNotFoundKeepsTheCalibrationButTakesTheLastRootLineSeen) {
  test::CalTestMap m;
  TCalibData cd;
  test::AddGrid(cd);
  cd.Caption = "kept";
  m.SetCalibData(cd);
  m.SetCalibModel(cmEquiRect);
  const TCalibData before = m.CalibData();
  TMemoryStream s = StreamOf(Set("id=\"A\" model=\"parabolicip\" map=\"A.jpg\" caption=\"Set A\"",
                                 "<resolution>5</resolution>\r\n"));
  EXPECT_FALSE(m.LoadCalDataFromXML(s, "B"));
  EXPECT_EQ(m.CalibModel(), cmParabolicIp);
  EXPECT_EQ(m.CalibData().MapFName, "A.jpg");
  EXPECT_EQ(m.Caption(), "Set A");
  TCalibData rest = m.CalibData();
  rest.MapFName = before.MapFName;
  rest.Caption = before.Caption;
  EXPECT_EQ(rest, before);
}

TEST(CalXmlRead, ElementRules) {
  const struct {
    const char* what;
    std::string attributes;
    std::string body;
    void (*check)(const TCalibData&, TCalibModel);
  } cases[] = {
      {"corners split at the first comma", "",
       "<corners>\r\n[47.5,16.25] [47,5,16] [ -1 , 2 ] [3]\r\n</corners>\r\n",
       [](const TCalibData& cd, TCalibModel) {
         EXPECT_EQ(cd.Corners[0], (TCoords{47.5, 16.25}));
         EXPECT_EQ(cd.Corners[1], (TCoords{47, 5.16}));
         EXPECT_EQ(cd.Corners[2], (TCoords{-1, 2}));
         EXPECT_EQ(cd.Corners[3], (TCoords{0, 3}));
       }},
      {"content spread over lines", "", "<corners>\r\n[1,\r\n2]\r\n\r\n[3,4]</corners>\r\n",
       [](const TCalibData& cd, TCalibModel) {
         EXPECT_EQ(cd.Corners[0], (TCoords{1, 2}));
         EXPECT_EQ(cd.Corners[1], (TCoords{3, 4}));
       }},
      {"line value with either separator and an exponent", "",
       "<calline type=\"Parallel\" value=\"12,5\" npoints=\"3\">[1,2] [3,4] [5,6]</calline>\r\n"
       "<calline TYPE=\"meridian\" value=\"-1.5E-3\" npoints=\"1\">\r\n[7,-8]\r\n</calline>\r\n",
       [](const TCalibData& cd, TCalibModel) {
         ASSERT_EQ(cd.NumCalLines, 2);
         EXPECT_EQ(cd.CalLines[0].LineType, gtlParallel);
         EXPECT_EQ(cd.CalLines[0].LineValue, 12.5);
         EXPECT_EQ(cd.CalLines[0].CalPoints[2], (TPoint{5, 6}));
         EXPECT_EQ(cd.CalLines[1].LineValue, -1.5e-3);
         EXPECT_EQ(cd.CalLines[1].CalPoints[0], (TPoint{7, -8}));
       }},
      {"quadruples", "",
       "<calquads npoints=\"2\">\r\n[47.50000,16.00000,120,-35] [-1.5,2.25,3,4]\r\n</calquads>\r\n",
       [](const TCalibData& cd, TCalibModel) {
         ASSERT_EQ(cd.NumCalQuads, 2);
         EXPECT_EQ(cd.CalQuads[0], (TCalQuad{47.5, 16, 120, -35}));
         EXPECT_EQ(cd.CalQuads[1], (TCalQuad{-1.5, 2.25, 3, 4}));
       }},
      {"UTM settings", "",
       "<utmzone>33</utmzone><utmsouth>True</utmsouth><ellipsoid>gelGRS80</ellipsoid>\r\n",
       [](const TCalibData& cd, TCalibModel) {
         EXPECT_EQ(cd.UTMZone, 33);
         EXPECT_TRUE(cd.UTMSouth);
         EXPECT_EQ(cd.Ellipsoid, gelGRS80);
       }},
      {"hemisphere other than true, ellipsoid on its own line", "",
       "<utmsouth>yes</utmsouth><ellipsoid>\r\ngelwgs72\r\n</ellipsoid>\r\n",
       [](const TCalibData& cd, TCalibModel) {
         EXPECT_FALSE(cd.UTMSouth);
         EXPECT_EQ(cd.Ellipsoid, gelWGS72);
       }},
      {"root values decoded and trimmed, map name keeps its case",
       "id=\" x \" map=\" Maps/Alps &amp; Co.JPG \" caption=\"&quot;Caf\xE9&quot; &#1046;\"", "",
       [](const TCalibData& cd, TCalibModel) {
         EXPECT_EQ(cd.MapFName, "Maps/Alps & Co.JPG");
         EXPECT_EQ(cd.Caption, "\"Caf\xC3\xA9\" \xD0\x96");
       }},
      {"unknown elements skipped, nested known ones read", "",
       "<note><resolution>7.5</resolution></note>\r\n<landmark lat=\"1\" />\r\n",
       [](const TCalibData& cd, TCalibModel) { EXPECT_EQ(cd.Resolution, 7.5); }},
  };
  for (const auto& c : cases) {
    TCalibData cd;
    TCalibModel model;
    ASSERT_TRUE(Parse(Set(c.attributes.empty() ? "id=\"x\"" : c.attributes, c.body), cd, model))
        << c.what;
    SCOPED_TRACE(c.what);
    c.check(cd, model);
  }
}

TEST(CalXmlRead, ShortLinesAreKeptInRecordsAndDroppedByTheMap) {
  const std::string file =
      Set("id=\"x\" model=\"parabolicip\"",
          "<calline type=\"parallel\" value=\"1\" npoints=\"2\">[1,2] [3,4]</calline>\r\n");
  TCalibData cd;
  TCalibModel model;
  ASSERT_TRUE(Parse(file, cd, model));
  ASSERT_EQ(cd.NumCalLines, 1);
  EXPECT_EQ(cd.CalLines[0].NumPoints, 2);
  test::CalTestMap m;
  TMemoryStream s = StreamOf(file);
  EXPECT_FALSE(m.LoadCalDataFromXML(s, ""));  // no usable graticule
  EXPECT_EQ(m.CalibData().NumCalLines, 0);
}

TEST(CalXmlRead, ModelNames) {
  const struct {
    std::string attribute;
    TCalibModel map;
    TCalibModel record;
  } cases[] = {
      {"model=\"Equirect\"", cmEquiRect, cmEquiRect},
      {"model=\" UTM \"", cmUTM, cmUTM},
      {"model=\"parabolicip\"", cmParabolicIp, cmParabolicIp},
      {"model=\"undefined\"", cmUndefined, cmUndefined},
      {"model=\"none\"", cmUndefined, cmUndefined},
      {"model=\"Projected\"", cmProjected, cmProjected},
      {"model=\"thinplate\"", cmThinPlate, cmThinPlate},
      {"model=\"rubbersheet\"", cmUndefined, cmUndefined},
      {"", cmUndefined, cmBiquadraticPn},
  };
  for (const auto& c : cases) {
    const std::string file = Set("id=\"x\" " + c.attribute, "");
    TCalibData cd;
    TCalibModel model;
    ASSERT_TRUE(Parse(file, cd, model));
    EXPECT_EQ(model, c.record) << c.attribute;
    test::CalTestMap m;
    m.SetCalibModel(cmConicConformal);
    TMemoryStream s = StreamOf(file);
    m.LoadCalDataFromXML(s, "");
    EXPECT_EQ(m.CalibModel(), c.map) << c.attribute;
  }
}

TEST(CalXmlRead, TheMapAnswersTrueForEverySetItFoundAndRead) {
  const struct {
    const char* what;
    std::string file;
    bool answer;
  } cases[] = {
      // Fixed fault: a set calibrated by points alone used to answer false
      // although it was loaded and fitted.
      {"points only",
       Set("model=\"equirect\"",
           "<calquads npoints=\"3\">[46,10,100,700] [46,12,500,700] "
           "[47,10,100,400]</calquads>\r\n"),
       true},
      {"undefined model, nothing in it", Set("model=\"undefined\"", ""), true},
      {"lines, one parallel only",
       Set("model=\"parabolicip\"",
           "<calline type=\"parallel\" value=\"1\" npoints=\"3\">[0,1] [5,1] [9,1]</calline>\r\n"
           "<calline type=\"meridian\" value=\"1\" npoints=\"3\">[1,0] [1,5] [1,9]</calline>\r\n"
           "<calline type=\"meridian\" value=\"2\" npoints=\"3\">[8,0] [8,5] [8,9]</calline>\r\n"),
       false},
      {"not found", Set("id=\"other\"", ""), false},
  };
  for (const auto& c : cases) {
    test::CalTestMap m;
    TMemoryStream s = StreamOf(c.file);
    EXPECT_EQ(m.LoadCalDataFromXML(s, c.file.find("other") == std::string::npos ? "" : "x"),
              c.answer)
        << c.what;
  }
  // The points-only set is fitted: its points convert back.
  test::CalTestMap m;
  TMemoryStream s = StreamOf(cases[0].file);
  ASSERT_TRUE(m.LoadCalDataFromXML(s, ""));
  int32_t x = 0, y = 0;
  ASSERT_TRUE(m.CalcPixelCoords(47, 10, x, y));
  EXPECT_EQ(x, 100);
  EXPECT_EQ(y, 400);
}

TEST(CalXmlRead, FilesOfOtherHostsRead) {
  // LF line ends, Windows-1252 letters, no declaration, no sig attribute
  // order guarantees: the root line only needs "<geomap" and "quorvant".
  const std::string file =
      "<geomap id=\"w\" sig=\"QUORVANT\" caption=\"M\xFCnchen \x80\" model=\"equirect\">\n"
      "<corners>\n[1.5,2.5]\n</corners>\n</geomap>\n";
  TCalibData cd;
  TCalibModel model;
  ASSERT_TRUE(Parse(file, cd, model, "W"));
  EXPECT_EQ(cd.Caption, "M\xC3\xBCnchen \xE2\x82\xAC");
  EXPECT_EQ(cd.Corners[0], (TCoords{1.5, 2.5}));
  EXPECT_EQ(model, cmEquiRect);
}

}  // namespace
}  // namespace marovia
