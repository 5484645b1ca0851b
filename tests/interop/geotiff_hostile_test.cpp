// GeoTIFF files whose georeferencing is missing or damaged: each import
// fails with an EZYLGeoMapError that names the file and what is wrong. The
// files are written by our own TIFF codec with hand-made GeoTIFF fields.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "marovia/geomap/geomap.h"
#include "marovia/geomap/geotiff_import.h"
#include "marovia/platform/tiffimage.h"
#include "support/temp_dir.h"

namespace marovia {
namespace {

TTiffField Shorts(uint16_t tag, std::vector<uint16_t> v) {
  TTiffField f;
  f.Tag = tag;
  f.Shorts = std::move(v);
  return f;
}
TTiffField Doubles(uint16_t tag, std::vector<double> v) {
  TTiffField f;
  f.Tag = tag;
  f.Kind = TTiffField::tkDouble;
  f.Doubles = std::move(v);
  return f;
}

// Key directories: WGS 84 geographic; a geocentric model type; a header
// that promises more keys than follow.
const TTiffField kGeographic = Shorts(34735, {1, 1, 0, 2, 1024, 0, 1, 2, 2048, 0, 1, 4326});
const TTiffField kGeocentric = Shorts(34735, {1, 1, 0, 1, 1024, 0, 1, 3});
const TTiffField kLyingKeys = Shorts(34735, {1, 1, 0, 40, 1024, 0, 1, 2});
// CRSs the keys cannot build: a projection method without a PROJ
// counterpart (Rosenmund's oblique Mercator), a user-defined projected CRS
// naming no method, latitude/longitude on Mars.
const TTiffField kRosenmund = Shorts(34735, {1,    1, 0, 5,     1024, 0, 1, 1,     2048, 0, 1, 4326,
                                             3072, 0, 1, 32767, 3074, 0, 1, 32767, 3075, 0, 1, 5});
const TTiffField kNoMethod =
    Shorts(34735, {1, 1, 0, 3, 1024, 0, 1, 1, 2048, 0, 1, 4326, 3072, 0, 1, 32767});
const TTiffField kMarsKeys =
    Shorts(34735, {1, 1,     0,    6, 1024, 0,     1,    2,     2048, 0, 1,    32767, 2050, 0,
                   1, 32767, 2056, 0, 1,    32767, 2057, 34736, 1,    0, 2059, 34736, 1,    1});
const TTiffField kMarsAxes = Doubles(34736, {3396190, 169.8944});
const TTiffField kScale = Doubles(33550, {0.01, 0.01, 0});
const TTiffField kTiepoint = Doubles(33922, {0, 0, 0, 10, 50, 0});

std::vector<double> Gcps(int n) {
  std::vector<double> v;
  for (int k = 0; k < n; ++k) v.insert(v.end(), {k * 1.0, k * 2.0, 0, 10 + k * 0.01, 50, 0});
  return v;
}

struct HostileCase {
  const char* name;
  std::vector<TTiffField> fields;  // empty with no fields at all: a plain TIFF
  const char* reason;              // part of the message
};

TEST(GeoTiffImport, RefusesFilesWithoutUsableGeoreferencing) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const HostileCase cases[] = {
      {"plain TIFF", {}, "no GeoKeys"},
      {"geocentric model", {kScale, kTiepoint, kGeocentric}, "neither geographic nor projected"},
      {"Rosenmund's projection", {kScale, kTiepoint, kRosenmund}, "Rosenmund"},
      {"no projection method", {kScale, kTiepoint, kNoMethod}, "ProjCoordTransGeoKey"},
      {"Mars", {kScale, kTiepoint, kMarsKeys, kMarsAxes}, "another body than the Earth"},
      {"key directory cut short", {kScale, kTiepoint, kLyingKeys}, "GeoKeys"},
      {"keys only", {kGeographic}, "no georeferencing"},
      {"tiepoint without scale", {kTiepoint, kGeographic}, "no ModelPixelScale"},
      {"zero scale", {Doubles(33550, {0, 0.01, 0}), kTiepoint, kGeographic}, "zero"},
      {"NaN in the transformation",
       {Doubles(34264, {1, 0, 0, nan, 0, -1, 0, 50, 0, 0, 0, 0, 0, 0, 0, 1}), kGeographic},
       "not finite"},
      {"two control points", {Doubles(33922, Gcps(2)), kGeographic}, "fewer than 3"},
      {"control points on a line", {Doubles(33922, Gcps(4)), kGeographic}, "on one line"},
  };
  for (const HostileCase& c : cases) {
    SCOPED_TRACE(c.name);
    const test::TempDir dir;
    const std::string file = dir.File("hostile.tif");
    TTiffImage img;
    img.SetWidth(20);
    img.SetHeight(10);
    img.SetExtraFields(c.fields);
    img.SaveToFile(file);
    try {
      ImportGeoTiff(file);
      ADD_FAILURE() << "accepted";
    } catch (const EZYLGeoMapError& e) {
      const std::string m = e.what();
      EXPECT_NE(m.find(file), std::string::npos) << m;
      EXPECT_NE(m.find(c.reason), std::string::npos) << m;
    }
  }
}

TEST(GeoTiffImport, RefusesWhatIsNotTiff) {
  const test::TempDir dir;
  for (const std::string& bytes : {std::string(), std::string("II*\0", 4), std::string("hello")}) {
    const std::string file = dir.Write("bad.tif", bytes);
    try {
      ImportGeoTiff(file);
      ADD_FAILURE() << "accepted";
    } catch (const EZYLGeoMapError& e) {
      EXPECT_NE(std::string(e.what()).find(file), std::string::npos) << e.what();
    }
  }
  EXPECT_THROW(ImportGeoTiff(dir.File("missing.tif")), EZYLGeoMapError);
}

// A TIFF map image loads in the control like the other formats; one whose
// header declares more than the map limit is refused with the control's
// size error before it is decoded, and the map keeps its image.
TEST(TiffMapImage, LoadsAndIsRefusedBeyondTheLimitFromItsHeader) {
  const test::TempDir dir;
  TTiffImage img;
  img.SetWidth(300);
  img.SetHeight(200);
  const std::string small = dir.File("small.TIF");
  img.SaveToFile(small);
  TGeoMap map(nullptr);
  map.SetMapImgName(small);
  EXPECT_EQ(map.MapImgWidth(), 300);
  EXPECT_EQ(map.MapImgHeight(), 200);
  // 2000 x 1501 pixels, declared by patching the length of a small file:
  // the decoder would fail on the missing tiles, the size check comes first.
  img.SetWidth(2000);
  img.SetHeight(16);
  const std::string big = dir.File("big.tiff");
  img.SaveToFile(big);
  std::string bytes = dir.Read("big.tiff");
  const size_t at = bytes.find(std::string("\x01\x01\x03\x00\x01\x00\x00\x00\x10\x00", 10));
  ASSERT_NE(at, std::string::npos);
  bytes[at + 8] = char(1501 & 0xFF);
  bytes[at + 9] = char(1501 >> 8);
  dir.Write("big.tiff", bytes);
  try {
    map.SetMapImgName(big);
    ADD_FAILURE() << "accepted";
  } catch (const EZYLGeoMapError& e) {
    EXPECT_NE(std::string(e.what()).find("2000 x 1501"), std::string::npos) << e.what();
  }
  EXPECT_EQ(map.MapImgWidth(), 300);
}

}  // namespace
}  // namespace marovia
