// Maps made by other software (tests/data/realmaps, origins and licences in
// its SOURCES.md): every file through the geomap tool's import, info,
// convert, render and tiles, and its calibration, as written to the file
// and read back, against GDAL's gdaltransform of the same file (within half
// a pixel), or refused with a clear message where GDAL cannot place it
// either. The tool runs as a program, as a user runs it.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "marovia/geomap/calxml.h"
#include "marovia/geomap/map_calibration.h"
#include "marovia/geomap/map_import.h"
#include "marovia/platform/files.h"
#include "marovia/platform/imageprobe.h"
#include "marovia/platform/strutils.h"
#include "support/gdal_tools.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace marovia {
namespace {

namespace fs = std::filesystem;

enum class TOracle {
  Gdal,     // gdaltransform of the file itself
  GdalTps,  // the same with -tps (ten or more control points)
  Corners,  // GDAL cannot read the file: its own corner positions
  Points,   // a control-point list: GDAL's transformer of the same points
  None      // refused: GDAL cannot place it on the Earth either
};

struct TCorpusFile {
  const char* File;
  const char* What;
  TOracle Oracle;
  const char* Refusal = "";  // part of the refusal's message (Oracle None)
  // Corners (Oracle Corners): longitude, latitude of the image's top left,
  // top right, bottom left and bottom right corners.
  std::array<std::array<double, 2>, 4> Corners{};
};

// Rows named by their file (not a dump of the record's bytes).
void PrintTo(const TCorpusFile& File, std::ostream* Out) {
  *Out << File.File;
}

// The image corners of the KML overlays, from the numbers in their files:
// a LatLonBox rotated about its centre, and gx:LatLonQuad corners.
std::array<std::array<double, 2>, 4> RotatedBox(double North, double South, double East,
                                                double West, double Rotation) {
  const double cx = (East + West) / 2, cy = (North + South) / 2;
  const double c = std::cos(Rotation * M_PI / 180), s = std::sin(Rotation * M_PI / 180);
  std::array<std::array<double, 2>, 4> out{};
  const double dx[4] = {West - cx, East - cx, West - cx, East - cx};
  const double dy[4] = {North - cy, North - cy, South - cy, South - cy};
  for (int k = 0; k < 4; ++k) out[k] = {cx + dx[k] * c - dy[k] * s, cy + dx[k] * s + dy[k] * c};
  return out;
}

const std::vector<TCorpusFile>& Corpus() {
  static const std::vector<TCorpusFile> files = {
      {"SP27GTIF.TIF", "NAD27 / Illinois East (EPSG 26771, US feet)", TOracle::Gdal},
      {"cea.tif", "user-defined cylindrical equal area on NAD27", TOracle::Gdal},
      {"erdas_spnad83.tif", "EPSG 26966 with a linear unit of US feet", TOracle::Gdal},
      {"meuse.tif", "Oblique Stereographic (user-defined, WGS 84), Int16", TOracle::Gdal},
      {"elev.tif", "WGS 84 latitude/longitude, Int16", TOracle::Gdal},
      {"lc.tif", "Albers on NAD83, palette", TOracle::Gdal},
      {"olinda_dem_utm25s.tif", "UTM 25S on WGS 84, Float32", TOracle::Gdal},
      {"L7_ETMs.tif", "SIRGAS 2000 / UTM 25S, six bands", TOracle::Gdal},
      {"geomatrix.tif", "a rotated ModelTransformation, WGS 84 / UTM 11N", TOracle::Gdal},
      {"grain.tif", "WGS 84 latitude/longitude, 6 x 6", TOracle::Gdal},
      {"elevation1.tif", "WGS 84 latitude/longitude, Int16", TOracle::Gdal},
      {"gen_towgs84_tmerc.tif", "transverse Mercator with a 7-parameter TOWGS84", TOracle::Gdal},
      {"gen_towgs84_geog.tif", "latitude/longitude with a 3-parameter TOWGS84", TOracle::Gdal},
      {"gen_gcps210.tif", "210 ground control points", TOracle::GdalTps},
      {"gen_lc.cog", "a cloud-optimised GeoTIFF named .cog", TOracle::Gdal},
      {"gen_utm60_across180.tif", "UTM zone 60 across 180 degrees", TOracle::Gdal},
      {"gen_sp27.png", "a PNG with a world file and its CRS in .aux.xml", TOracle::Gdal},
      {"gen_across180.kmz", "GDAL's KMZ of an overlay across 180 degrees", TOracle::Gdal},
      {"gen_geotransform.vrt", "a VRT with a GeoTransform", TOracle::Gdal},
      {"gen_gcps.vrt", "a VRT with seven GCPs", TOracle::Gdal},
      {"hand_ozi.map", ".map on WGS 84 with a border", TOracle::Gdal},
      {"hand_ed50.map", ".map in transverse Mercator on European 1950", TOracle::Gdal},
      {"gen_lc.kmz",
       "GDAL's KMZ of a projected map: a gx:LatLonQuad",
       TOracle::Corners,
       "",
       {{{-67.144059, 19.164027},
         {-64.950858, 18.432640},
         {-67.518421, 17.928986},
         {-65.349753, 17.202624}}}},
      {"kmlsamples.kml", "a rotated LatLonBox whose href is a URL", TOracle::Corners, "",
       RotatedBox(37.91904192681665, 37.46543388598137, 15.35832653742206, 14.60128369746704,
                  -0.1556640799496235)},
      {"hand_quad.kml",
       "a gx:LatLonQuad",
       TOracle::Corners,
       "",
       {{{8.5288, 47.3790}, {8.5495, 47.3811}, {8.5301, 47.3652}, {8.5512, 47.3671}}}},
      {"hand_points.points", "a georeferencer's list named X.points beside X.jpg", TOracle::Points},
      {"logo.tif", "a plain TIFF without georeferencing", TOracle::None, "no world file beside it"},
      {"raster.tif", "a TIFF with a world file but no CRS", TOracle::None,
       "the world file gives no CRS"},
  };
  return files;
}

std::string Quoted(const std::string& s) {
  return "'" + s + "'";
}

test::CommandResult Tool(const std::string& Args, const std::string& Input = "") {
  return test::RunCommand(Quoted(MAROVIA_GEOMAP_TOOL) + " " + Args, Input);
}

class RealMaps : public ::testing::TestWithParam<TCorpusFile> {
 protected:
  static void SetUpTestSuite() {
    // One copy of the corpus for all rows: the tool writes beside it.
    dir_ = new test::TempDir;
    fs::copy(std::string(MAROVIA_TEST_DATA_DIR) + "/realmaps", dir_->Path(),
             fs::copy_options::recursive);
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static std::string In(const std::string& Name) { return dir_->File(Name); }
  static test::TempDir* dir_;
};
test::TempDir* RealMaps::dir_ = nullptr;

// The calibration as the import wrote it, read back and fitted.
TMapCalibration WrittenCalibration(const std::string& Xml, int W, int H) {
  TMapCalibration cal;
  EXPECT_TRUE(ParseCalibration(Xml, "", cal)) << Xml;
  cal.SetImageSize(W, H);
  cal.Fit();
  return cal;
}

// The largest distance, in pixels of the map, between our positions of the
// pixels and the oracle's, both taken back to pixels by our calibration
// (so that a model fitted each way is judged on one direction).
double WorstPixels(const TMapCalibration& Cal, const std::vector<std::array<double, 2>>& Pixels,
                   const std::vector<std::array<double, 2>>& OracleLonLat) {
  double worst = 0;
  for (size_t i = 0; i < Pixels.size() && i < OracleLonLat.size(); ++i) {
    const TPixelPosition ours = Cal.PixelToGeo(Pixels[i][0], Pixels[i][1]);
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    EXPECT_TRUE(ours.Valid()) << "pixel " << Pixels[i][0] << " " << Pixels[i][1];
    EXPECT_TRUE(Cal.GeoToPixelExact(ours.Latit, ours.Longit, x0, y0));
    EXPECT_TRUE(Cal.GeoToPixelExact(OracleLonLat[i][1], OracleLonLat[i][0], x1, y1))
        << OracleLonLat[i][1] << " " << OracleLonLat[i][0];
    worst = std::max(worst, std::hypot(x1 - x0, y1 - y0));
    // Both sides of 180 degrees come out within -180..180.
    EXPECT_LE(std::fabs(ours.Longit), 180.0);
  }
  return worst;
}

TEST_P(RealMaps, ImportsAgreesWithGdalAndGoesThroughEveryCommand) {
  const TCorpusFile& f = GetParam();
  SCOPED_TRACE(std::string(f.File) + ": " + f.What);
  const std::string xml = In(std::string(f.File) + ".xml");
  const test::CommandResult imported = Tool("import " + Quoted(In(f.File)) + " -o " + Quoted(xml));
  if (f.Oracle == TOracle::None) {
    EXPECT_NE(imported.Status, 0);
    EXPECT_NE(imported.Err.find(f.Refusal), std::string::npos) << imported.Err;
    EXPECT_FALSE(fs::exists(xml));
    // GDAL knows no CRS on the Earth for it either (at most an engineering
    // CRS of plain metres).
    const test::CommandResult gdal = test::RunCommand("gdalinfo " + Quoted(In(f.File)));
    for (const char* earth : {"GEOGCRS[", "GEODCRS[", "PROJCRS[", "BOUNDCRS["})
      EXPECT_EQ(gdal.Out.find(earth), std::string::npos) << gdal.Out;
    return;
  }
  ASSERT_EQ(imported.Status, 0) << imported.Err;

  // The image the calibration names, beside it, and its size.
  TMapCalibration named;
  ASSERT_TRUE(ParseCalibration(xml, "", named));
  const std::string image = In(named.Data().MapFName);
  ASSERT_TRUE(fs::exists(image)) << image;
  int64_t width = 0, height = 0;
  ASSERT_TRUE(ReadImageDimensions(image, width, height)) << image;
  const int w = static_cast<int>(width), h = static_cast<int>(height);
  const TMapCalibration cal = WrittenCalibration(xml, w, h);
  ASSERT_TRUE(cal.Converts());

  // Against the oracle.
  const std::vector<std::array<double, 2>> pixels = test::SamplePixels(w, h);
  std::vector<std::array<double, 2>> oracle;
  if (f.Oracle == TOracle::Gdal || f.Oracle == TOracle::GdalTps) {
    const std::string options =
        std::string(f.Oracle == TOracle::GdalTps ? "-tps " : "") + "-t_srs EPSG:4326";
    for (const auto& v : test::GdalTransform(In(f.File), options, pixels))
      oracle.push_back({v[0], v[1]});
    const double worst = WorstPixels(cal, pixels, oracle);
    EXPECT_LT(worst, 0.5);
    RecordProperty("worst_pixels", std::to_string(worst));
  } else if (f.Oracle == TOracle::Points) {
    // The enabled points as GDAL's GCPs of the image, in the list's CRS.
    std::ifstream in(In(f.File));
    std::string line, crs, gcps;
    while (std::getline(in, line)) {
      if (line.rfind("#CRS: ", 0) == 0) crs = line.substr(6);
      double v[5];
      char comma;
      std::istringstream fields(line);
      if (line.empty() || line[0] == '#' || line[0] == 'm') continue;
      fields >> v[0] >> comma >> v[1] >> comma >> v[2] >> comma >> v[3] >> comma >> v[4];
      if (v[4] == 0) continue;
      gcps += " -gcp " + std::to_string(v[2]) + " " + std::to_string(-v[3]) + " " +
              std::to_string(v[0]) + " " + std::to_string(v[1]);
    }
    const std::string vrt = In(std::string(f.File) + ".vrt");
    const test::CommandResult made =
        test::RunCommand("gdal_translate -q -of VRT -a_srs " + Quoted(crs) + gcps + " " +
                         Quoted(image) + " " + Quoted(vrt));
    ASSERT_EQ(made.Status, 0) << made.Err;
    for (const auto& v : test::GdalTransform(vrt, "-t_srs EPSG:4326", pixels))
      oracle.push_back({v[0], v[1]});
    EXPECT_LT(WorstPixels(cal, pixels, oracle), 0.5);
  } else if (f.Corners[0][0] != 0 || f.Corners[0][1] != 0) {
    const std::vector<std::array<double, 2>> corners = {
        {0, 0}, {double(w), 0}, {0, double(h)}, {double(w), double(h)}};
    EXPECT_LT(WorstPixels(cal, corners, {f.Corners.begin(), f.Corners.end()}), 0.5);
  }

  // Every command on the written calibration.
  const test::CommandResult info = Tool("info " + Quoted(xml));
  const test::CommandResult convert =
      Tool("convert --to-geo " + Quoted(xml), std::to_string(w / 2) + " " + std::to_string(h / 2));
  const test::CommandResult render = Tool("render " + Quoted(xml) + " --size 200x150 -o " +
                                          Quoted(In(std::string(f.File) + ".png")));
  const test::CommandResult tiles =
      Tool("tiles " + Quoted(xml) + " -o " + Quoted(In(std::string(f.File) + ".pmtiles")));
  for (const auto* r : {&info, &convert, &render, &tiles}) EXPECT_EQ(r->Status, 0) << r->Err;
  // A point model's listing counts every point the fit used, beyond the
  // record's 200 too.
  if (info.Out.find("  points:") != std::string::npos) {
    const std::string count = std::to_string(cal.ControlPoints().size());
    EXPECT_NE(info.Out.find("points:      " + count + "\n"), std::string::npos) << info.Out;
  }
  if (convert.Status == 0) {
    // The tool's position of the centre is the calibration's.
    double lat = 0, lon = 0;
    std::istringstream(convert.Out) >> lat >> lon;
    const TPixelPosition p = cal.PixelToGeo(w / 2, h / 2);
    EXPECT_NEAR(lat, p.Latit, 1e-7);
    EXPECT_NEAR(lon, p.Longit, 1e-7);
  }
}

// Datum shifts: our positions of a file's pixels against cs2cs of the
// model coordinates in the CRS as the file defines it (the EPSG code, or
// the PROJ string its maker was given, TOWGS84 and all).
TEST(RealMapDatums, AgreeWithCs2csOfTheFilesOwnCrs) {
  const struct {
    const char* File;
    const char* Crs;
    double X0, Dx, Y0, Dy;  // the file's north-up geotransform
  } cases[] = {
      {"SP27GTIF.TIF", "EPSG:26771", 681480, 32.8, 1913050, -32.8},
      {"gen_towgs84_tmerc.tif",
       "+proj=tmerc +lat_0=0 +lon_0=9 +k=1 +x_0=500000 +y_0=0 +ellps=intl "
       "+towgs84=-87,-98,-121,0.5,-0.3,0.2,1.2 +units=m +no_defs +type=crs",
       500000, 50, 5300000, -50},
      {"gen_towgs84_geog.tif", "+proj=longlat +ellps=clrk66 +towgs84=-8,160,176 +no_defs +type=crs",
       -100.5, 0.005, 40.4, -0.005},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.File);
    const TImportedMap m = ImportMap(std::string(MAROVIA_TEST_DATA_DIR) + "/realmaps/" + c.File);
    std::string input;
    std::vector<std::array<double, 2>> pixels;
    for (const double i : {0.0, 37.5, 80.25})
      for (const double j : {0.0, 41.5, 77.75}) {
        pixels.push_back({i, j});
        input += std::to_string(c.X0 + i * c.Dx) + " " + std::to_string(c.Y0 + j * c.Dy) + "\n";
      }
    const test::CommandResult r =
        test::RunCommand("cs2cs -f %.12f " + std::string(c.Crs) + " +to EPSG:4326", input);
    ASSERT_EQ(r.Status, 0) << r.Err;
    std::istringstream out(r.Out);
    for (const auto& p : pixels) {
      double lat = 0, lon = 0, z = 0;
      ASSERT_TRUE(out >> lat >> lon >> z) << r.Out;
      const TPixelPosition ours = m.Calibration.PixelToGeo(p[0], p[1]);
      // About a centimetre: a shift that varies across a map of another
      // datum's latitudes and longitudes is fitted, within 0.01 pixel.
      EXPECT_NEAR(ours.Latit, lat, 1e-7);
      EXPECT_NEAR(ours.Longit, lon, 1e-7);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Corpus, RealMaps, ::testing::ValuesIn(Corpus()),
                         [](const ::testing::TestParamInfo<TCorpusFile>& info) {
                           std::string name;
                           for (const char c : std::string(info.param.File))
                             name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return name;
                         });

}  // namespace
}  // namespace marovia
