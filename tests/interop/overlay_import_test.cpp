// KML overlays and virtual rasters read from bytes, the import entry that
// finds the format by content and names every place it looked in, and
// exports of a CRS in feet read back by GDAL.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "marovia/geomap/control_points.h"
#include "marovia/geomap/kml_import.h"
#include "marovia/geomap/map_import.h"
#include "marovia/geomap/vrt_export.h"
#include "marovia/geomap/vrt_import.h"
#include "marovia/geomap/world_file.h"
#include "support/gdal_tools.h"
#include "support/temp_dir.h"

namespace marovia {
namespace {

std::string Overlay(const std::string& Place) {
  return "<kml xmlns:gx=\"http://www.google.com/kml/ext/2.2\"><!-- <GroundOverlay> --><Document>"
         "<GroundOverlay><name>a &amp; b</name><Icon><href>maps/a.png</href></Icon>" +
         Place + "</GroundOverlay></Document></kml>";
}

std::string Box(double N, double S, double E, double W, double Rotation) {
  return "<LatLonBox><north>" + std::to_string(N) + "</north><south>" + std::to_string(S) +
         "</south><east>" + std::to_string(E) + "</east><west>" + std::to_string(W) +
         "</west><rotation>" + std::to_string(Rotation) + "</rotation></LatLonBox>";
}

// Where the calibration puts an image corner, longitude first.
std::array<double, 2> Corner(const TMapCalibration& Cal, double X, double Y) {
  const TPixelPosition p = Cal.PixelToGeo(X, Y);
  EXPECT_TRUE(p.Valid());
  return {p.Longit, p.Latit};
}

TEST(KmlOverlay, BoxesAndQuadsPlaceTheImageCornersWhereTheFileSays) {
  constexpr int W = 400, H = 300;
  struct TCase {
    const char* What;
    std::string Place;
    // Top left, top right, bottom left, bottom right (longitude, latitude).
    std::array<std::array<double, 2>, 4> Corners;
  } cases[] = {
      {"a box", Box(47, 46, 9, 8, 0), {{{8, 47}, {9, 47}, {8, 46}, {9, 46}}}},
      // Turned 90 degrees counter-clockwise about its centre (8.5, 46.5):
      // the image's top edge now runs northwards along the west side.
      {"a box turned a quarter", Box(47, 46, 9, 8, 90), {{{8, 46}, {8, 47}, {9, 46}, {9, 47}}}},
      {"a box across 180 degrees, east below west",
       Box(-15, -19, -176, 176, 0),
       {{{176, -15}, {-176, -15}, {176, -19}, {-176, -19}}}},
      {"a quad, corners counter-clockwise from the lower left",
       "<gx:LatLonQuad><coordinates>8,46 9,46.1 9.1,47 7.9,47.2</coordinates></gx:LatLonQuad>",
       {{{7.9, 47.2}, {9.1, 47}, {8, 46}, {9, 46.1}}}},
      {"a quad across 180 degrees",
       "<gx:LatLonQuad><coordinates>179,-18 -179,-18.2 -178.8,-16 179.2,-16</coordinates>"
       "</gx:LatLonQuad>",
       {{{179.2, -16}, {-178.8, -16}, {179, -18}, {-179, -18.2}}}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    const TImportedMap m = ParseKmlOverlay(Overlay(c.Place), "t.kml", W, H);
    EXPECT_EQ(m.ImageName, "maps/a.png");
    EXPECT_EQ(m.Calibration.Data().Caption, "a & b");
    const double xs[4] = {0, W, 0, W}, ys[4] = {0, 0, H, H};
    for (int k = 0; k < 4; ++k) {
      const auto got = Corner(m.Calibration, xs[k], ys[k]);
      EXPECT_NEAR(got[0], c.Corners[k][0], 1e-9) << "corner " << k;
      EXPECT_NEAR(got[1], c.Corners[k][1], 1e-9) << "corner " << k;
    }
    // Positions on both sides of 180 degrees find their pixels again.
    for (int k = 0; k < 4; ++k) {
      double x = 0, y = 0;
      ASSERT_TRUE(m.Calibration.GeoToPixelExact(c.Corners[k][1], c.Corners[k][0], x, y));
      EXPECT_NEAR(x, xs[k], 1e-6);
      EXPECT_NEAR(y, ys[k], 1e-6);
    }
  }
}

TEST(KmlOverlay, RefusalsSayWhatIsMissing) {
  const struct {
    std::string Kml;
    const char* Says;
  } cases[] = {
      {"<kml><Document/></kml>", "no GroundOverlay"},
      {"<kml><GroundOverlay>" + Box(1, 0, 1, 0, 0) + "</GroundOverlay></kml>", "names no image"},
      {Overlay(""), "neither a LatLonBox nor a gx:LatLonQuad"},
      {Overlay("<LatLonBox><north>1</north><south>0</south><east>1</east></LatLonBox>"),
       "no <west>"},
      {Overlay(Box(10, 20, 1, 0, 0)), "not a band of latitudes"},
      {Overlay("<LatLonBox><north>x</north><south>0</south><east>1</east><west>0</west>"
               "</LatLonBox>"),
       "<north> is not a number"},
      {Overlay("<gx:LatLonQuad><coordinates>1,1 2,1 2,2</coordinates></gx:LatLonQuad>"),
       "3 corners"},
      {Overlay("<gx:LatLonQuad><coordinates>1,1 2,1 2,2 1,2 0,0</coordinates></gx:LatLonQuad>"),
       "more than four"},
      {Overlay("<gx:LatLonQuad><coordinates>1,100 2,1 2,2 1,2</coordinates></gx:LatLonQuad>"),
       "not \"longitude,latitude\""},
  };
  for (const auto& c : cases) {
    try {
      ParseKmlOverlay(c.Kml, "t.kml", 10, 10);
      ADD_FAILURE() << "accepted: " << c.Kml;
    } catch (const EZYLGeoMapError& e) {
      EXPECT_NE(std::string(e.what()).find(c.Says), std::string::npos) << e.what();
      EXPECT_EQ(std::string(e.what()).rfind("t.kml: ", 0), 0u) << e.what();
    }
  }
}

TEST(VrtImport, RefusalsSayWhatIsMissing) {
  const std::string source =
      "<VRTRasterBand><SimpleSource><SourceFilename relativeToVRT=\"1\">a.png</SourceFilename>"
      "</SimpleSource></VRTRasterBand>";
  const auto vrt = [&](const std::string& Inside,
                       const std::string& Size = "10\" rasterYSize=\"8") {
    return "<VRTDataset rasterXSize=\"" + Size + "\">" + Inside + "</VRTDataset>";
  };
  const struct {
    std::string Vrt;
    const char* Says;
  } cases[] = {
      {"<kml/>", "no VRTDataset"},
      {vrt(source, "0\" rasterYSize=\"8"), "no usable rasterXSize"},
      {vrt("<SRS>EPSG:4326</SRS>"), "names no source image"},
      {vrt(source), "neither a GeoTransform nor a GCPList"},
      {vrt("<GeoTransform>0,1,0,0,0,-1</GeoTransform>" + source), "no SRS"},
      {vrt("<SRS>EPSG:4326</SRS><GeoTransform>0,1,0,0</GeoTransform>" + source), "4 numbers"},
      {vrt("<SRS>EPSG:4326</SRS><GeoTransform>0,1,2,0,0.5,1</GeoTransform>" + source),
       "degenerate"},
      {vrt("<SRS>EPSG:4326</SRS><GeoTransform>0,1,0,0,0,-1</GeoTransform>"
           "<VRTRasterBand><SimpleSource><SourceFilename>a.png</SourceFilename>"
           "<SrcRect xOff=\"2\" yOff=\"0\" xSize=\"8\" ySize=\"8\"/></SimpleSource>"
           "</VRTRasterBand>"),
       "covers only part"},
      {vrt("<GCPList Projection=\"EPSG:4326\"><GCP Pixel=\"0\" Line=\"0\" X=\"1\"/></GCPList>" +
           source),
       "GCP 1 has no number Y"},
      {vrt("<GCPList Projection=\"EPSG:4326\"><GCP Pixel=\"0\" Line=\"0\" X=\"1\" Y=\"2\"/>"
           "</GCPList>" +
           source),
       "1 control point(s)"},
      {vrt("<SRS>EPSG:99999999</SRS><GeoTransform>0,1,0,0,0,-1</GeoTransform>" + source),
       "not known to PROJ"},
  };
  for (const auto& c : cases) {
    try {
      ParseVrt(c.Vrt, "d/t.vrt");
      ADD_FAILURE() << "accepted: " << c.Vrt;
    } catch (const EZYLGeoMapError& e) {
      EXPECT_NE(std::string(e.what()).find(c.Says), std::string::npos) << e.what();
    }
  }
}

// A mapping "1,2" on a CRS whose first axis is latitude puts latitude in X.
TEST(VrtImport, AxisMappingOfALatitudeFirstCrsSwapsTheTransform) {
  const std::string source =
      "<VRTRasterBand><SimpleSource><SourceFilename relativeToVRT=\"1\">a.png</SourceFilename>"
      "</SimpleSource></VRTRasterBand>";
  for (const bool latFirst : {false, true}) {
    const std::string vrt = std::string(
                                "<VRTDataset rasterXSize=\"10\" rasterYSize=\"10\"><SRS "
                                "dataAxisToSRSAxisMapping=\"") +
                            (latFirst ? "1,2" : "2,1") + "\">EPSG:4326</SRS><GeoTransform>" +
                            (latFirst ? "47,-0.1,0,8,0,0.1" : "8,0.1,0,47,0,-0.1") +
                            "</GeoTransform>" + source + "</VRTDataset>";
    const TImportedMap m = ParseVrt(vrt, "d/t.vrt");
    EXPECT_EQ(m.ImageName, "d/a.png");
    const TPixelPosition p = m.Calibration.PixelToGeo(10, 10);
    EXPECT_NEAR(p.Latit, 46, 1e-9) << latFirst;
    EXPECT_NEAR(p.Longit, 9, 1e-9) << latFirst;
  }
}

TEST(ImportMap, FindsTheFormatByContentAndNamesEveryPlaceLookedIn) {
  test::TempDir dir;
  const std::string data = std::string(MAROVIA_TEST_DATA_DIR) + "/realmaps/";
  // A GeoTIFF under another extension, and without any.
  std::filesystem::copy_file(data + "grain.tif", dir.File("grain.dat"));
  std::filesystem::copy_file(data + "grain.tif", dir.File("grain"));
  for (const char* name : {"grain.dat", "grain"})
    EXPECT_EQ(ImportMap(dir.File(name)).Calibration.Model(), cmEquiRect) << name;

  // A plain TIFF: the GeoTIFF's complaint, the world files and the lists.
  std::filesystem::copy_file(data + "logo.tif", dir.File("logo.tif"));
  try {
    ImportMap(dir.File("logo.tif"));
    ADD_FAILURE();
  } catch (const EZYLGeoMapError& e) {
    const std::string m = e.what();
    for (const char* part :
         {"no GeoKeys", "logo.tfw", "logo.wld", "logo.tif.points", "logo.points"})
      EXPECT_NE(m.find(part), std::string::npos) << part << " in " << m;
  }

  // A georeferencer's list named X.points beside X.jpg, found from either.
  std::filesystem::copy_file(data + "hand_points.jpg", dir.File("scan.jpg"));
  std::filesystem::copy_file(data + "hand_points.points", dir.File("scan.points"));
  const TImportedMap fromList = ImportMap(dir.File("scan.points"));
  EXPECT_EQ(fromList.ImageName, dir.File("scan.jpg"));
  EXPECT_EQ(ImportMap(dir.File("scan.jpg")).Calibration.Model(), fromList.Calibration.Model());
  std::filesystem::rename(dir.File("scan.jpg"), dir.File("elsewhere.jpg"));
  try {
    ImportControlPoints(dir.File("scan.points"));
    ADD_FAILURE();
  } catch (const EZYLGeoMapError& e) {
    for (const char* part : {"scan.tif", "scan.jpg", "scan.png", "upper case"})
      EXPECT_NE(std::string(e.what()).find(part), std::string::npos) << e.what();
  }
}

// A control-point list beyond the record's 200 points keeps them all, and
// their positions between pixels.
TEST(ControlPointsList, KeepsEveryPointAndItsFractionOfAPixel) {
  std::string text = "#CRS: EPSG:4326\nmapX,mapY,sourceX,sourceY,enable,dX,dY,residual\n";
  for (int k = 0; k < 250; ++k) {
    const double x = (k % 25) * 16 + 0.37, y = (k / 25) * 30 + 0.61;
    text += std::to_string(8 + x * 1e-4) + "," + std::to_string(47 - y * 1e-4) + "," +
            std::to_string(x) + "," + std::to_string(-y) + ",1,0,0,0\n";
  }
  const TImportedMap m = ParseControlPoints(text, "many.points", 400, 300);
  EXPECT_EQ(m.Calibration.ControlPoints().size(), 250u);
  EXPECT_EQ(m.Calibration.Data().NumCalQuads, kMaxCalQuads);
  EXPECT_EQ(m.Calibration.ControlPoints()[0].X, 0.37);
  double x = 0, y = 0;
  ASSERT_TRUE(m.Calibration.GeoToPixelExact(47 - 0.61e-4, 8 + 0.37e-4, x, y));
  EXPECT_NEAR(x, 0.37, 1e-3);
  EXPECT_NEAR(y, 0.61, 1e-3);
}

// A map in a CRS measured in US survey feet is exported in feet: GDAL
// reads the world file and the virtual raster back to the same places.
TEST(ExportInFeet, GdalReadsTheExportsLikeTheGeoTiff) {
  test::TempDir dir;
  const std::string tif = std::string(MAROVIA_TEST_DATA_DIR) + "/realmaps/SP27GTIF.TIF";
  const TImportedMap m = ImportMap(tif);
  ASSERT_EQ(m.Calibration.Model(), cmProjected);
  const std::string png = dir.File("sp27.png");
  test::GdalBlankImage(png, m.Calibration.ImageWidth(), m.Calibration.ImageHeight(), "");
  ExportWorldFile(m.Calibration, png);
  ExportVrt(m.Calibration, dir.File("sp27.vrt"), png);
  const auto pixels = test::SamplePixels(m.Calibration.ImageWidth(), m.Calibration.ImageHeight());
  const auto truth = test::GdalTransform(tif, "-t_srs EPSG:4326", pixels);
  for (const std::string& exported : {png, dir.File("sp27.vrt")}) {
    const auto back = test::GdalTransform(exported, "-t_srs EPSG:4326", pixels);
    ASSERT_EQ(back.size(), truth.size());
    for (size_t i = 0; i < back.size(); ++i) {
      EXPECT_NEAR(back[i][0], truth[i][0], 1e-6) << exported;  // about 0.1 m
      EXPECT_NEAR(back[i][1], truth[i][1], 1e-6) << exported;
    }
  }
}

}  // namespace
}  // namespace marovia
