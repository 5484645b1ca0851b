// Calibration points at full precision in calibration files: kept through a
// file, read by readers that skip the element as the first 200 on whole
// pixels, and set aside when the quadruples no longer agree with them.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>

#include "marovia/geomap/calxml.h"
#include "marovia/geomap/geomap.h"
#include "support/temp_dir.h"

namespace marovia {
namespace {

// 230 points between pixels on an equirect map, positions to a
// hundred-millionth of a degree (about a millimetre).
TMapCalibration ExactEquirect(int N, TCalibModel Model = cmEquiRect) {
  TCalibData d;
  TMapCalibration cal(Model, d, 400, 300);
  std::vector<TControlPoint> points;
  for (int k = 0; k < N; ++k) {
    const double x = (k * 37 % 400) + 0.25, y = (k * 53 % 300) + 0.75;
    points.push_back({x, y, 47.123456789 - y * 1.3e-5, 8.987654321 + x * 1.7e-5});
  }
  cal.SetControlPoints(points);
  if (Model == cmProjected) cal.Data().CrsText = "EPSG:32632";
  cal.Fit();
  return cal;
}

std::string ReadAll(const std::string& Name) {
  std::ifstream in(Name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(CalibrationFileControlPoints, KeepEveryPointBitForBitAndConvertTheSame) {
  for (const TCalibModel model : {cmEquiRect, cmProjected, cmThinPlate}) {
    SCOPED_TRACE(CalibModelNames[model]);
    test::TempDir dir;
    const TMapCalibration cal = ExactEquirect(230, model);
    ASSERT_TRUE(cal.Converts());
    SaveCalibrationAsXML(dir.File("c.xml"), "c", cal);
    TMapCalibration back;
    ASSERT_TRUE(ParseCalibration(dir.File("c.xml"), "", back));
    back.SetImageSize(400, 300);
    back.Fit();
    EXPECT_EQ(back.ControlPoints(), cal.ControlPoints());
    for (const double x : {0.0, 123.4, 400.0}) {
      const TPixelPosition a = cal.PixelToGeo(x, x * 0.7), b = back.PixelToGeo(x, x * 0.7);
      EXPECT_EQ(a.Latit, b.Latit);
      EXPECT_EQ(a.Longit, b.Longit);
    }

    // A reader that skips the element (the record reader here) sees the
    // first 200 on whole pixels and 5 decimals: a calibration still, off
    // by what that rounding costs.
    TCalibData record;
    TCalibModel recordModel = cmUndefined;
    ASSERT_TRUE(ParseCalibData(dir.File("c.xml"), "", record, recordModel));
    EXPECT_EQ(recordModel, model);
    ASSERT_EQ(record.NumCalQuads, kMaxCalQuads);
    EXPECT_EQ(record.CalQuads[0].MapX, 0);  // 0.25 rounded
    EXPECT_EQ(record.CalQuads[0].MapY, 1);  // 0.75 rounded
    EXPECT_EQ(record.CalQuads[0].Latitude, 47.12345);
    TMapCalibration old(model, record, 400, 300);
    old.Fit();
    const TPixelPosition a = cal.PixelToGeo(200, 150), o = old.PixelToGeo(200, 150);
    EXPECT_NEAR(o.Latit, a.Latit, 2e-5);
    EXPECT_NEAR(o.Longit, a.Longit, 2e-5);
  }
}

TEST(CalibrationFileControlPoints, FilesOfWholePixelsAndFiveDecimalsStayAsTheyWere) {
  test::TempDir dir;
  TMapCalibration cal(cmEquiRect, TCalibData{}, 400, 300);
  cal.AddPoint(47.5, 8.25, 0, 0);
  cal.AddPoint(47.5, 8.75, 400, 0);
  cal.AddPoint(47.25, 8.25, 0, 300);
  cal.Fit();
  SaveCalibrationAsXML(dir.File("c.xml"), "c", cal);
  EXPECT_EQ(ReadAll(dir.File("c.xml")).find("controlpoints"), std::string::npos);
  // The same points given at full precision write the same file.
  TMapCalibration exact(cmEquiRect, TCalibData{}, 400, 300);
  exact.SetControlPoints(cal.ControlPoints());
  exact.Fit();
  SaveCalibrationAsXML(dir.File("e.xml"), "c", exact);
  EXPECT_EQ(ReadAll(dir.File("e.xml")), ReadAll(dir.File("c.xml")));
}

TEST(CalibrationFileControlPoints, QuadruplesChangedWithoutThemSetThemAside) {
  test::TempDir dir;
  SaveCalibrationAsXML(dir.File("c.xml"), "c", ExactEquirect(5));
  std::string text = ReadAll(dir.File("c.xml"));
  // An older program moved the first point by a pixel and kept the rest.
  const size_t at = text.find(",0,1] ");
  ASSERT_NE(at, std::string::npos);
  text.replace(at, 6, ",2,1] ");
  dir.Write("c.xml", text);
  TMapCalibration back;
  ASSERT_TRUE(ParseCalibration(dir.File("c.xml"), "", back));
  EXPECT_FALSE(back.HasExactPoints());
  EXPECT_EQ(back.ControlPoints()[0].X, 2);
}

TEST(CalibrationFileControlPoints, DamagedElementsAreRefused) {
  const struct {
    const char* Element;
    const char* Says;
  } cases[] = {
      {"<controlpoints npoints=\"2\">\r\n[1,2,3,4] \r\n</controlpoints>", "does not match"},
      {"<controlpoints npoints=\"1\">\r\n[1,2,x,4] \r\n</controlpoints>", "not \"[lat,long,x,y]\""},
      {"<controlpoints npoints=\"1\">\r\n[1,2,3] \r\n</controlpoints>", "not \"[lat,long,x,y]\""},
      {"<controlpoints npoints=\"1\">\r\n[1,2,3,inf] \r\n</controlpoints>", "not \"[lat,long"},
  };
  for (const auto& c : cases) {
    test::TempDir dir;
    dir.Write(
        "c.xml",
        std::string("<geomap sig=\"Quorvant\" vers=\"1.0\" id=\"c\" model=\"equirect\">\r\n") +
            c.Element + "\r\n</geomap>\r\n");
    TMapCalibration cal;
    try {
      ParseCalibration(dir.File("c.xml"), "", cal);
      ADD_FAILURE() << c.Element;
    } catch (const EZYLGeoMapError& e) {
      EXPECT_NE(std::string(e.what()).find(c.Says), std::string::npos) << e.what();
    }
  }
}

// The map control reads the points too, and a point clicked afterwards
// joins them (the record alone would lose the fractions).
TEST(CalibrationFileControlPoints, TheControlKeepsThemThroughAClick) {
  test::TempDir dir;
  const TMapCalibration cal = ExactEquirect(10);
  SaveCalibrationAsXML(dir.File("c.xml"), "c", cal);
  TGeoMap map(nullptr);
  map.SetSuppressPaint(true);
  map.LoadCalDataFromXML(dir.File("c.xml"), "");
  EXPECT_EQ(map.Calibration().ControlPoints(), cal.ControlPoints());
  ASSERT_TRUE(map.AddCalibPoint(47, 9, 10, 20));
  EXPECT_EQ(map.Calibration().ControlPoints().size(), 11u);
  EXPECT_EQ(map.Calibration().ControlPoints()[0], cal.ControlPoints()[0]);
}

}  // namespace
}  // namespace marovia
