// Georeference annotations against the IIIF maps community's own packages
// (installed by scripts/setup.sh test, run through node): our annotations
// parse there and their transformation gives our positions; theirs import
// here and convert as they convert them. Damaged annotations are refused
// with the file and the place in it.
#include <gtest/gtest.h>

#include <GeographicLib/Geodesic.hpp>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "interop/interop_support.h"
#include "marovia/geomap/iiif_annotation.h"
#include "marovia/geomap/map_import.h"
#include "marovia/geomap/map_source.h"
#include "support/gdal_tools.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace marovia {
namespace {

std::string Pair(double A, double B, const char* Separator = " ") {
  char b[96];
  std::snprintf(b, sizeof b, "%.17g%s%.17g", A, Separator, B);
  return b;
}

std::string FileText(const std::string& File) {
  std::ifstream in(File, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Modules() {
  if (const char* prefix = std::getenv("MAROVIA_NPM_PREFIX"))
    return std::string(prefix) + "/node_modules";
  return std::string(std::getenv("HOME") ? std::getenv("HOME") : "") +
         "/.cache/marovia/npm/node_modules";
}

std::string Oracle(const std::string& Args, const std::string& Input = "") {
  const test::CommandResult r = test::RunCommand(
      "node '" MAROVIA_TEST_SOURCE_DIR "/iiif_annotation_oracle.mjs' '" + Modules() + "' " + Args,
      Input);
  EXPECT_EQ(r.Status, 0) << r.Err;
  return r.Out;
}

// The positions the packages give the pixels through each annotation: its
// transformation's type, and lon, lat per pixel.
struct TOracleResult {
  std::string Type;
  std::vector<std::array<double, 2>> Geo;
};
std::vector<TOracleResult> OracleRead(const std::vector<std::string>& Files,
                                      const std::vector<std::array<double, 2>>& Pixels) {
  std::string input, files;
  for (const auto& p : Pixels) input += Pair(p[0], p[1]) + "\n";
  for (const std::string& f : Files) files += " '" + f + "'";
  std::istringstream out(Oracle("read" + files, input));
  std::vector<TOracleResult> results(Files.size());
  for (TOracleResult& r : results) {
    out >> r.Type;
    r.Geo.resize(Pixels.size());
    for (auto& g : r.Geo) out >> g[0] >> g[1];
  }
  EXPECT_TRUE(out) << "the packages gave too few positions";
  return results;
}

// The largest distance, in pixels of the calibration's scale there,
// between the calibration's positions of the pixels and Geo.
double WorstPixels(const TMapCalibration& Cal, const std::vector<std::array<double, 2>>& Pixels,
                   const std::vector<std::array<double, 2>>& Geo) {
  const GeographicLib::Geodesic& g = GeographicLib::Geodesic::WGS84();
  double worst = 0;
  for (std::size_t i = 0; i < Pixels.size() && i < Geo.size(); ++i) {
    const double x = Pixels[i][0], y = Pixels[i][1];
    const TPixelPosition p = Cal.PixelToGeo(x, y), px = Cal.PixelToGeo(x + 1, y),
                         py = Cal.PixelToGeo(x, y + 1);
    if (!p.Valid() || !px.Valid() || !py.Valid()) continue;
    double m = 0, mx = 0, my = 0;
    g.Inverse(p.Latit, p.Longit, Geo[i][1], Geo[i][0], m);
    g.Inverse(p.Latit, p.Longit, px.Latit, px.Longit, mx);
    g.Inverse(p.Latit, p.Longit, py.Latit, py.Longit, my);
    worst = std::max(worst, m / std::sqrt(mx * my));
  }
  return worst;
}

std::shared_ptr<const TMapSource> Sample(const std::string& Name) {
  return TMapSource::Open(std::string(MAROVIA_SAMPLE_ATLAS) + "/" + Name + ".xml");
}

// A thin-plate calibration: 20 points of the Europe map, interpolated.
TMapCalibration ThinPlateOfEurope() {
  const auto source = Sample("europe_lcc");
  const TMapCalibration& europe = source->Calibration();
  std::vector<interop::TGroundPoint> points;
  for (int k = 0; k < 20; ++k) {
    interop::TGroundPoint p;
    p.X = 80 + (k * 389) % 1540;
    p.Y = 60 + (k * 617) % 1530;
    const TPixelPosition g = europe.PixelToGeo(p.X, p.Y);
    p.Lat = g.Latit;
    p.Lon = g.Longit;
    points.push_back(p);
  }
  return interop::FittedModel(cmThinPlate, points, {}, 1, europe.ImageWidth(), europe.ImageHeight(),
                              "test");
}

// Both ways in one test, so that node starts twice: our annotations of the
// three models the extension names read back exactly through the packages
// (second order: as closely as the packages' unscaled solve allows), the
// others within what the export promises; and the packages' annotations
// of each transformation import into the model that converts as they do
// (a cubic, which no model here is, as a spline through a grid of it: a
// few hundredths of a pixel off on this strongly warped one).
TEST(IiifAnnotation, ThePackagesConvertAsWeDo) {
  test::TempDir dir;
  struct TOurs {
    const char* Name;
    std::string Type;  // the transformation the packages find; "" any
    double Within;     // pixels; 0: within what the export promises
  };
  const TMapCalibration tps = ThinPlateOfEurope();
  const auto alps = Sample("alps_eqc"), iberia = Sample("iberia_stereo"),
             europe = Sample("europe_lcc"), zurich = Sample("zurich_utm32");
  const std::vector<std::pair<TOurs, const TMapCalibration*>> ours = {
      {{"equirect", "polynomial", 1e-6}, &alps->Calibration()},
      {{"biquadratic", "polynomial2", 1e-5}, &iberia->Calibration()},
      {{"thinPlateSpline", "thinPlateSpline", 1e-6}, &tps},
      {{"conic", "", 0}, &europe->Calibration()},
      {{"utm", "", 0}, &zurich->Calibration()},
  };
  std::vector<std::string> files;
  std::vector<TReadBackError> promised;
  for (const auto& [c, cal] : ours) {
    files.push_back(dir.File(std::string(c.Name) + ".json"));
    promised.push_back(ExportGeoreferenceAnnotation(
        *cal, files.back(), {"https://example.org/iiif/scan", "ImageService3"}));
  }
  // 16 points of a smoothly warped image of 1000 x 800 pixels, annotated
  // by the packages with each transformation.
  std::string points = "[";
  for (int j = 0; j < 4; ++j)
    for (int i = 0; i < 4; ++i) {
      const double x = 40 + i * 300 + 13 * j, y = 30 + j * 240 - 7 * i;
      const double lon = 5 + x * 0.002 + 1e-7 * x * y + 2e-10 * x * x * x;
      const double lat = 48 - y * 0.0015 + 3e-8 * x * x - 1e-10 * y * y * y;
      points += std::string(points.size() > 1 ? "," : "") + "[" + Pair(x, y, ",") + "," +
                Pair(lon, lat, ",") + "]";
    }
  Oracle("annotate '" + dir.Write("points.json", points + "]") + "' '" + dir.File("made_") + "'");
  struct TTheirs {
    const char* Type;
    TCalibModel Model;
    double Within;  // pixels
  };
  const TTheirs theirs[] = {{"polynomial1", cmEquiRect, 1e-6},
                            {"polynomial2", cmBiquadraticPn, 1e-5},
                            {"polynomial3", cmThinPlate, 0.05},
                            {"thinPlateSpline", cmThinPlate, 1e-6}};
  for (const TTheirs& c : theirs)
    files.push_back(dir.File(std::string("made_") + c.Type + ".json"));

  // Every calibration here is at least 1000 x 800 pixels: one set of pixels.
  const auto pixels = test::SamplePixels(1000, 800);
  const std::vector<TOracleResult> read = OracleRead(files, pixels);
  ASSERT_EQ(read.size(), files.size());
  for (std::size_t i = 0; i < ours.size(); ++i) {
    const auto& [c, cal] = ours[i];
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(promised[i].Exact, c.Within > 0) << ReadBackNote(promised[i]);
    if (!c.Type.empty()) {
      EXPECT_EQ(read[i].Type, c.Type);
    }
    const double worst = WorstPixels(*cal, pixels, read[i].Geo);
    EXPECT_LE(worst, c.Within > 0 ? c.Within : promised[i].MaxPixels * 1.05 + 1e-6)
        << ReadBackNote(promised[i]);
    // Our own import of our annotation converts as the packages do (a
    // cubic through the spline of its grid).
    const TImportedMap back = ParseGeoreferenceAnnotation(FileText(files[i]), files[i]);
    EXPECT_LT(WorstPixels(back.Calibration, pixels, read[i].Geo),
              read[i].Type == "polynomial3" ? 0.05 : 1e-5);
  }
  // Their target is a service: its image is found beside the annotation
  // by the service's last segment, and refused by name when missing.
  EXPECT_THROW(ImportMap(files[ours.size()]), EZYLGeoMapError);
  test::GdalBlankImage(dir.File("scan.jpg"), 1000, 800, "-of JPEG");
  for (std::size_t k = 0; k < std::size(theirs); ++k) {
    const TTheirs& c = theirs[k];
    SCOPED_TRACE(c.Type);
    const TImportedMap m = ImportMap(files[ours.size() + k]);
    EXPECT_EQ(m.Calibration.Model(), c.Model);
    EXPECT_EQ(m.Calibration.ImageWidth(), 1000);
    EXPECT_EQ(m.Calibration.ImageHeight(), 800);
    EXPECT_EQ(m.ImageName, dir.File("scan.jpg"));
    EXPECT_LT(WorstPixels(m.Calibration, pixels, read[ours.size() + k].Geo), c.Within);
  }
}

// A border goes out as the SVG polygon and comes back; damaged annotations
// are refused with the file, the line and what is wrong.
TEST(IiifAnnotationImport, BorderRoundTripsAndDamageIsRefusedByPlace) {
  TMapCalibration cal = Sample("alps_eqc")->Calibration();
  const std::vector<TBorderVertex> border{{10, 20}, {1500.5, 15}, {1580, 1100}, {30, 1120.25}};
  cal.SetBorder(border);
  TReadBackError e;
  const std::string text = MakeGeoreferenceAnnotation(cal, {"scan.jpg", "Image"}, e);
  TAnnotationTarget target;
  const TImportedMap m = ParseGeoreferenceAnnotation(text, "a.json", 0, 0, &target);
  EXPECT_EQ(m.Calibration.Border(), border);
  EXPECT_EQ(target.Id, "scan.jpg");
  EXPECT_EQ(target.Type, "Image");

  auto replaced = [&](const std::string& From, const std::string& To) {
    std::string t = text;
    const std::size_t at = t.find(From);
    EXPECT_NE(at, std::string::npos) << From;
    return at == std::string::npos ? t : t.replace(at, From.size(), To);
  };
  struct TDamage {
    std::string Text;
    const char* Says;
  };
  const TDamage damages[] = {
      {text.substr(0, text.size() / 2), "a.json:"},
      {replaced("\"georeferencing\"", "\"commenting\""), "motivation"},
      {replaced("\"width\": 1600", "\"width\": -5"), "width and height"},
      {replaced("\"order\": 1", "\"order\": 4"), "order"},
      {replaced("\"polynomial\"", "\"projective\""), "projective"},
      {replaced("\"resourceCoords\"", "\"elsewhere\""), "resourceCoords"},
      {replaced("[6, 44]", "[6, 144]"), "outside the globe"},
      {replaced("\"type\": \"Point\"", "\"type\": \"LineString\""), "Point"},
      {replaced("polygon points=", "polygon pts="), "SVG"},
      {replaced("\"FeatureCollection\"", "\"Feature\""), "FeatureCollection"},
  };
  for (const TDamage& d : damages) {
    try {
      ParseGeoreferenceAnnotation(d.Text, "a.json");
      ADD_FAILURE() << "accepted: " << d.Says;
    } catch (const EZYLGeoMapError& x) {
      const std::string what = x.what();
      EXPECT_NE(what.find("a.json"), std::string::npos) << what;
      EXPECT_NE(what.find(d.Says), std::string::npos) << what;
    }
  }
  // Too few points for the transformation.
  std::string few = text;
  while (true) {
    const std::size_t at = few.find(",\n      {\"type\": \"Feature\"");
    if (at == std::string::npos) break;
    few.erase(at, few.find("}}", at) + 2 - at);
  }
  EXPECT_THROW(ParseGeoreferenceAnnotation(few, "a.json"), EZYLGeoMapError);
}

}  // namespace
}  // namespace marovia
