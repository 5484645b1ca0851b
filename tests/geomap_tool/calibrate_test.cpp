// geomap calibrate: the points of the sample calibrations, clicked again,
// give back the samples' calibrations; bad lines are reported by number and
// the rest is used; too few points write nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "marovia/geomap/calxml.h"
#include "marovia/geomap/geomap.h"
#include "run_tool.h"
#include "support/temp_dir.h"

namespace marovia::geomaptool::test {
namespace {

namespace fs = std::filesystem;

// The calibration points of a sample file as a points list.
std::string PointsOf(const TCalibData& Data) {
  std::ostringstream s;
  s.precision(17);
  s << "# x y position\n";
  for (int i = 0; i < Data.NumCalQuads; ++i) {
    const TCalQuad& q = Data.CalQuads[static_cast<size_t>(i)];
    s << q.MapX << " " << q.MapY << " " << q.Latitude << " " << q.Longitude << "\r\n";
  }
  for (int i = 0; i < Data.NumCalLines; ++i) {
    const TCalibLine& l = Data.CalLines[static_cast<size_t>(i)];
    for (int p = 0; p < l.NumPoints; ++p) {
      s << l.CalPoints[static_cast<size_t>(p)].X << ", " << l.CalPoints[static_cast<size_t>(p)].Y
        << ", " << (l.LineType == gtlMeridian ? "meridian" : "parallel") << ", " << l.LineValue
        << "\n";
    }
  }
  return s.str();
}

TCalibData Parse(const std::string& File, TCalibModel& Model) {
  TCalibData data;
  EXPECT_TRUE(ParseCalibData(File, "", data, Model)) << File;
  return data;
}

struct Sample {
  const char* Name;
  std::vector<std::string> Extra;
};

TEST(GeomapCalibrate, RefitsEverySampleFromItsPoints) {
  const marovia::test::TempDir dir;
  const Sample samples[] = {
      {"alps_eqc", {}},        {"zurich_utm32", {"--utm-zone", "32N"}},
      {"overview_miller", {}}, {"europe_lcc", {}},
      {"iberia_stereo", {}},   {"british_isles_albers", {}},
  };
  for (const Sample& s : samples) {
    const std::string name = s.Name;
    TCalibModel model = cmUndefined;
    const TCalibData expected = Parse(test::Sample(name + ".xml"), model);
    fs::copy_file(test::Sample(name + ".jpg"), dir.File(name + ".jpg"),
                  fs::copy_options::overwrite_existing);
    const std::string points = dir.Write(name + ".txt", PointsOf(expected));
    std::vector<std::string> args = {"calibrate", points,
                                     "-i",        dir.File(name + ".jpg"),
                                     "-m",        std::string(CalibModelNames[model]),
                                     "--caption", expected.Caption};
    args.insert(args.end(), s.Extra.begin(), s.Extra.end());
    const TResult r = RunTool(args);
    ASSERT_EQ(r.Status, kExitOk) << name << r.Err;
    EXPECT_EQ(r.Err, "");
    // The report lists every point with its residual.
    EXPECT_NE(r.Out.find("resolution:"), std::string::npos);

    TCalibModel got = cmUndefined;
    const TCalibData data = Parse(dir.File(name + ".xml"), got);
    EXPECT_EQ(got, model) << name;
    EXPECT_EQ(data.MapFName, name + ".jpg");  // no folder: it stays beside the file
    EXPECT_EQ(data.Caption, expected.Caption);
    EXPECT_EQ(data.NumCalQuads, expected.NumCalQuads);
    EXPECT_EQ(data.NumCalLines, expected.NumCalLines);
    // The same points give the same fit as the sample's own calibration:
    // the same corners and resolution (to the file's decimals) as the
    // sample's model gives.
    TGeoMap sampleMap(nullptr);
    sampleMap.SetSuppressPaint(true);
    test::LoadIntoControl(sampleMap, test::Sample(name + ".xml"));
    sampleMap.CalcExtentsAndResolution();
    const TCalibData& fitted = sampleMap.CalibData();
    EXPECT_NEAR(data.Resolution, fitted.Resolution, 1e-3) << name;
    for (int c = 0; c < 4; ++c) {
      EXPECT_NEAR(data.Corners[c].Latit, fitted.Corners[c].Latit, 1e-5) << name << " corner " << c;
      EXPECT_NEAR(data.Corners[c].Longit, fitted.Corners[c].Longit, 1e-5)
          << name << " corner " << c;
    }
    // And that fit is close to the true projection (the sample's corners):
    // within a few pixels at the corners, where the models extrapolate.
    const double degreesPerPixel = expected.Resolution / 111000.0;
    for (int c = 0; c < 4; ++c) {
      EXPECT_NEAR(data.Corners[c].Latit, expected.Corners[c].Latit, 15 * degreesPerPixel)
          << name << " corner " << c;
    }
    if (model == cmUTM) {
      EXPECT_EQ(data.UTMZone, 32);
      EXPECT_FALSE(data.UTMSouth);
    }
  }
}

TEST(GeomapCalibrate, ReportsBadLinesByNumberAndUsesTheRest) {
  const marovia::test::TempDir dir;
  fs::copy_file(test::Sample("alps_eqc.jpg"), dir.File("alps.jpg"));
  const std::string points =
      "# clicked on the Alps map\n"
      "200 900 44 6\n"
      "600 900 44 9\n"
      "bad line\n"
      "1000 900 44 12\n"
      "200 300 48 6\n"
      "600 300 48 9 7\n"
      "1000 300 48 12\n";
  const TResult r =
      RunTool({"calibrate", "-", "-i", dir.File("alps.jpg"), "-m", "equirect"}, points);
  EXPECT_EQ(r.Status, kExitBadInput);
  EXPECT_EQ(Lines(r.Err), 2) << r.Err;
  EXPECT_NE(r.Err.find("standard input: line 4: "), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find("standard input: line 7: expected 4 fields, found 5"), std::string::npos)
      << r.Err;
  EXPECT_NE(r.Out.find("points:      5"), std::string::npos) << r.Out;
  EXPECT_TRUE(fs::exists(dir.File("alps.xml")));  // beside the image by default
}

TEST(GeomapCalibrate, WritesNothingWithTooFewPoints) {
  const marovia::test::TempDir dir;
  fs::copy_file(test::Sample("alps_eqc.jpg"), dir.File("alps.jpg"));
  struct Case {
    const char* Model;
    const char* Points;
  };
  const Case cases[] = {
      {"equirect", "200 900 44 6\n600 900 44 9\n"},
      {"biquadraticpn", "200 900 44 6\n600 900 44 9\n1000 900 44 12\n200 300 48 6\n600 300 48 9\n"},
      {"parabolicip", "1 1 meridian 6\n2 100 meridian 6\n3 200 meridian 6\n"},
  };
  for (const Case& c : cases) {
    const TResult r = RunTool(
        {"calibrate", "-", "-i", dir.File("alps.jpg"), "-m", c.Model, "-o", dir.File("out.xml")},
        c.Points);
    EXPECT_EQ(r.Status, kExitBadInput) << c.Model;
    EXPECT_NE(r.Err.find("too few points"), std::string::npos) << r.Err;
    EXPECT_FALSE(fs::exists(dir.File("out.xml"))) << c.Model;
  }
}

TEST(GeomapCalibrate, RefusesAnImageItCannotUse) {
  const marovia::test::TempDir dir;
  dir.Write("fake.jpg", "not a jpeg at all");
  for (const std::string& image : {dir.File("missing.jpg"), dir.File("fake.jpg")}) {
    const TResult r = RunTool({"calibrate", "-", "-i", image, "-m", "equirect"}, "1 1 1 1\n");
    EXPECT_EQ(r.Status, kExitBadInput) << image;
    EXPECT_EQ(Lines(r.Err), 1) << r.Err;
  }
  EXPECT_FALSE(fs::exists(dir.File("fake.xml")));
}

}  // namespace
}  // namespace marovia::geomaptool::test
