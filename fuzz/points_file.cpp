// Control-point lists (.points) of desktop GIS georeferencers, read for an
// image of 400 x 300 pixels with the CRS of their #CRS line.
//
// Invariants checked: a list read gives a fitted calibration with at least
// three and at most the record's points, whose conversions of the image's
// corners give finite positions when they succeed.
#include <cmath>

#include "fuzz_support.h"
#include "marovia/geomap/control_points.h"

using namespace marovia;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string_view bytes = fuzz::AsText(Data, Size);
  fuzz::Refusing([&] {
    const TImportedMap m = ParseControlPoints(bytes, "fuzz.points", 400, 300);
    const TMapCalibration& cal = m.Calibration;
    fuzz::Check(cal.Converts(), "an import that does not convert");
    fuzz::Check(cal.Data().NumCalQuads >= 3 && cal.Data().NumCalQuads <= kMaxCalQuads,
                "a point count outside the record");
    for (const double x : {0.0, 400.0})
      for (const double y : {0.0, 300.0}) {
        const TPixelPosition p = cal.PixelToGeo(x, y);
        if (p.Valid())
          fuzz::Check(std::isfinite(p.Latit) && std::isfinite(p.Longit), "a position not finite");
      }
  });
  return 0;
}
