// The sample atlas: every calibration file registers (ParseCalibData) and
// shows (LoadCalDataFromXML) with its image, and its calibration points
// convert back to their pixels.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "calxml_test_support.h"
#include "marovia/geomap/calxml.h"

namespace marovia {
namespace {

const std::string kSamples = MAROVIA_SAMPLES_DIR;

struct Sample {
  const char* name;
  TCalibModel model;
  int width, height;
  double pixels;  // largest distance of a calibration point from its pixel
};

const Sample kMaps[] = {
    {"alps_eqc", cmEquiRect, 1600, 1150, 2},
    {"british_isles_albers", cmParabolicIp, 1250, 1500, 6},
    {"europe_lcc", cmConicConformal, 1700, 1650, 3},
    {"iberia_stereo", cmBiquadraticPn, 1600, 1300, 3},
    {"overview_miller", cmMillerCylindrical, 1320, 1760, 2},
    {"switzerland_eqc", cmEquiRect, 1600, 1000, 2},
    {"zurich_utm32", cmUTM, 1600, 1200, 2},
};

TEST(CalXmlSamples, EverySampleRegisters) {
  for (const Sample& s : kMaps) {
    TCalibData cd;
    TCalibModel model = cmUndefined;
    ASSERT_TRUE(ParseCalibData(kSamples + "/" + s.name + ".xml", "", cd, model)) << s.name;
    EXPECT_EQ(model, s.model) << s.name;
    EXPECT_EQ(cd.MapFName, std::string(s.name) + ".jpg");
    EXPECT_FALSE(cd.Caption.empty()) << s.name;
    EXPECT_GT(cd.Resolution, 0) << s.name;
    EXPECT_NE(cd.Corners[gcoTopLeft], cd.Corners[gcoBottomRight]) << s.name;
    EXPECT_GT(cd.NumCalLines + cd.NumCalQuads, 0) << s.name;
  }
}

TEST(CalXmlSamples, EverySampleShowsWithItsImageAndConverts) {
  for (const Sample& s : kMaps) {
    SCOPED_TRACE(s.name);
    test::CalTestMap map;
    // The bare image name is looked up beside the calibration file.
    map.OnMapImageRequest = [](TObject*, std::string& name) { name = kSamples + "/" + name; };
    ASSERT_TRUE(map.LoadCalDataFromXML(kSamples + "/" + s.name + ".xml", ""));
    EXPECT_EQ(map.CalibModel(), s.model);
    EXPECT_EQ(map.MapImgWidth(), s.width);
    EXPECT_EQ(map.MapImgHeight(), s.height);
    const TCalibData& cd = map.CalibData();
    for (int k = 0; k < cd.NumCalQuads; ++k) {
      const TCalQuad& q = cd.CalQuads[k];
      int32_t x = 0, y = 0;
      const bool valid = s.model == cmUTM ? map.CalcPixelCoordsUTM(q.Latitude, q.Longitude, x, y)
                                          : map.CalcPixelCoords(q.Latitude, q.Longitude, x, y);
      ASSERT_TRUE(valid) << k;
      EXPECT_LE(std::hypot(x - q.MapX, y - q.MapY), s.pixels) << k;
    }
    for (int i = 0; i < cd.NumCalLines; ++i) {
      const TCalibLine& line = cd.CalLines[i];
      for (int p = 0; p < line.NumPoints; ++p) {
        bool valid = false;
        const double v = line.LineType == gtlParallel ? map.CalcLatitude(line.CalPoints[p], valid)
                                                      : map.CalcLongitude(line.CalPoints[p], valid);
        ASSERT_TRUE(valid) << i << "/" << p;
        EXPECT_NEAR(v, line.LineValue, 0.05) << i << "/" << p;
      }
    }
  }
}

}  // namespace
}  // namespace marovia
