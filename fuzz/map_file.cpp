// .map calibration files of GPS map software, read for an image of 400 x
// 300 pixels (the image size line may change it), through the datum table,
// the projections and the fits of the point models.
//
// Invariants checked: a file read gives a fitted calibration whose model is
// a known value, at most the record's points, a border of at least three
// finite vertices or none, and conversions of the image's corners that do
// not raise and give finite positions when they succeed.
#include <cmath>

#include "fuzz_support.h"
#include "marovia/geomap/map_file_format.h"

using namespace marovia;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string_view bytes = fuzz::AsText(Data, Size);
  fuzz::Refusing([&] {
    const TImportedMap m = ParseMapFile(bytes, "fuzz.map", 400, 300);
    const TMapCalibration& cal = m.Calibration;
    fuzz::Check(cal.Model() < kNumCalibModels, "an unknown model");
    fuzz::Check(cal.Converts(), "an import that does not convert");
    fuzz::Check(cal.Data().NumCalQuads >= 3 && cal.Data().NumCalQuads <= 30,
                "a point count outside 3..30");
    fuzz::Check(cal.Border().empty() || cal.Border().size() >= 3, "a border of two vertices");
    for (const TBorderVertex& v : cal.Border())
      fuzz::Check(std::isfinite(v.X) && std::isfinite(v.Y), "a border vertex not finite");
    for (const double x : {0.0, 400.0})
      for (const double y : {0.0, 300.0}) {
        const TPixelPosition p = cal.PixelToGeo(x, y);
        if (p.Valid())
          fuzz::Check(std::isfinite(p.Latit) && std::isfinite(p.Longit), "a position not finite");
      }
  });
  return 0;
}
